#include "app/ui/Labels.h"

#include <QCheckBox>
#include <QLabel>

#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

QLabel* styledLabel(const QString& text, TextStyle style, QFont::Weight weight, bool secondary) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setFont(VaelFont::style(style, weight));
    if (secondary) makeSecondary(label);
    return label;
}

QLabel* symbolLabel(const std::string& symbol, const QColor& tint, int size) {
    auto* label = new QLabel;
    label->setPixmap(SymbolCatalog::pixmap(symbol, tint, size, 2.0));
    label->setFixedSize(size, size);
    return label;
}

void makeSecondary(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, VaelTheme::secondaryText(palette));
    palette.setColor(QPalette::Text, VaelTheme::secondaryText(palette));
    widget->setPalette(palette);
}

void tintCheckBox(QCheckBox* box, const QColor& tint) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Highlight, tint);
    box->setPalette(palette);
}

}  // namespace vael

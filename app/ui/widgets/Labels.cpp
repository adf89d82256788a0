#include "app/ui/widgets/Labels.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

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
    // A role, not a colour: it follows the palette when the desktop turns dark or light.
    widget->setForegroundRole(QPalette::PlaceholderText);
}

QLineEdit* passphraseField(const char* objectName) {
    auto* field = named(new QLineEdit, objectName, "Master passphrase");
    field->setPlaceholderText("Master passphrase");
    field->setEchoMode(QLineEdit::Password);
    field->setMinimumHeight(34);
    return field;
}

void tintCheckBox(QCheckBox* box, const QColor& tint) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Highlight, tint);
    box->setPalette(palette);
}

}  // namespace vael

#include "app/ui/widgets/SheetParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

#include "app/ui/widgets/Labels.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

SheetDivider::SheetDivider(QWidget* parent) : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SheetDivider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), VaelTheme::separator(palette()));
}

QWidget* symbolRow(const std::string& symbol, const QColor& tint, QLabel* text) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(symbolLabel(symbol, tint, QFontMetrics(text->font()).height()), 0, Qt::AlignTop);
    text->setWordWrap(true);
    layout->addWidget(text, 1);
    return row;
}

QLineEdit* namedLineEdit(const QString& objectName, const QString& accessibleName, bool masked) {
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    edit->setAccessibleName(accessibleName);
    if (masked) edit->setEchoMode(QLineEdit::Password);
    return edit;
}

}  // namespace vael

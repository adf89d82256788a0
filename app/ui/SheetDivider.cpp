#include "app/ui/SheetDivider.h"

#include <QPainter>

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

}  // namespace vael

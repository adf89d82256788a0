#include "app/ui/items/CountdownRing.h"

#include <QPainter>

#include "app/ui/design/VaelTheme.h"

namespace vael {

CountdownRing::CountdownRing(QWidget* parent) : QWidget(parent) {
    setObjectName("countdownRing");
    setFixedSize(22, 22);
}

void CountdownRing::setTime(const std::string& fieldValue, TimePoint date) {
    const auto next = TOTPDisplay::countdown(fieldValue, date);
    if (next == countdown_ && !accessibleName().isEmpty()) return;
    countdown_ = next;
    setAccessibleName(QString::fromStdString(TOTPDisplay::countdownDescription(countdown_.remaining)));
    update();
}

QColor CountdownRing::arcColor() const {
    return countdown_.warning ? systemColor(SystemColor::orange, palette()) : VaelTheme::accent(palette());
}

void CountdownRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal line = 2.5;
    const QRectF circle = QRectF(rect()).adjusted(line / 2, line / 2, -line / 2, -line / 2);

    painter.setPen(QPen(VaelTheme::separator(palette()), line, Qt::SolidLine, Qt::FlatCap));
    painter.drawEllipse(circle);

    // Clockwise from twelve o'clock; Qt's angles are in sixteenths of a degree, counter-clockwise.
    const int span = static_cast<int>(-countdown_.fraction * 360 * 16);
    painter.setPen(QPen(arcColor(), line, Qt::SolidLine, Qt::RoundCap));
    if (span != 0) painter.drawArc(circle, 90 * 16, span);

    QFont font = this->font();
    font.setPixelSize(8);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(VaelTheme::secondaryText(palette()));
    painter.drawText(rect(), Qt::AlignCenter, QString::number(countdown_.remaining));
}

}  // namespace vael

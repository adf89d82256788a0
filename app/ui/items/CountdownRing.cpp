#include "app/ui/items/CountdownRing.h"

#include <QPainter>
#include <QVariantAnimation>

#include "app/ui/design/MotionPreference.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

CountdownRing::CountdownRing(QWidget* parent) : QWidget(parent) {
    setObjectName("countdownRing");
    setFixedSize(22, 22);
}

void CountdownRing::setTime(const std::string& fieldValue, TimePoint date) {
    const auto next = TOTPDisplay::countdown(fieldValue, date);
    if (next == countdown_ && !accessibleName().isEmpty()) return;
    const bool first = accessibleName().isEmpty();
    countdown_ = next;
    setAccessibleName(QString::fromStdString(TOTPDisplay::countdownDescription(countdown_.remaining)));
    if (first || MotionPreference::reduced()) {
        shown_ = countdown_.fraction;
        update();
        return;
    }
    if (!arc_) {
        arc_ = new QVariantAnimation(this);
        arc_->setDuration(kArcMotionMs);
        arc_->setEasingCurve(QEasingCurve::Linear);
        connect(arc_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            shown_ = value.toDouble();
            update();
        });
    }
    arc_->stop();
    arc_->setStartValue(shown_);
    arc_->setEndValue(countdown_.fraction);
    arc_->start();
}

QFont CountdownRing::numberFont(QFont base) {
    base.setPointSizeF(8);
    base.setWeight(QFont::DemiBold);
    return base;
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
    const int span = static_cast<int>(-shown_ * 360 * 16);
    painter.setPen(QPen(arcColor(), line, Qt::SolidLine, Qt::RoundCap));
    if (span != 0) painter.drawArc(circle, 90 * 16, span);

    painter.setFont(numberFont(font()));
    painter.setPen(VaelTheme::secondaryText(palette()));
    painter.drawText(rect(), Qt::AlignCenter, QString::number(countdown_.remaining));
}

}  // namespace vael

#include "app/ui/items/RollingCodeLabel.h"

#include <QAbstractAnimation>
#include <QPainter>
#include <QStyle>
#include <QVariantAnimation>

#include <algorithm>

#include "app/ui/design/MotionPreference.h"

namespace vael {

RollingCodeLabel::RollingCodeLabel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

void RollingCodeLabel::setCode(const QString& code) {
    if (code == text()) return;
    const QString before = text();
    setText(code);
    setAccessibleName(code);
    // Only a code replacing a code rolls; the first one, or one after "Invalid seed", just stands.
    if (before.isEmpty() || code.isEmpty()) {
        if (roll_) roll_->stop();
        progress_ = 1.0;
        return;
    }
    previous_ = before;
    MotionPreference::animate(this, roll_, 0.0, 1.0, kRollMotionMs, MotionPreference::spring(), [this](double p) {
        progress_ = p;
        update();
    });
}

bool RollingCodeLabel::isRolling() const { return roll_ && roll_->state() == QAbstractAnimation::Running; }

void RollingCodeLabel::paintEvent(QPaintEvent* event) {
    if (!isRolling()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setClipRect(contentsRect());
    const QRect box = contentsRect();
    const double travel = fontMetrics().height() * 0.6;  // a line's roll, however tall the label
    const double p = std::clamp(progress_, 0.0, 1.2);
    const auto draw = [&](const QString& value, double offset, double opacity) {
        painter.save();
        painter.setOpacity(std::clamp(opacity, 0.0, 1.0));
        painter.translate(0, offset);
        style()->drawItemText(&painter, box, int(alignment()), palette(), isEnabled(), value, foregroundRole());
        painter.restore();
    };
    draw(previous_, -p * travel, 1.0 - p);
    draw(text(), (1.0 - p) * travel, p);
}

}  // namespace vael

#pragma once

#include <QWidget>

#include <string>

#include "app/items/TOTPDisplay.h"
#include "core/Time.h"

class QVariantAnimation;

namespace vael {

// The seconds left in a code's period as a ring, 22 × 22: a separator-coloured track, an arc from
// twelve o'clock for the share left (orange at 5 s or less, else the accent colour) and the number
// in an 8 point font. The arc moves to each new share over one second, linearly, unless motion is
// reduced.
class CountdownRing : public QWidget {
public:
    static constexpr int kArcMotionMs = 1000;

    explicit CountdownRing(QWidget* parent = nullptr);
    // Recomputes from the seed at that time.
    void setTime(const std::string& fieldValue, TimePoint date);
    const TOTPDisplay::Countdown& countdown() const { return countdown_; }
    QColor arcColor() const;
    // The share the arc shows now: on its way to countdown().fraction while it moves.
    double shownFraction() const { return shown_; }
    // The number's font, from the ring's own.
    static QFont numberFont(QFont base);
    QSize sizeHint() const override { return {22, 22}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    TOTPDisplay::Countdown countdown_;
    double shown_ = 0;
    QVariantAnimation* arc_ = nullptr;
};

}  // namespace vael

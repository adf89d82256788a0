#pragma once

#include <QWidget>

#include <string>

#include "app/items/TOTPDisplay.h"
#include "core/Time.h"

namespace vael {

// The seconds left in a code's period as a ring, 22 × 22: a separator-coloured track, an arc from
// twelve o'clock for the share left (orange at 5 s or less, else the accent colour) and the number.
class CountdownRing : public QWidget {
public:
    explicit CountdownRing(QWidget* parent = nullptr);
    // Recomputes from the seed at that time.
    void setTime(const std::string& fieldValue, TimePoint date);
    const TOTPDisplay::Countdown& countdown() const { return countdown_; }
    QColor arcColor() const;
    QSize sizeHint() const override { return {22, 22}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    TOTPDisplay::Countdown countdown_;
};

}  // namespace vael

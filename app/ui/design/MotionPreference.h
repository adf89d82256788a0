#pragma once

// Whether the desktop asks for reduced motion. States and texts always change at once; motion is
// only ever a short decoration on top, and none at all when reduced.

#include <functional>

#include <QEasingCurve>

class QObject;
class QVariantAnimation;
class QWidget;

namespace vael::MotionPreference {

// VAEL_REDUCE_MOTION=1 reduces; otherwise the desktop's "enable-animations" through the settings
// portal; otherwise motion is on. Read once.
bool reduced();

// Sets the preference for a scope and puts the previous one back after it (tests that look at the
// motion itself).
class ScopedPreference {
public:
    explicit ScopedPreference(bool reduce);
    ~ScopedPreference();
    ScopedPreference(const ScopedPreference&) = delete;
    ScopedPreference& operator=(const ScopedPreference&) = delete;

private:
    bool previous_;
};

// Fades `widget` in over about 500 ms; nothing under reduced motion.
void fadeIn(QWidget* widget);

// A spring as the design names it (its response), in the shape of an easing curve.
QEasingCurve spring();

// Moves a value of `owner` from `from` to `to` over `ms`, calling `step` with each value: a
// property animation owned by `owner` that a later call on the same slot restarts from where it
// stands. Under reduced motion `step(to)` at once.
void animate(QObject* owner, QVariantAnimation*& slot, double from, double to, int ms, const QEasingCurve& curve,
             std::function<void(double)> step);

}  // namespace vael::MotionPreference

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace vael {

// Time since boot that keeps counting while the machine sleeps (CLOCK_BOOTTIME): the idle limit
// is about time away from the machine, suspended or not.
struct BootClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<BootClock>;
    static constexpr bool is_steady = true;
    static time_point now();
};
using BootTime = BootClock::time_point;

// The time from `earlier` to `later` in whole seconds, 0 when `later` is not after it, and the
// largest count instead of an overflow (the distant past is BootTime::min()).
std::int64_t secondsBetween(BootTime earlier, BootTime later);

// `minutes` as seconds, saturating; 0 for 0 or less.
std::int64_t minutesToSeconds(std::int64_t minutes);

// One restartable single-shot timer. Lives and fires on the main thread.
class ModelTimer {
public:
    virtual ~ModelTimer() = default;
    // Replaces any earlier start; the callback runs once, unless stop() comes first. Seconds
    // convert implicitly.
    virtual void start(std::chrono::milliseconds interval, std::function<void()> onTimeout) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// Where the model's waits and monotonic times come from; tests hand in a scripted one.
class TimerSource {
public:
    virtual ~TimerSource() = default;
    // Safe to call from any thread (agent connections stamp their activity with it).
    virtual BootTime now() const = 0;
    virtual std::unique_ptr<ModelTimer> makeTimer() = 0;
};

// QTimer on the main thread, CLOCK_BOOTTIME for now().
class LiveTimerSource final : public TimerSource {
public:
    BootTime now() const override { return BootClock::now(); }
    std::unique_ptr<ModelTimer> makeTimer() override;
};

}  // namespace vael

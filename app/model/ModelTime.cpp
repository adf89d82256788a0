#include "app/model/ModelTime.h"

#include <time.h>

#include <QTimer>
#include <limits>

namespace vael {

BootClock::time_point BootClock::now() {
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

std::int64_t secondsBetween(BootTime earlier, BootTime later) {
    if (later <= earlier) return 0;
    std::int64_t difference = 0;
    if (__builtin_sub_overflow(later.time_since_epoch().count(), earlier.time_since_epoch().count(), &difference))
        return std::numeric_limits<std::int64_t>::max();
    return std::chrono::duration_cast<std::chrono::seconds>(BootClock::duration(difference)).count();
}

std::int64_t minutesToSeconds(std::int64_t minutes) {
    if (minutes <= 0) return 0;
    std::int64_t seconds = 0;
    if (__builtin_mul_overflow(minutes, std::int64_t{60}, &seconds)) return std::numeric_limits<std::int64_t>::max();
    return seconds;
}

namespace {

class LiveTimer final : public ModelTimer {
public:
    LiveTimer() {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // The callback may restart or destroy this timer: take it out first.
            auto callback = std::move(callback_);
            callback_ = nullptr;
            if (callback) callback();
        });
    }
    void start(std::chrono::milliseconds interval, std::function<void()> onTimeout) override {
        callback_ = std::move(onTimeout);
        timer_.start(interval);
    }
    void stop() override {
        timer_.stop();
        callback_ = nullptr;
    }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> callback_;
};

}  // namespace

std::unique_ptr<ModelTimer> LiveTimerSource::makeTimer() { return std::make_unique<LiveTimer>(); }

}  // namespace vael

#include "app/ui/widgets/SecondTicker.h"

namespace vael {

SecondTicker::SecondTicker(TimerSource& timers, std::function<void()> onTick)
    : timer_(timers.makeTimer()), onTick_(std::move(onTick)) {}

void SecondTicker::start() {
    if (!timer_->isActive()) arm();
}

void SecondTicker::stop() { timer_->stop(); }

void SecondTicker::arm() {
    timer_->start(std::chrono::seconds(1), [this] {
        arm();
        onTick_();
    });
}

}  // namespace vael

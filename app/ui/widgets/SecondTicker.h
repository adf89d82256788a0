#pragma once

#include <functional>
#include <memory>

#include "app/model/ModelTime.h"

namespace vael {

// Calls back once a second from the model's timer source, counting from start(). Live codes are
// redrawn on it; tests move the scripted time instead of sleeping.
class SecondTicker {
public:
    SecondTicker(TimerSource& timers, std::function<void()> onTick);
    void start();
    void stop();
    bool isActive() const { return timer_->isActive(); }

private:
    void arm();
    std::unique_ptr<ModelTimer> timer_;
    std::function<void()> onTick_;
};

}  // namespace vael

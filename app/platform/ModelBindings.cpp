#include "app/platform/ModelBindings.h"

namespace vael {

DesktopLockEventSource::DesktopLockEventSource(std::shared_ptr<SystemLockEvents> events) : events_(std::move(events)) {}

void DesktopLockEventSource::subscribe(std::function<void(std::function<void()> done)> onLockEvent) {
    SystemLockEvents* events = events_.get();
    QObject::connect(events, &SystemLockEvents::lockRequested, events, [events, onLockEvent = std::move(onLockEvent)] {
        // The hold keeps the sleep inhibitor until the model has locked the vault.
        auto hold = std::make_shared<SystemLockEvents::SleepHold>(events->holdSleep());
        onLockEvent([hold]() mutable { hold.reset(); });
    });
    events->start();
}

void DesktopInputMonitor::start(std::function<void()> onInput) {
    monitor_ = std::make_unique<InputActivityMonitor>(std::move(onInput));
    monitor_->install();
}

void DesktopInputMonitor::stop() { monitor_.reset(); }

}  // namespace vael

#pragma once

#include <memory>

#include "app/model/SessionSeams.h"
#include "app/platform/InputActivityMonitor.h"
#include "app/platform/SystemLockEvents.h"

namespace vael {

// The desktop's lock events as the model's seam: sleep waits until the model says the lock is done.
class DesktopLockEventSource final : public SystemLockEventSource {
public:
    explicit DesktopLockEventSource(std::shared_ptr<SystemLockEvents> events);
    void subscribe(std::function<void(std::function<void()> done)> onLockEvent) override;

private:
    std::shared_ptr<SystemLockEvents> events_;
};

// The application-wide input filter as the model's input monitor.
class DesktopInputMonitor final : public InputMonitor {
public:
    void start(std::function<void()> onInput) override;
    void stop() override;

private:
    std::unique_ptr<InputActivityMonitor> monitor_;
};

}  // namespace vael

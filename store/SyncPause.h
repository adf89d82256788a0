#pragma once

#include <chrono>

namespace vael {

// The wait before a retry. Tests replace it so that they never sleep.
class SyncPause {
public:
    virtual ~SyncPause() = default;
    virtual void pause(std::chrono::nanoseconds duration) = 0;
};

// Waits on CLOCK_BOOTTIME, which keeps counting while the machine is suspended: a pause that spans a
// suspend is over once the machine wakes.
class BootTimePause final : public SyncPause {
public:
    void pause(std::chrono::nanoseconds duration) override;
};

}  // namespace vael

#pragma once

#include "core/Time.h"

namespace vael {

// Wall-clock time, injected wherever behaviour depends on it so that tests never sleep.
class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace vael

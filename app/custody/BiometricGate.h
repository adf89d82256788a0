#pragma once

#include <string>

namespace vael {

// One yes-or-no question to the person at the machine, with a reason shown in the prompt.
// Blocks the calling thread until answered; never throws. Every failure, unavailability or
// cancellation is "no", and callers never learn why.
class BiometricGate {
public:
    virtual ~BiometricGate() = default;
    virtual bool authenticate(const std::string& reason) = 0;
};

}  // namespace vael

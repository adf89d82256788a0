#pragma once

#include <string>

namespace vael {

// One yes-or-no question to the person at the machine, with a reason shown in the prompt.
// Blocks the calling thread until answered; never throws. Every failure, unavailability or
// cancellation is "no", and callers never learn why.
class BiometricGate {
public:
    // "No" apart: nobody could be asked at all (no system service, no agent to show its prompt),
    // or the system does not know Vael's request (its policy is not installed).
    enum class Answer { confirmed, refused, unavailable, notInstalled };

    virtual ~BiometricGate() = default;
    virtual bool authenticate(const std::string& reason) = 0;
    // The same question, for a caller that tells the person why nothing happened when nobody
    // could be asked. Still never throws.
    virtual Answer check(const std::string& reason) { return authenticate(reason) ? Answer::confirmed : Answer::refused; }
};

}  // namespace vael

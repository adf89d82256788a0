#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "app/custody/BiometricGate.h"
#include "app/platform/PresenceSeams.h"

namespace vael {

// The owner proves presence on this desktop: first our prompt with the reason (the user may cancel),
// then polkit asks for the owner's own fingerprint or password for our action. One request at a
// time: a second waits until the first is answered. No authority, or one that does not know our
// action, answers no at once, without our prompt; no prompt, no agent, a cancel or any failure
// answers no.
class PolkitBiometricGate final : public BiometricGate {
public:
    // Our dialog, then polkit for "com.dastrel.vael.authenticate".
    PolkitBiometricGate();
    PolkitBiometricGate(std::shared_ptr<PresencePrompt> prompt, std::shared_ptr<PresenceAuthority> authority);

    // Blocks the calling thread. Called on the interface thread, it keeps that thread's events
    // flowing meanwhile (the prompt itself needs them).
    bool authenticate(const std::string& reason) override;
    Answer check(const std::string& reason) override;

    // Requests inside authenticate, answered or waiting for their turn.
    std::size_t pendingRequests() const { return pending_.load(); }

private:
    Answer decideInTurn(const std::string& reason);

    std::shared_ptr<PresencePrompt> prompt_;
    std::shared_ptr<PresenceAuthority> authority_;
    std::mutex turn_;
    std::atomic<std::size_t> pending_{0};
};

}  // namespace vael

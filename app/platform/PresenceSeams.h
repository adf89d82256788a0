#pragma once

#include <string>

#include "app/custody/BiometricGate.h"

namespace vael {

// Our own prompt before the system asks: shows the reason and lets the user go on or cancel.
// Blocks until answered; true only when the user chose to go on.
class PresencePrompt {
public:
    virtual ~PresencePrompt() = default;
    virtual bool ask(const std::string& reason) = 0;
};

// The system's check that the owner is present (fingerprint or login password, as the desktop's
// agent offers). Blocks until answered; true only when the owner proved it.
class PresenceAuthority {
public:
    virtual ~PresenceAuthority() = default;
    // Whether there is a system service to ask at all; asked before our prompt is shown, so that the
    // user is never asked to go on to a check that cannot happen. Never blocks for long.
    virtual bool canAsk() = 0;
    // Whether the service knows our request; a check of one it does not know can only fail, and
    // may keep the user waiting first. Asked after canAsk(), before our prompt. Never blocks for long.
    virtual bool knowsAction() { return true; }
    virtual bool authorize() = 0;
    // authorize(), telling apart a check that found no agent to ask the owner.
    virtual BiometricGate::Answer check() { return authorize() ? BiometricGate::Answer::confirmed : BiometricGate::Answer::refused; }
};

}  // namespace vael

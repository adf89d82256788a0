#pragma once

// The seams of the passkey ceremony: the security key (libfido2 in the application) and our two
// small dialogs. Tests script them; the ceremony's logic needs neither hardware nor a desktop.

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "core/SecureBytes.h"

namespace vael {

// A failure the security key reported, sorted by what the ceremony does about it.
class FidoError : public std::runtime_error {
public:
    enum class Kind {
        cancelled,      // the request was cancelled (our dialog, or the key itself)
        pinRequired,    // the key wants its PIN for this request (built-in verification refused)
        pinInvalid,     // a wrong PIN; the key counts down
        pinBlocked,     // no more PIN attempts until the key is reset or replugged
        noCredentials,  // no passkey of this relying party on the key
        timedOut,       // no touch in time
        failed,         // anything else; what() says what
    };
    FidoError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

struct FidoCredentialRequest {
    std::string rpID;
    Bytes clientDataHash;
    Bytes userID;
    std::string userName;
};

struct FidoCredential {
    Bytes credentialID;
    Bytes authenticatorData;  // raw, as signed
};

struct FidoAssertionRequest {
    std::string rpID;
    Bytes clientDataHash;
    Bytes hmacSalt;  // 32 bytes
};

struct FidoAssertion {
    Bytes credentialID;
    Bytes authenticatorData;  // raw, as signed
    Bytes signature;
    Bytes userHandle;
    SecureBytes hmacSecret;   // empty when the key gave none
};

// One opened security key. The requests block until the key answers; cancel() may be called from
// another thread to end the one waiting. A pin, when given, is its UTF-8 text.
class FidoDevice {
public:
    enum class Verification {
        builtIn,  // the key verifies the user itself (fingerprint)
        pin,      // the key's PIN verifies the user
        none,     // neither is set up: it cannot verify the user
    };
    virtual ~FidoDevice() = default;
    virtual Verification verification() = 0;
    virtual FidoCredential makeCredential(const FidoCredentialRequest& request, const SecureBytes* pin) = 0;
    // Every passkey of the relying party that answered, most recent first.
    virtual std::vector<FidoAssertion> getAssertion(const FidoAssertionRequest& request, const SecureBytes* pin) = 0;
    virtual void cancel() = 0;
};

class FidoAuthenticators {
public:
    virtual ~FidoAuthenticators() = default;
    // The first usable security key, opened; nothing when none is plugged in.
    virtual std::unique_ptr<FidoDevice> open() = 0;
};

// Asks for the security key's PIN; `message` says why (first ask, or a wrong PIN). Blocks until
// answered; nothing when the user cancelled.
class PinPrompt {
public:
    virtual ~PinPrompt() = default;
    virtual std::optional<SecureBytes> askPin(const std::string& message) = 0;
    // Ends a question being asked, as if the user had cancelled it. Callable from any thread.
    virtual void cancel() {}
};

// "Touch your security key" while the key waits. show() returns at once; the prompt calls `cancel`
// (from any thread) when the user gives up. hide() ends it, whether or not it was cancelled.
class TouchPrompt {
public:
    virtual ~TouchPrompt() = default;
    virtual void show(std::function<void()> cancel) = 0;
    virtual void hide() = 0;
};

}  // namespace vael

#include "app/platform/LivePasskeyCeremony.h"

#include <atomic>

#include "app/auth/AccountError.h"
#include "app/platform/Fido2Authenticators.h"
#include "app/platform/PasskeyDialogs.h"
#include "app/platform/PasskeyEncoding.h"

namespace vael {

namespace {

// Shown while the key waits for a touch; hidden however the request ends.
class TouchWindow {
public:
    TouchWindow(TouchPrompt& prompt, FidoDevice& device, std::atomic<bool>& cancelled) : prompt_(prompt) {
        prompt_.show([&device, &cancelled] {
            cancelled = true;
            device.cancel();
        });
    }
    ~TouchWindow() { prompt_.hide(); }

private:
    TouchPrompt& prompt_;
};

void requireRelyingParty(const std::string& rpID) {
    // Without it there is no origin to sign for, and the key would file the passkey under nothing.
    if (rpID.empty()) throw AccountError::ceremonyUnavailable("the server named no relying party");
}

}  // namespace

LivePasskeyCeremony::LivePasskeyCeremony()
    : LivePasskeyCeremony(std::make_shared<Fido2Authenticators>(), std::make_shared<DialogPinPrompt>(),
                          std::make_shared<DialogTouchPrompt>()) {}

LivePasskeyCeremony::LivePasskeyCeremony(std::shared_ptr<FidoAuthenticators> authenticators,
                                         std::shared_ptr<PinPrompt> pin, std::shared_ptr<TouchPrompt> touch)
    : authenticators_(std::move(authenticators)), pin_(std::move(pin)), touch_(std::move(touch)) {}

// Opens the key, asks for its PIN when it needs one (again after a wrong one), shows the touch
// prompt while the key waits, and turns the key's failures into the ceremony's.
template <typename Request>
auto LivePasskeyCeremony::withDevice(Request&& request) -> decltype(request(std::declval<FidoDevice&>(), nullptr)) {
    std::unique_lock busy(busy_, std::try_to_lock);
    if (!busy.owns_lock()) throw AccountError::ceremonyUnavailable("another passkey request is in progress");
    {
        std::lock_guard current(current_);
        running_ = true;
        cancelled_ = false;
    }
    // cancel() reaches this ceremony until it ends; the key is forgotten before it is closed.
    struct Running {
        LivePasskeyCeremony& ceremony;
        ~Running() {
            std::lock_guard current(ceremony.current_);
            ceremony.running_ = false;
            ceremony.device_ = nullptr;
        }
    } running{*this};
    const auto wasCancelled = [this] {
        std::lock_guard current(current_);
        return cancelled_;
    };

    std::unique_ptr<FidoDevice> device = authenticators_->open();
    if (!device) throw AccountError::noSecurityKey();
    {
        std::lock_guard current(current_);
        if (cancelled_) throw AccountError::ceremonyCancelled();
        device_ = device.get();
    }

    bool needPin = false;
    switch (device->verification()) {
        case FidoDevice::Verification::builtIn: break;
        case FidoDevice::Verification::pin: needPin = true; break;
        case FidoDevice::Verification::none:
            throw AccountError::ceremonyUnavailable("the security key has no PIN; set one first");
    }

    std::string pinMessage = "Enter the PIN of your security key.";
    for (int attempt = 0;; ++attempt) {
        if (wasCancelled()) throw AccountError::ceremonyCancelled();
        std::optional<SecureBytes> pin;
        if (needPin) {
            pin = pin_->askPin(pinMessage);
            if (!pin || wasCancelled()) throw AccountError::ceremonyCancelled();
        }
        std::atomic<bool> cancelled = false;
        try {
            TouchWindow window(*touch_, *device, cancelled);
            return request(*device, pin ? &*pin : nullptr);
        } catch (const FidoError& error) {
            if (cancelled || wasCancelled()) throw AccountError::ceremonyCancelled();
            switch (error.kind()) {
                case FidoError::Kind::cancelled: throw AccountError::ceremonyCancelled();
                case FidoError::Kind::pinRequired:
                    if (needPin) throw AccountError::ceremonyUnavailable(error.what());
                    needPin = true;
                    continue;
                case FidoError::Kind::pinInvalid:
                    if (attempt + 1 >= kPinAttempts)
                        throw AccountError::ceremonyUnavailable("wrong PIN entered too many times");
                    pinMessage = "Wrong PIN. Try again.";
                    continue;
                case FidoError::Kind::pinBlocked:
                    throw AccountError::ceremonyUnavailable("the security key's PIN is blocked");
                case FidoError::Kind::noCredentials:
                    throw AccountError::ceremonyUnavailable("no passkey for this server on the security key");
                case FidoError::Kind::timedOut:
                    throw AccountError::ceremonyUnavailable("the security key was not touched in time");
                case FidoError::Kind::failed: throw AccountError::ceremonyUnavailable(error.what());
            }
            throw AccountError::ceremonyUnavailable(error.what());
        }
    }
}

void LivePasskeyCeremony::cancel() {
    {
        std::lock_guard current(current_);
        if (!running_) return;
        cancelled_ = true;
        if (device_) device_->cancel();
    }
    pin_->cancel();
}

WebAuthnCodec::CreationResult LivePasskeyCeremony::registerCredential(const WebAuthnCodec::CreationOptions& options) {
    requireRelyingParty(options.rpID);
    if (options.userID.empty()) throw AccountError::ceremonyUnavailable("the server named no user");
    const Bytes clientData = PasskeyEncoding::clientDataJSON("webauthn.create", options.challenge, options.rpID);
    const FidoCredentialRequest request{options.rpID, PasskeyEncoding::sha256(clientData), options.userID,
                                        options.userName};
    const FidoCredential credential =
        withDevice([&](FidoDevice& device, const SecureBytes* pin) { return device.makeCredential(request, pin); });

    if (!PasskeyEncoding::userVerified(credential.authenticatorData))
        throw AccountError::ceremonyUnavailable("the security key did not verify the user");
    auto attestation = PasskeyEncoding::attestationObject(credential.authenticatorData);
    if (!attestation || credential.credentialID.empty())
        throw AccountError::ceremonyUnavailable("missing attestation object");
    return {credential.credentialID, std::move(*attestation), clientData};
}

PasskeyAssertion LivePasskeyCeremony::assertCredential(const WebAuthnCodec::RequestOptions& options) {
    requireRelyingParty(options.rpID);
    const Bytes clientData = PasskeyEncoding::clientDataJSON("webauthn.get", options.challenge, options.rpID);
    const FidoAssertionRequest request{options.rpID, PasskeyEncoding::sha256(clientData),
                                       PasskeyEncoding::prfSalt(options.prfSaltInput)};
    std::vector<FidoAssertion> answers =
        withDevice([&](FidoDevice& device, const SecureBytes* pin) { return device.getAssertion(request, pin); });
    if (answers.empty()) throw AccountError::ceremonyUnavailable("no passkey for this server on the security key");

    // Several passkeys of this server on one key: the most recent one signs.
    FidoAssertion& answer = answers.front();
    if (answer.credentialID.empty() || answer.authenticatorData.empty() || answer.signature.empty() ||
        answer.userHandle.empty())
        throw AccountError::ceremonyUnavailable("the security key's assertion is incomplete");
    if (!PasskeyEncoding::userVerified(answer.authenticatorData))
        throw AccountError::ceremonyUnavailable("the security key did not verify the user");
    if (answer.hmacSecret.empty()) throw AccountError::ceremonyUnavailable("authenticator returned no PRF output");

    PasskeyAssertion out;
    out.result = {answer.credentialID, answer.authenticatorData, answer.signature, answer.userHandle, clientData};
    out.prfOutput = std::move(answer.hmacSecret);
    return out;
}

}  // namespace vael

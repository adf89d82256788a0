#pragma once

#include <memory>
#include <mutex>

#include "app/auth/PasskeyCeremony.h"
#include "app/platform/PasskeySeams.h"

namespace vael {

// Passkeys on a FIDO2 security key: a resident ES256 credential with the hmac-secret extension as
// the PRF, the user verified (PIN or the key's own fingerprint) on every ceremony, since the
// hmac-secret output differs with and without verification. Blocks until the user has answered:
// call it from a worker thread, never from the interface thread that shows its dialogs.
// One ceremony at a time: a second, started while one runs, is refused as unavailable.
class LivePasskeyCeremony final : public PasskeyCeremony {
public:
    // libfido2 and our dialogs.
    LivePasskeyCeremony();
    LivePasskeyCeremony(std::shared_ptr<FidoAuthenticators> authenticators, std::shared_ptr<PinPrompt> pin,
                        std::shared_ptr<TouchPrompt> touch);

    WebAuthnCodec::CreationResult registerCredential(const WebAuthnCodec::CreationOptions& options) override;
    PasskeyAssertion assertCredential(const WebAuthnCodec::RequestOptions& options) override;
    void cancel() override;

    static constexpr int kPinAttempts = 3;

private:
    template <typename Request>
    auto withDevice(Request&& request) -> decltype(request(std::declval<FidoDevice&>(), nullptr));

    std::shared_ptr<FidoAuthenticators> authenticators_;
    std::shared_ptr<PinPrompt> pin_;
    std::shared_ptr<TouchPrompt> touch_;
    std::mutex busy_;
    // The ceremony under way, for cancel(): its key while one is open, and whether it was cancelled.
    std::mutex current_;
    FidoDevice* device_ = nullptr;
    bool running_ = false;
    bool cancelled_ = false;
};

}  // namespace vael

#pragma once

#include "app/auth/WebAuthnCodec.h"
#include "core/SecureBytes.h"

namespace vael {

// One signed assertion and the PRF output the authenticator computed over the server's salt.
struct PasskeyAssertion {
    WebAuthnCodec::AssertionResult result;
    SecureBytes prfOutput;
};

// Runs one passkey registration or one assertion; both block until the user has answered. The
// ceremony's own failures are AccountError (ceremonyCancelled, ceremonyUnavailable); anything else
// it throws is a failure of the platform. One ceremony at a time per object.
class PasskeyCeremony {
public:
    virtual ~PasskeyCeremony() = default;
    virtual WebAuthnCodec::CreationResult registerCredential(const WebAuthnCodec::CreationOptions& options) = 0;
    virtual PasskeyAssertion assertCredential(const WebAuthnCodec::RequestOptions& options) = 0;
    // Ends the ceremony waiting for the user, if any, as if the user had cancelled it; its prompts
    // close. Callable from any thread; a ceremony that has not started yet is not affected.
    virtual void cancel() {}
};

}  // namespace vael

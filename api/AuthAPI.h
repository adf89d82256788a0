#pragma once

#include <string>

#include "api/Records.h"
#include "core/Bytes.h"

namespace vael {

// Account registration and passkey login. Every call blocks and throws APIError.
class AuthAPI {
public:
    virtual ~AuthAPI() = default;

    // Answers the WebAuthn creation options JSON, as the server sent it.
    virtual Bytes beginRegistration(const std::string& handle, const Bytes& x25519PublicKey,
                                    const Bytes& ed25519PublicKey, const Bytes& wrappedAccountPrivKeys) = 0;
    virtual AccountDTO finishRegistration(const Bytes& registrationResponseJSON) = 0;
    // Answers the WebAuthn request options JSON, as the server sent it.
    virtual Bytes beginLogin(const std::string& handle) = 0;
    // On success the client also keeps the answered session token for its later calls.
    virtual LoginFinishResponse finishLogin(const Bytes& assertionResponseJSON) = 0;
    virtual MeResponse me() = 0;
};

}  // namespace vael

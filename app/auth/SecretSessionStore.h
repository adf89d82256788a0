#pragma once

#include <optional>
#include <string>

#include "app/auth/SessionStore.h"

namespace vael {

// The session kept in the desktop keyring (Secret Service, through libsecret) as one item found by
// its service and account. Each save deletes the old item, then adds the new one.
class SecretSessionStore final : public SessionStore {
public:
    static constexpr const char* kService = "com.dastrel.vael.session";
    static constexpr const char* kAccount = "session";

    SecretSessionStore() : SecretSessionStore(kService, kAccount) {}
    SecretSessionStore(std::string service, std::string account);

    // Throws SessionStoreError when the keyring refuses; "not found" on delete is no failure.
    void save(const std::string& token, TimePoint expiresAt) override;

    // The stored session, or nothing when there is none or it does not decode.
    std::optional<SessionEntry> load() const;

private:
    std::string service_;
    std::string account_;
};

}  // namespace vael

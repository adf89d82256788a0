#pragma once

#include <string>

#include "crypto/SecureEnclaveKeyStore.h"

namespace vael {

// The device key's private part in the desktop keyring (Secret Service, through libsecret): one
// item per account, found by its service and account.
class SecretEnclaveKeyStorage final : public EnclaveKeyStorage {
public:
    static constexpr const char* kService = "com.dastrel.vael.device-key";

    SecretEnclaveKeyStorage() : SecretEnclaveKeyStorage(kService) {}
    explicit SecretEnclaveKeyStorage(std::string service);

    // Nothing when there is no item, or the keyring cannot be read.
    std::optional<SecureBytes> load(const std::string& account) override;
    // "Not found" is no failure; other failures are logged and otherwise ignored.
    void remove(const std::string& account) override;
    // 0, or the keyring's error code (never 0 on failure).
    std::int32_t add(const std::string& account, const SecureBytes& keyData) override;

private:
    std::string service_;
};

}  // namespace vael

#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "crypto/VaultCrypto.h"

namespace vael::testing {

// Argon2id at libsodium's minimum, so the suite stays fast under the sanitizers.
inline constexpr Argon2Cost kFastCost{1, 8192};

inline SecureBytes secret(std::string_view text) { return SecureBytes(text); }

// A vault made once per process with the fast cost; tests unlock their own objects from it.
struct TestVault {
    std::string passphrase;
    NewVault vault;

    static const TestVault& shared(int which = 0) {
        static const TestVault vaults[] = {make("correct horse battery staple"), make("another vault entirely")};
        return vaults[which];
    }
    static TestVault make(const std::string& passphrase) {
        return TestVault{passphrase, VaultCrypto::createVault(secret(passphrase), true, kFastCost)};
    }
    std::unique_ptr<VaultCrypto> unlocked() const {
        auto crypto = std::make_unique<VaultCrypto>(kFastCost);
        crypto->unlock(vault.wrappedKeys, vault.wrappedAccountPrivKeys, UnlockInput::passphrase(secret(passphrase)));
        return crypto;
    }
};

inline VaelCryptoError::Code errorCode(const std::function<void()>& action) {
    try {
        action();
    } catch (const VaelCryptoError& error) {
        return error.code();
    }
    ADD_FAILURE() << "no VaelCryptoError was raised";
    return VaelCryptoError::Code::Internal;
}

}  // namespace vael::testing

#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <qcoro/qcorotask.h>

#include "api/Base64URL.h"
#include "app/custody/TrustedKeyStore.h"
#include "crypto/VaultCrypto.h"
#include "ModelFixtures.h"
#include "ScriptedInviteAPI.h"

namespace vael::testing {

// An account with real keys, its vault unlocked.
struct TestAccount {
    NewVault keys;
    std::shared_ptr<VaultCrypto> vault = std::make_shared<VaultCrypto>(kFastCost);

    TestAccount() : keys(VaultCrypto::createVault(SecureBytes(std::string_view(kPassphrase)), false, kFastCost)) {
        vault->unlock(keys.wrappedKeys, keys.wrappedAccountPrivKeys,
                      UnlockInput::passphrase(SecureBytes(std::string_view(kPassphrase))));
    }
    std::string x25519() const { return Base64URL::encode(keys.accountPublicKeys.x25519); }
    std::string ed25519() const { return Base64URL::encode(keys.accountPublicKeys.ed25519); }
    std::string fingerprint() const { return keys.accountPublicKeys.fingerprint(); }
};

// Whether `opened` (the recipient's handle) is the same group key as `key` (the owner's): a blob
// sealed under one opens under the other.
inline bool sameGroupKey(VaultCrypto& owner, const CollectionKey& key, VaultCrypto& recipient,
                         const CollectionKey& opened) {
    const auto id = Uuid::random();
    auto sealed = owner.sealBlob(SecureBytes(std::string_view("probe")), id, key);
    try {
        auto plain = recipient.openBlob(VaultCrypto::kEnvelopeVersion, sealed.blob, id, sealed.wrappedKey, opened);
        return std::string(plain.begin(), plain.end()) == "probe";
    } catch (const std::exception&) {
        return false;
    }
}

inline Uuid uuid(const char* text) { return Uuid::fromText(text); }

}  // namespace vael::testing

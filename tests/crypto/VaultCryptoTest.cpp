#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "CryptoTestSupport.h"
#include "crypto/VaultCrypto.h"

using namespace vael;
using namespace vael::testing;
using Code = VaelCryptoError::Code;

namespace {

const Uuid kItem = Uuid::fromText("6B1E7C52-2F0A-4C8E-9D41-0E7A5B3C2D10");
const Uuid kOtherItem = Uuid::fromText("6B1E7C52-2F0A-4C8E-9D41-0E7A5B3C2D11");

bool groupedBase32(std::string_view text, std::size_t groups) {
    if (text.size() != groups * 5 - 1) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 5 == 4 ? c != '-' : !((c >= 'A' && c <= 'Z') || (c >= '2' && c <= '7'))) return false;
    }
    return true;
}

}  // namespace

TEST(VaultCreation, MakesPassphraseAndRecoveryKeysAndAccountKeys) {
    const NewVault& vault = TestVault::shared().vault;
    ASSERT_EQ(vault.wrappedKeys.size(), 2u);
    EXPECT_EQ(vault.wrappedKeys[0].method, UnlockMethod::passphrase);
    ASSERT_TRUE(vault.wrappedKeys[0].kdfParams);
    EXPECT_EQ(vault.wrappedKeys[0].kdfParams->selector, KdfSelector::argon2id);
    EXPECT_EQ(vault.wrappedKeys[0].kdfParams->salt.size(), 16u);
    EXPECT_EQ(vault.wrappedKeys[1].method, UnlockMethod::recoveryCode);
    EXPECT_TRUE(groupedBase32(vault.recoveryCode.view(), 8));
    ASSERT_TRUE(vault.recoveryPhrase);
    EXPECT_TRUE(groupedBase32(vault.recoveryPhrase->view(), 14));
    EXPECT_EQ(vault.accountPublicKeys.x25519.size(), 32u);
    EXPECT_EQ(vault.accountPublicKeys.ed25519.size(), 32u);

    const NewVault plain = VaultCrypto::createVault(secret("x"), false, kFastCost);
    EXPECT_FALSE(plain.recoveryPhrase);
    EXPECT_NE(plain.recoveryCode, vault.recoveryCode);
    EXPECT_NE(plain.accountPublicKeys, vault.accountPublicKeys);
}

TEST(VaultCreation, RefusesAnEmptyPassphraseAndACostBelowTheMinimum) {
    EXPECT_EQ(errorCode([] { VaultCrypto::createVault(SecureBytes(), false, kFastCost); }), Code::InvalidArgument);
    EXPECT_EQ(errorCode([] { VaultCrypto::createVault(secret("x"), false, Argon2Cost{0, 8192}); }),
              Code::InvalidArgument);
    EXPECT_EQ(errorCode([] { VaultCrypto::createVault(secret("x"), false, Argon2Cost{1, 1024}); }),
              Code::InvalidArgument);
}

TEST(VaultCreation, ProductionCostIsAtLeast64MiBAndThreePasses) {
    EXPECT_GE(Argon2Cost::standard().memLimit, 64ull << 20);
    EXPECT_GE(Argon2Cost::standard().opsLimit, 3u);
}

TEST(VaultUnlock, EachFormOfTheVaultsOwnSecretsUnlocks) {
    const TestVault& t = TestVault::shared();
    std::string lowerCode(t.vault.recoveryCode.view());
    for (char& c : lowerCode) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string spacedPhrase(t.vault.recoveryPhrase->view());
    for (char& c : spacedPhrase)
        if (c == '-') c = ' ';

    const UnlockInput inputs[] = {
        UnlockInput::passphrase(secret(t.passphrase)),
        UnlockInput::recoveryCode(t.vault.recoveryCode),
        UnlockInput::recoveryCode(secret(lowerCode)),
        UnlockInput::recoveryPhrase(*t.vault.recoveryPhrase),
        UnlockInput::recoveryPhrase(secret(spacedPhrase)),
    };
    for (const auto& input : inputs) {
        VaultCrypto crypto(kFastCost);
        EXPECT_FALSE(crypto.isUnlocked());
        crypto.unlock(t.vault.wrappedKeys, t.vault.wrappedAccountPrivKeys, input);
        EXPECT_TRUE(crypto.isUnlocked());
    }
}

TEST(VaultUnlock, WrongSecretsFailWithWrongPassphraseAndLeaveTheStateAsItWas) {
    const TestVault& t = TestVault::shared();
    const TestVault& other = TestVault::shared(1);
    std::string typo(t.vault.recoveryPhrase->view());
    typo[0] = typo[0] == 'A' ? 'B' : 'A';

    struct Case {
        const char* what;
        std::vector<WrappedKey> keys;
        UnlockInput input;
    };
    const Case cases[] = {
        {"wrong passphrase", t.vault.wrappedKeys, UnlockInput::passphrase(secret("Correct horse battery staple"))},
        {"empty passphrase", t.vault.wrappedKeys, UnlockInput::passphrase(SecureBytes())},
        {"no wrapped keys", {}, UnlockInput::passphrase(secret(t.passphrase))},
        {"only the recovery key", {t.vault.wrappedKeys[1]}, UnlockInput::passphrase(secret(t.passphrase))},
        {"another vault's recovery code", t.vault.wrappedKeys, UnlockInput::recoveryCode(other.vault.recoveryCode)},
        {"not a recovery code", t.vault.wrappedKeys, UnlockInput::recoveryCode(secret("1234"))},
        {"recovery phrase with a typo", t.vault.wrappedKeys, UnlockInput::recoveryPhrase(secret(typo))},
        {"another vault's recovery phrase", t.vault.wrappedKeys, UnlockInput::recoveryPhrase(*other.vault.recoveryPhrase)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        VaultCrypto locked(kFastCost);
        EXPECT_EQ(errorCode([&] { locked.unlock(c.keys, t.vault.wrappedAccountPrivKeys, c.input); }),
                  Code::WrongPassphrase);
        EXPECT_FALSE(locked.isUnlocked());

        auto unlocked = t.unlocked();
        const CollectionKey key = unlocked->newCollectionKey();
        EXPECT_EQ(errorCode([&] { unlocked->unlock(c.keys, t.vault.wrappedAccountPrivKeys, c.input); }),
                  Code::WrongPassphrase);
        EXPECT_NO_THROW(unlocked->wrapCollectionKeyToSelf(key));
    }
}

TEST(VaultUnlock, StoredParametersCannotBeChangedOrInflated) {
    const TestVault& t = TestVault::shared();
    auto keys = t.vault.wrappedKeys;
    keys[0].kdfParams->opsLimit += 1;
    VaultCrypto crypto(kFastCost);
    EXPECT_EQ(errorCode([&] { crypto.unlock(keys, t.vault.wrappedAccountPrivKeys, UnlockInput::passphrase(secret(t.passphrase))); }),
              Code::WrongPassphrase);

    keys = t.vault.wrappedKeys;
    keys[0].kdfParams->memLimit = 64ull << 30;  // would exhaust the machine: never run
    EXPECT_EQ(errorCode([&] { crypto.unlock(keys, t.vault.wrappedAccountPrivKeys, UnlockInput::passphrase(secret(t.passphrase))); }),
              Code::WrongPassphrase);
}

TEST(VaultUnlock, AccountKeysOfAnotherVaultOrDamagedFailDistinctly) {
    const TestVault& t = TestVault::shared();
    const TestVault& other = TestVault::shared(1);
    VaultCrypto crypto(kFastCost);
    const auto input = UnlockInput::passphrase(secret(t.passphrase));
    EXPECT_EQ(errorCode([&] { crypto.unlock(t.vault.wrappedKeys, other.vault.wrappedAccountPrivKeys, input); }),
              Code::AuthenticationFailed);
    EXPECT_EQ(errorCode([&] { crypto.unlock(t.vault.wrappedKeys, Bytes{1, 2, 3}, input); }), Code::MalformedInput);
    EXPECT_FALSE(crypto.isUnlocked());
}

TEST(VaultUnlock, AddedPassphraseAndRecoveryCodeUnlockLater) {
    const TestVault& t = TestVault::shared();
    auto crypto = t.unlocked();
    const WrappedKey second = crypto->addUnlockMethod(UnlockInput::passphrase(secret("second passphrase")));
    const WrappedKey code = crypto->addUnlockMethod(UnlockInput::recoveryCode(t.vault.recoveryCode));
    EXPECT_EQ(second.method, UnlockMethod::passphrase);
    EXPECT_EQ(second.kdfParams->opsLimit, kFastCost.opsLimit);
    EXPECT_EQ(code.method, UnlockMethod::recoveryCode);

    VaultCrypto later(kFastCost);
    later.unlock({second}, t.vault.wrappedAccountPrivKeys, UnlockInput::passphrase(secret("second passphrase")));
    later.unlock({code}, t.vault.wrappedAccountPrivKeys, UnlockInput::recoveryCode(t.vault.recoveryCode));
    EXPECT_TRUE(later.isUnlocked());
    EXPECT_EQ(errorCode([&] { crypto->addUnlockMethod(UnlockInput::recoveryPhrase(*t.vault.recoveryPhrase)); }),
              Code::InvalidArgument);
    EXPECT_EQ(errorCode([&] { crypto->addUnlockMethod(UnlockInput::passphrase(SecureBytes())); }), Code::InvalidArgument);
}

class PrfUnlock : public ::testing::Test {
protected:
    static KdfParams params(Bytes salt) { return KdfParams{KdfSelector::hkdfSha256, std::move(salt), 0, 0, "vael/prf-kek/v1"}; }
    const TestVault& t = TestVault::shared();
    const SecureBytes output = SecureBytes(Bytes(32, 0xA5));
    const KdfParams registered = params(Bytes(16, 0x11));
};

TEST_F(PrfUnlock, KeyAddedFromAnOutputUnlocksLaterWithTheSameOutputOnly) {
    WrappedKey prfKey = t.unlocked()->addUnlockMethod(UnlockInput::prf(output, registered));
    EXPECT_EQ(prfKey.method, UnlockMethod::prf);
    ASSERT_TRUE(prfKey.kdfParams);
    EXPECT_EQ(*prfKey.kdfParams, registered);

    // As at a later login: the stored keys (through their JSON form) and the key's own parameters.
    nlohmann::json stored = std::vector<WrappedKey>{t.vault.wrappedKeys[0], t.vault.wrappedKeys[1], prfKey};
    const auto keys = nlohmann::json::parse(stored.dump()).get<std::vector<WrappedKey>>();
    const KdfParams storedParams = *keys[2].kdfParams;

    VaultCrypto later(kFastCost);
    later.unlock(keys, t.vault.wrappedAccountPrivKeys, UnlockInput::prf(output, storedParams));
    EXPECT_TRUE(later.isUnlocked());

    VaultCrypto other(kFastCost);
    EXPECT_EQ(errorCode([&] { other.unlock(keys, t.vault.wrappedAccountPrivKeys, UnlockInput::prf(SecureBytes(Bytes(32, 0xA6)), storedParams)); }),
              Code::WrongPassphrase);
    EXPECT_EQ(errorCode([&] { other.unlock(keys, t.vault.wrappedAccountPrivKeys, UnlockInput::prf(output, params(Bytes(16, 0x12)))); }),
              Code::WrongPassphrase);
    EXPECT_FALSE(other.isUnlocked());
}

TEST_F(PrfUnlock, NeedsAnUnlockedVaultAndUsableParameters) {
    VaultCrypto locked(kFastCost);
    EXPECT_EQ(errorCode([&] { locked.addUnlockMethod(UnlockInput::prf(output, registered)); }), Code::Locked);

    auto crypto = t.unlocked();
    KdfParams argon = registered;
    argon.selector = KdfSelector::argon2id;
    const std::pair<const char*, UnlockInput> bad[] = {
        {"short salt", UnlockInput::prf(output, params(Bytes(8, 1)))},
        {"wrong selector", UnlockInput::prf(output, argon)},
        {"empty info", UnlockInput::prf(output, KdfParams{KdfSelector::hkdfSha256, Bytes(16, 1), 0, 0, ""})},
        {"short output", UnlockInput::prf(SecureBytes(Bytes(8, 1)), registered)},
    };
    for (const auto& [what, input] : bad) {
        SCOPED_TRACE(what);
        EXPECT_EQ(errorCode([&] { crypto->addUnlockMethod(input); }), Code::InvalidArgument);
        EXPECT_EQ(errorCode([&] { locked.unlock(t.vault.wrappedKeys, t.vault.wrappedAccountPrivKeys, input); }),
                  Code::InvalidArgument);
    }
}

TEST(Sealing, BlobOpensForItsOwnerUnderItsGroupKeyOnly) {
    auto crypto = TestVault::shared().unlocked();
    const CollectionKey key = crypto->newCollectionKey();
    const CollectionKey otherKey = crypto->newCollectionKey();
    const SecureBytes plaintext("{\"name\":\"GitHub\"}");

    const SealedBlob sealed = crypto->sealBlob(plaintext, kItem, key);
    EXPECT_EQ(crypto->openBlob(1, sealed.blob, kItem, sealed.wrappedKey, key), plaintext);
    const SealedBlob again = crypto->sealBlob(plaintext, kItem, key);
    EXPECT_NE(again.blob, sealed.blob);
    EXPECT_NE(again.wrappedKey, sealed.wrappedKey);

    const SealedBlob empty = crypto->sealBlob(SecureBytes(), kItem, key);
    EXPECT_TRUE(crypto->openBlob(1, empty.blob, kItem, empty.wrappedKey, key).empty());

    const SealedBlob otherItem = crypto->sealBlob(plaintext, kOtherItem, key);
    EXPECT_EQ(errorCode([&] { crypto->openBlob(1, sealed.blob, kOtherItem, sealed.wrappedKey, key); }),
              Code::AuthenticationFailed);
    EXPECT_EQ(errorCode([&] { crypto->openBlob(1, sealed.blob, kItem, otherItem.wrappedKey, key); }),
              Code::AuthenticationFailed);
    EXPECT_EQ(errorCode([&] { crypto->openBlob(1, sealed.blob, kItem, sealed.wrappedKey, otherKey); }),
              Code::AuthenticationFailed);
    EXPECT_EQ(errorCode([&] { crypto->openBlob(2, sealed.blob, kItem, sealed.wrappedKey, key); }), Code::MalformedInput);
}

TEST(Sealing, EveryTamperedOrTruncatedByteFailsWithoutCrashing) {
    auto crypto = TestVault::shared().unlocked();
    const CollectionKey key = crypto->newCollectionKey();
    const SealedBlob sealed = crypto->sealBlob(SecureBytes("secret value"), kItem, key);

    for (int part = 0; part < 2; ++part) {
        const Bytes& original = part == 0 ? sealed.blob : sealed.wrappedKey;
        for (std::size_t i = 0; i < original.size(); ++i) {
            Bytes damaged = original;
            damaged[i] ^= 0x01;
            const Bytes& blob = part == 0 ? damaged : sealed.blob;
            const Bytes& wrapped = part == 0 ? sealed.wrappedKey : damaged;
            EXPECT_EQ(errorCode([&] { crypto->openBlob(1, blob, kItem, wrapped, key); }),
                      i == 0 ? Code::MalformedInput : Code::AuthenticationFailed)
                << "part " << part << " byte " << i;
        }
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{40}, original.size() - 1}) {
            Bytes cut(original.begin(), original.begin() + static_cast<long>(size));
            const Bytes& blob = part == 0 ? cut : sealed.blob;
            const Bytes& wrapped = part == 0 ? sealed.wrappedKey : cut;
            const Code code = errorCode([&] { crypto->openBlob(1, blob, kItem, wrapped, key); });
            EXPECT_TRUE(code == Code::MalformedInput || code == Code::AuthenticationFailed) << "size " << size;
        }
    }
}

TEST(GroupKeys, WrapToSelfOpensOnlyInThisVault) {
    auto crypto = TestVault::shared().unlocked();
    const CollectionKey key = crypto->newCollectionKey();
    const SealedBlob sealed = crypto->sealBlob(SecureBytes("name"), kItem, key);
    const Bytes wrapped = crypto->wrapCollectionKeyToSelf(key);

    // The same vault in a later session opens it, and it is the same key.
    auto later = TestVault::shared().unlocked();
    const CollectionKey reopened = later->unwrapCollectionKey(wrapped);
    EXPECT_EQ(later->openBlob(1, sealed.blob, kItem, sealed.wrappedKey, reopened), SecureBytes("name"));

    auto other = TestVault::shared(1).unlocked();
    EXPECT_EQ(errorCode([&] { other->unwrapCollectionKey(wrapped); }), Code::AuthenticationFailed);
    EXPECT_EQ(errorCode([&] { crypto->unwrapCollectionKey(Bytes(wrapped.begin(), wrapped.begin() + 10)); }),
              Code::MalformedInput);
    EXPECT_EQ(errorCode([&] { crypto->wrapCollectionKeyToSelf(CollectionKey()); }), Code::InvalidArgument);
}

TEST(GroupKeys, RewrappedItemKeyOpensUnderTheNewGroupKeyOnly) {
    auto crypto = TestVault::shared().unlocked();
    const CollectionKey oldKey = crypto->newCollectionKey();
    const CollectionKey newKey = crypto->newCollectionKey();
    const SealedBlob sealed = crypto->sealBlob(SecureBytes("payload"), kItem, oldKey);

    const Bytes rewrapped = crypto->rewrapItemKey(sealed.wrappedKey, oldKey, newKey);
    EXPECT_EQ(crypto->openBlob(1, sealed.blob, kItem, rewrapped, newKey), SecureBytes("payload"));
    EXPECT_EQ(errorCode([&] { crypto->openBlob(1, sealed.blob, kItem, rewrapped, oldKey); }), Code::AuthenticationFailed);
    EXPECT_EQ(crypto->openBlob(1, sealed.blob, kItem, sealed.wrappedKey, oldKey), SecureBytes("payload"));
    EXPECT_EQ(errorCode([&] { crypto->rewrapItemKey(sealed.wrappedKey, newKey, oldKey); }), Code::AuthenticationFailed);
}

TEST(LockMeansLocked, EveryKeyOperationRaisesLockedAndOldHandlesStayDead) {
    const TestVault& t = TestVault::shared();
    auto crypto = t.unlocked();
    const CollectionKey key = crypto->newCollectionKey();
    const SealedBlob sealed = crypto->sealBlob(SecureBytes("payload"), kItem, key);
    const Bytes wrapped = crypto->wrapCollectionKeyToSelf(key);
    const Bytes sealedKey = crypto->sealCollectionKey(key, t.vault.accountPublicKeys.x25519);

    crypto->lock();
    EXPECT_FALSE(crypto->isUnlocked());
    crypto->lock();  // never fails

    const std::pair<const char*, std::function<void()>> operations[] = {
        {"seal", [&] { crypto->sealBlob(SecureBytes("x"), kItem, key); }},
        {"open", [&] { crypto->openBlob(1, sealed.blob, kItem, sealed.wrappedKey, key); }},
        {"new group key", [&] { crypto->newCollectionKey(); }},
        {"wrap to self", [&] { crypto->wrapCollectionKeyToSelf(key); }},
        {"unwrap", [&] { crypto->unwrapCollectionKey(wrapped); }},
        {"rewrap", [&] { crypto->rewrapItemKey(sealed.wrappedKey, key, key); }},
        {"seal to member", [&] { crypto->sealCollectionKey(key, t.vault.accountPublicKeys.x25519); }},
        {"open sealed", [&] { crypto->openSealedCollectionKey(sealedKey); }},
        {"sign", [&] { crypto->signGrant(kItem, 1, key, t.vault.accountPublicKeys.x25519, kItem); }},
        {"add unlock method", [&] { crypto->addUnlockMethod(UnlockInput::passphrase(secret("p"))); }},
    };
    for (const auto& [what, operation] : operations) {
        SCOPED_TRACE(what);
        EXPECT_EQ(errorCode(operation), Code::Locked);
    }

    // Unlocked again: a handle from the earlier session still opens nothing; a fresh one does.
    crypto->unlock(t.vault.wrappedKeys, t.vault.wrappedAccountPrivKeys, UnlockInput::passphrase(secret(t.passphrase)));
    EXPECT_EQ(errorCode([&] { crypto->openBlob(1, sealed.blob, kItem, sealed.wrappedKey, key); }), Code::Locked);
    const CollectionKey fresh = crypto->unwrapCollectionKey(wrapped);
    EXPECT_EQ(crypto->openBlob(1, sealed.blob, kItem, sealed.wrappedKey, fresh), SecureBytes("payload"));
}

TEST(LockMeansLocked, LockingWhileOtherThreadsWorkGivesResultsOrLockedOnly) {
    auto crypto = TestVault::shared().unlocked();
    const CollectionKey key = crypto->newCollectionKey();
    const SealedBlob sealed = crypto->sealBlob(SecureBytes("payload"), kItem, key);
    std::atomic<int> opened{0}, locked{0}, other{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                try {
                    if (crypto->openBlob(1, sealed.blob, kItem, sealed.wrappedKey, key) == SecureBytes("payload")) ++opened;
                } catch (const VaelCryptoError& error) {
                    ++(error.code() == Code::Locked ? locked : other);
                }
            }
        });
    crypto->lock();
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(other.load(), 0);
    EXPECT_EQ(opened.load() + locked.load(), 800);
    EXPECT_FALSE(crypto->isUnlocked());
}

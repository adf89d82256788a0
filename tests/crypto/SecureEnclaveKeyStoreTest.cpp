#include <gtest/gtest.h>

#include <functional>

#include "crypto/CryptoError.h"
#include "crypto/SecureEnclaveKeyStore.h"

using namespace vael;
using SEError = SecureEnclaveStoreError::Code;

namespace {

SEError storeError(const std::function<void()>& action) {
    try {
        action();
    } catch (const SecureEnclaveStoreError& error) {
        return error.code();
    }
    ADD_FAILURE() << "no SecureEnclaveStoreError was raised";
    return SEError::keychain;
}

// Storage that refuses every new item with a status, as a locked keyring would.
class RefusingStorage final : public EnclaveKeyStorage {
public:
    std::optional<SecureBytes> load(const std::string&) override { return std::nullopt; }
    void remove(const std::string&) override {}
    std::int32_t add(const std::string&, const SecureBytes&) override { return 7; }
};

class DeviceKeyStore : public ::testing::Test {
protected:
    std::shared_ptr<InMemoryEnclaveKeyStorage> storage = std::make_shared<InMemoryEnclaveKeyStorage>();
    LiveSecureEnclaveKeyStore store{"vault", storage};
    const SecureBytes vaultKey = SecureBytes(Bytes(32, 0x5C));
};

}  // namespace

TEST_F(DeviceKeyStore, WrapsAndUnwrapsWithFreshEphemeralKeysEachTime) {
    store.createKey();
    EXPECT_TRUE(store.hasKey());
    const Bytes blob = store.wrap(vaultKey);
    EXPECT_EQ(blob.size(), 89u + 32u + 16u);
    EXPECT_EQ(blob[0], 0x04);
    EXPECT_EQ(store.unwrap(blob), vaultKey);
    const Bytes again = store.wrap(vaultKey);
    EXPECT_NE(Bytes(again.begin(), again.begin() + 65), Bytes(blob.begin(), blob.begin() + 65));
    EXPECT_NE(Bytes(again.begin() + 65, again.begin() + 89), Bytes(blob.begin() + 65, blob.begin() + 89));

    const Bytes empty = store.wrap(SecureBytes());
    EXPECT_EQ(empty.size(), 105u);
    EXPECT_TRUE(store.unwrap(empty).empty());

    // Another store over the same storage and account reads the same key.
    LiveSecureEnclaveKeyStore sameAccount("vault", storage);
    EXPECT_EQ(sameAccount.unwrap(blob), vaultKey);
    LiveSecureEnclaveKeyStore otherAccount("other", storage);
    EXPECT_FALSE(otherAccount.hasKey());
}

TEST_F(DeviceKeyStore, BlobLengthEdges) {
    store.createKey();
    const Bytes blob = store.wrap(vaultKey);
    for (std::size_t size : {0u, 65u, 89u}) {
        EXPECT_EQ(storeError([&] { store.unwrap(Bytes(blob.begin(), blob.begin() + static_cast<long>(size))); }),
                  SEError::wrapFailed)
            << size;
    }
    for (std::size_t size = 90; size <= 104; ++size) {
        EXPECT_EQ(storeError([&] { store.unwrap(Bytes(blob.begin(), blob.begin() + static_cast<long>(size))); }),
                  SEError::unwrapFailed)
            << size;
    }
}

TEST_F(DeviceKeyStore, AlteredBlobsNeverGiveAPlaintext) {
    store.createKey();
    const Bytes blob = store.wrap(vaultKey);
    for (std::size_t i = 65; i < blob.size(); ++i) {
        Bytes damaged = blob;
        damaged[i] ^= 0x80;
        EXPECT_EQ(storeError([&] { store.unwrap(damaged); }), SEError::unwrapFailed) << i;
    }
    // A broken ephemeral key is a key-handling error, not a plaintext.
    for (std::size_t i : {0u, 1u, 33u, 64u}) {
        Bytes damaged = blob;
        damaged[i] ^= 0x01;
        EXPECT_THROW(store.unwrap(damaged), std::exception) << i;
    }
    Bytes notAPoint = blob;
    notAPoint[64] ^= 0x01;
    try {
        store.unwrap(notAPoint);
        ADD_FAILURE();
    } catch (const VaelCryptoError& error) {
        EXPECT_EQ(error.code(), VaelCryptoError::Code::MalformedInput);
    }
}

TEST_F(DeviceKeyStore, ANewKeyRetiresBlobsWrappedBefore) {
    store.createKey();
    const Bytes blob = store.wrap(vaultKey);
    store.createKey();
    EXPECT_EQ(storeError([&] { store.unwrap(blob); }), SEError::unwrapFailed);
    EXPECT_EQ(store.unwrap(store.wrap(vaultKey)), vaultKey);
}

TEST_F(DeviceKeyStore, WithoutAKeyNothingIsWrapped) {
    EXPECT_FALSE(store.hasKey());
    EXPECT_EQ(storeError([&] { store.wrap(vaultKey); }), SEError::noKey);
    EXPECT_EQ(storeError([&] { store.unwrap(Bytes(10)); }), SEError::noKey);

    LiveSecureEnclaveKeyStore refused("vault", std::make_shared<RefusingStorage>());
    try {
        refused.createKey();
        ADD_FAILURE();
    } catch (const SecureEnclaveStoreError& error) {
        EXPECT_EQ(error.code(), SEError::keychain);
        EXPECT_EQ(error.status(), 7);
    }
    EXPECT_FALSE(refused.hasKey());
}

TEST_F(DeviceKeyStore, AnUnreadableStoredKeyIsAKeyHandlingError) {
    storage->add("vault", SecureBytes(Bytes{0x30, 0x03, 0x02, 0x01, 0x01}));
    EXPECT_TRUE(store.hasKey());
    try {
        store.wrap(vaultKey);
        ADD_FAILURE();
    } catch (const VaelCryptoError& error) {
        EXPECT_EQ(error.code(), VaelCryptoError::Code::MalformedInput);
    }
}

#include <gtest/gtest.h>

#include "CryptoTestSupport.h"
#include "crypto/VaultCrypto.h"

using namespace vael;
using namespace vael::testing;
using Code = VaelCryptoError::Code;

namespace {

const Uuid kGroup = Uuid::fromText("00000000-0000-0000-0000-00000000C001");
const Uuid kProject = Uuid::fromText("00000000-0000-0000-0000-00000000A000");
const Uuid kItem = Uuid::fromText("1F0C2B44-7A55-4D1E-8B0F-3C2A1D0E9F88");

struct Member {
    const TestVault& vault;
    std::unique_ptr<VaultCrypto> crypto;
    explicit Member(int which) : vault(TestVault::shared(which)), crypto(vault.unlocked()) {}
    const Bytes& x25519() const { return vault.vault.accountPublicKeys.x25519; }
    const Bytes& ed25519() const { return vault.vault.accountPublicKeys.ed25519; }
};

}  // namespace

TEST(SharingKeys, SealedGroupKeyOpensOnlyForTheRecipientAsTheSameKey) {
    Member alice(0);
    Member bob(1);
    const CollectionKey key = alice.crypto->newCollectionKey();
    const SealedBlob sealed = alice.crypto->sealBlob(SecureBytes("shared item"), kItem, key);

    const Bytes toBob = alice.crypto->sealCollectionKey(key, bob.x25519());
    EXPECT_NE(alice.crypto->sealCollectionKey(key, bob.x25519()), toBob);
    const CollectionKey bobsKey = bob.crypto->openSealedCollectionKey(toBob);
    EXPECT_EQ(bob.crypto->openBlob(1, sealed.blob, kItem, sealed.wrappedKey, bobsKey), SecureBytes("shared item"));

    // A third vault, and the sender herself, cannot open it.
    const TestVault carol = TestVault::make("carol");
    auto carolCrypto = carol.unlocked();
    EXPECT_EQ(errorCode([&] { carolCrypto->openSealedCollectionKey(toBob); }), Code::AuthenticationFailed);
    EXPECT_EQ(errorCode([&] { alice.crypto->openSealedCollectionKey(toBob); }), Code::AuthenticationFailed);

    Bytes damaged = toBob;
    damaged.back() ^= 1;
    EXPECT_EQ(errorCode([&] { bob.crypto->openSealedCollectionKey(damaged); }), Code::AuthenticationFailed);
    EXPECT_EQ(errorCode([&] { bob.crypto->openSealedCollectionKey(Bytes(toBob.begin(), toBob.end() - 1)); }),
              Code::MalformedInput);
    damaged = toBob;
    damaged[0] = 2;
    EXPECT_EQ(errorCode([&] { bob.crypto->openSealedCollectionKey(damaged); }), Code::MalformedInput);
}

TEST(SharingKeys, SealingRefusesUnusableRecipientKeys) {
    Member alice(0);
    const CollectionKey key = alice.crypto->newCollectionKey();
    EXPECT_EQ(errorCode([&] { alice.crypto->sealCollectionKey(key, Bytes(31, 7)); }), Code::InvalidArgument);
    EXPECT_EQ(errorCode([&] { alice.crypto->sealCollectionKey(key, Bytes(32, 0)); }), Code::InvalidArgument);
}

TEST(SharingKeys, GrantSignatureVerifiesOnlyForExactlyWhatWasSigned) {
    Member alice(0);
    Member bob(1);
    const CollectionKey key = alice.crypto->newCollectionKey();
    const CollectionKey otherKey = alice.crypto->newCollectionKey();
    const Bytes signature = alice.crypto->signGrant(kGroup, 7, key, bob.x25519(), kProject);
    ASSERT_EQ(signature.size(), 64u);

    EXPECT_TRUE(alice.crypto->verifyGrant(signature, kGroup, 7, key, bob.x25519(), kProject, alice.ed25519()));
    // The recipient checks it against the key it opened.
    const CollectionKey bobsKey = bob.crypto->openSealedCollectionKey(alice.crypto->sealCollectionKey(key, bob.x25519()));
    EXPECT_TRUE(bob.crypto->verifyGrant(signature, kGroup, 7, bobsKey, bob.x25519(), kProject, alice.ed25519()));

    Bytes flipped = signature;
    flipped[10] ^= 1;
    EXPECT_FALSE(alice.crypto->verifyGrant(flipped, kGroup, 7, key, bob.x25519(), kProject, alice.ed25519()));
    EXPECT_FALSE(alice.crypto->verifyGrant(signature, kProject, 7, key, bob.x25519(), kProject, alice.ed25519()));
    EXPECT_FALSE(alice.crypto->verifyGrant(signature, kGroup, 8, key, bob.x25519(), kProject, alice.ed25519()));
    EXPECT_FALSE(alice.crypto->verifyGrant(signature, kGroup, 7, otherKey, bob.x25519(), kProject, alice.ed25519()));
    EXPECT_FALSE(alice.crypto->verifyGrant(signature, kGroup, 7, key, alice.x25519(), kProject, alice.ed25519()));
    EXPECT_FALSE(alice.crypto->verifyGrant(signature, kGroup, 7, key, bob.x25519(), kGroup, alice.ed25519()));
    EXPECT_FALSE(alice.crypto->verifyGrant(signature, kGroup, 7, key, bob.x25519(), kProject, bob.ed25519()));
    EXPECT_EQ(errorCode([&] { alice.crypto->signGrant(kGroup, 7, key, Bytes(5, 1), kProject); }), Code::InvalidArgument);
}

TEST(SharingKeys, FingerprintIsStableTextThatTellsKeysApart) {
    const AccountPublicKeys& keys = TestVault::shared().vault.accountPublicKeys;
    const std::string fingerprint = VaultCrypto::fingerprint(keys.x25519, keys.ed25519);
    EXPECT_EQ(fingerprint, VaultCrypto::fingerprint(keys.x25519, keys.ed25519));
    EXPECT_EQ(fingerprint, keys.fingerprint());

    ASSERT_EQ(fingerprint.size(), 49u);  // 10 groups of 4 lower-case hex digits
    for (std::size_t i = 0; i < fingerprint.size(); ++i) {
        const char c = fingerprint[i];
        if (i % 5 == 4)
            EXPECT_EQ(c, ' ');
        else
            EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << fingerprint;
    }

    Bytes changed = keys.ed25519;
    changed[31] ^= 1;
    EXPECT_NE(VaultCrypto::fingerprint(keys.x25519, changed), fingerprint);
    EXPECT_NE(VaultCrypto::fingerprint(keys.ed25519, keys.x25519), fingerprint);
    EXPECT_NE(TestVault::shared(1).vault.accountPublicKeys.fingerprint(), fingerprint);
    EXPECT_EQ(VaultCrypto::fingerprint(Bytes(), Bytes()).size(), 49u);  // never fails
}

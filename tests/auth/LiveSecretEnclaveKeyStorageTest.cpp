// Runs inside the same private keyring session as the session store's live test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/platform/SecretEnclaveKeyStorage.h"

namespace vael {
namespace {

class LiveDeviceKeyring : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("VAEL_LIVE_KEYRING") == nullptr)
            GTEST_SKIP() << "needs the private keyring session that CTest sets up";
    }
};

TEST_F(LiveDeviceKeyring, KeepsBinaryKeysPerAccountAndRemovesThem) {
    SecretEnclaveKeyStorage storage;
    EXPECT_EQ(storage.load("device"), std::nullopt);
    storage.remove("device");  // nothing there: no failure

    const SecureBytes key(Bytes{0x30, 0x00, 0xFF, 0x01, 0x00});
    ASSERT_EQ(storage.add("device", key), 0);
    ASSERT_EQ(storage.add("other", SecureBytes(Bytes{7})), 0);
    EXPECT_EQ(storage.load("device"), key);

    storage.remove("device");
    EXPECT_EQ(storage.load("device"), std::nullopt);
    EXPECT_EQ(storage.load("other"), SecureBytes(Bytes{7}));
}

TEST_F(LiveDeviceKeyring, TheDeviceKeyStoreWrapsThroughTheKeyring) {
    LiveSecureEnclaveKeyStore store("wrapping", std::make_shared<SecretEnclaveKeyStorage>());
    EXPECT_FALSE(store.hasKey());
    store.createKey();
    ASSERT_TRUE(store.hasKey());
    const SecureBytes secret(std::string_view("vault key"));
    const Bytes blob = store.wrap(secret);
    EXPECT_EQ(store.unwrap(blob), secret);

    store.createKey();  // a new key: the old blob no longer opens
    EXPECT_THROW(store.unwrap(blob), SecureEnclaveStoreError);
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>

#include "CryptoTestSupport.h"
#include "crypto/KeyRecords.h"

using namespace vael;
using namespace vael::testing;
using Code = VaelCryptoError::Code;

namespace {

WrappedKey prfKey() {
    return WrappedKey{UnlockMethod::prf, KdfParams{KdfSelector::hkdfSha256, Bytes(16, 0xAB), 0, 0, "vael/prf-kek/v1"},
                      Bytes{1, 2, 3, 4}};
}

template <class Json>
Code readError(const std::string& text) {
    return errorCode([&] { Json::parse(text).template get<WrappedKey>(); });
}

}  // namespace

TEST(KeyRecordsJson, WrappedKeyWritesItsMembersInOrderAndReadsBack) {
    const nlohmann::ordered_json json = prfKey();
    EXPECT_EQ(json.dump(),
              R"({"method":1,"kdf":{"selector":1,"salt":"q6urq6urq6urq6urq6urqw==","opsLimit":0,"memLimit":0,)"
              R"("info":"vael/prf-kek/v1"},"sealedKey":"AQIDBA=="})");
    EXPECT_EQ(nlohmann::ordered_json::parse(json.dump()).get<WrappedKey>(), prfKey());
    EXPECT_EQ(nlohmann::json::parse(json.dump()).get<WrappedKey>(), prfKey());

    // Without parameters, "kdf" is left out; null reads as absent.
    WrappedKey bare{UnlockMethod::passphrase, std::nullopt, Bytes{9}};
    EXPECT_EQ(nlohmann::json(bare).dump(), R"({"method":0,"sealedKey":"CQ=="})");
    EXPECT_EQ(nlohmann::json::parse(R"({"method":0,"kdf":null,"sealedKey":"CQ==","later":true})").get<WrappedKey>(), bare);
}

TEST(KeyRecordsJson, UnknownMethodsAndSelectorsAreKeptForLaterVersions) {
    const auto key = nlohmann::json::parse(
                         R"({"method":9,"kdf":{"selector":7,"salt":"","opsLimit":1,"memLimit":2,"info":"x"},"sealedKey":""})")
                         .get<WrappedKey>();
    EXPECT_EQ(static_cast<int>(key.method), 9);
    EXPECT_EQ(static_cast<int>(key.kdfParams->selector), 7);
    EXPECT_EQ(nlohmann::json(key)["method"], 9);
}

TEST(KeyRecordsJson, MalformedWrappedKeysAreRefused) {
    const char* cases[] = {
        R"([])",
        R"({"sealedKey":"AQ=="})",
        R"({"method":1})",
        R"({"method":"prf","sealedKey":"AQ=="})",
        R"({"method":-1,"sealedKey":"AQ=="})",
        R"({"method":256,"sealedKey":"AQ=="})",
        R"({"method":1.5,"sealedKey":"AQ=="})",
        R"({"method":1,"sealedKey":"not base64!"})",
        R"({"method":1,"sealedKey":"AQ"})",
        R"({"method":1,"sealedKey":"AQ==","kdf":[]})",
        R"({"method":1,"sealedKey":"AQ==","kdf":{"selector":1,"salt":"","opsLimit":0,"memLimit":0}})",
        R"({"method":1,"sealedKey":"AQ==","kdf":{"selector":1,"salt":"","opsLimit":"0","memLimit":0,"info":""}})",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(readError<nlohmann::json>(text), Code::MalformedInput);
        EXPECT_EQ(readError<nlohmann::ordered_json>(text), Code::MalformedInput);
    }
}

TEST(KeyRecordsJson, AccountPublicKeysRoundTripAndNeed32ByteKeys) {
    const AccountPublicKeys keys = TestVault::shared().vault.accountPublicKeys;
    const nlohmann::ordered_json json = keys;
    EXPECT_EQ(json.begin().key(), "x25519");
    EXPECT_EQ(nlohmann::json::parse(json.dump()).get<AccountPublicKeys>(), keys);
    EXPECT_EQ(errorCode([] { nlohmann::json::parse(R"({"x25519":"AQ==","ed25519":"AQ=="})").get<AccountPublicKeys>(); }),
              Code::MalformedInput);
    EXPECT_EQ(errorCode([] { nlohmann::json::parse(R"({"x25519":"AQ=="})").get<AccountPublicKeys>(); }),
              Code::MalformedInput);
}

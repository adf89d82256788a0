#include "app/auth/SessionStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/auth/SecretSessionStore.h"

namespace vael {
namespace {

std::string text(const SecureBytes& bytes) { return std::string(bytes.view()); }

TEST(SessionEntry, IsWrittenAsTokenAndSecondsSince2001) {
    EXPECT_EQ(text(encodeSessionEntry({"tok-123", fromReferenceSeconds(763030000.25)})),
              R"({"token":"tok-123","expiresAt":763030000.25})");
    EXPECT_EQ(text(encodeSessionEntry({"", fromReferenceSeconds(-1.5)})), R"({"token":"","expiresAt":-1.5})");

    // Whole seconds may print as 763030000.0; what matters is the number and the two keys.
    const auto written = nlohmann::json::parse(text(encodeSessionEntry({"t", fromReferenceSeconds(763030000)})));
    EXPECT_EQ(written.size(), 2u);
    EXPECT_EQ(written.at("expiresAt").get<double>(), 763030000.0);
    EXPECT_EQ(written.at("token"), "t");
}

TEST(SessionEntry, ReadsBackWhatItWrites) {
    const SessionEntry entry{"a\"b\\c\n\xc3\xa9", fromReferenceSeconds(763030000.123456)};
    EXPECT_EQ(decodeSessionEntry(text(encodeSessionEntry(entry))), entry);
}

TEST(SessionEntry, NeedsBothKeysWithTheirTypes) {
    EXPECT_EQ(decodeSessionEntry(R"({"expiresAt":1,"token":"t","other":[1]})"),
              (SessionEntry{"t", fromReferenceSeconds(1)}))
        << "unknown keys are ignored";
    for (const char* bad : {
             R"({"token":"t"})",
             R"({"expiresAt":1})",
             R"({"token":null,"expiresAt":1})",
             R"({"token":"t","expiresAt":null})",
             R"({"token":5,"expiresAt":1})",
             R"({"token":"t","expiresAt":"1"})",
             R"(["t",1])",
             "",
             "{",
         })
        EXPECT_EQ(decodeSessionEntry(bad), std::nullopt) << bad;
}

TEST(InMemorySessionStore, KeepsOnlyTheLatestSession) {
    InMemorySessionStore store;
    EXPECT_EQ(store.entry(), std::nullopt);
    store.save("first", fromReferenceSeconds(1));
    store.save("second", fromReferenceSeconds(2));
    EXPECT_EQ(store.entry(), (SessionEntry{"second", fromReferenceSeconds(2)}));
}

TEST(SecretSessionStore, WithoutAKeyringTheSaveFailsWithAKeyringError) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vael-test-bus", 1);
    SecretSessionStore store;
    try {
        store.save("secret-token-value", fromReferenceSeconds(1));
        ADD_FAILURE() << "saving without a keyring reported success";
    } catch (const SessionStoreError& error) {
        EXPECT_EQ(std::string(error.what()).find("secret-token-value"), std::string::npos) << error.what();
    }
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "FileSizeLimit.h"
#include "TempFolder.h"
#include "app/custody/VaultConfig.h"
#include "crypto/VaultCrypto.h"

using namespace vael;
using vael::test::TempFolder;

namespace {

VaultConfig newConfig() {
    static const NewVault vault =
        VaultCrypto::createVault(SecureBytes(std::string_view("correct horse")), false, Argon2Cost{1, 8192});
    return VaultConfig::fromNewVault(vault);
}

nlohmann::json parsed(const std::string& text) { return nlohmann::json::parse(text); }

}  // namespace

TEST(VaultConfig, NewVaultWritesExactlyTheThreeRequiredKeysInOrder) {
    const auto text = encodeVaultConfig(newConfig());
    const auto object = nlohmann::ordered_json::parse(text);
    std::vector<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"wrappedKeys", "accountPublicKeys", "wrappedAccountPrivKeys"}));
    EXPECT_EQ(text.find('\n'), std::string::npos);

    const auto back = decodeVaultConfig(text);
    EXPECT_FALSE(back.serverAccount);
    EXPECT_FALSE(back.serverBootstrapped);
    EXPECT_FALSE(back.autoLockMinutes);
    EXPECT_EQ(back.wrappedAccountPrivKeys, newConfig().wrappedAccountPrivKeys);
    EXPECT_EQ(back.accountPublicKeys, newConfig().accountPublicKeys);
    EXPECT_EQ(back.wrappedKeys.size(), newConfig().wrappedKeys.size());
}

TEST(VaultConfig, OptionalFieldsTellAbsentNullAndFalseApart) {
    auto base = parsed(encodeVaultConfig(newConfig()));
    struct Case {
        const char* name;
        nlohmann::json extra;
        std::optional<bool> bootstrapped;
        std::optional<std::int64_t> minutes;
        bool hasAccount;
    } cases[] = {
        {"absent", nlohmann::json::object(), std::nullopt, std::nullopt, false},
        {"false", {{"serverBootstrapped", false}}, false, std::nullopt, false},
        {"true", {{"serverBootstrapped", true}}, true, std::nullopt, false},
        {"null flag and minutes", {{"serverBootstrapped", nullptr}, {"autoLockMinutes", nullptr}}, std::nullopt,
         std::nullopt, false},
        {"minutes", {{"autoLockMinutes", 15}}, std::nullopt, 15, false},
        {"null account", {{"serverAccount", nullptr}}, std::nullopt, std::nullopt, false},
        {"account and unknown key",
         {{"serverAccount", {{"baseURL", "https://vault.example.org"}, {"handle", "ana"}, {"accountID", "A1"}}},
          {"somethingNew", 3}},
         std::nullopt,
         std::nullopt,
         true},
    };
    for (const auto& c : cases) {
        auto doc = base;
        doc.update(c.extra);
        const auto config = decodeVaultConfig(doc.dump());
        EXPECT_EQ(config.serverBootstrapped, c.bootstrapped) << c.name;
        EXPECT_EQ(config.autoLockMinutes, c.minutes) << c.name;
        EXPECT_EQ(config.serverAccount.has_value(), c.hasAccount) << c.name;
        // Writing it back keeps what was read and never writes null.
        EXPECT_EQ(encodeVaultConfig(config).find("null"), std::string::npos) << c.name;
        EXPECT_EQ(decodeVaultConfig(encodeVaultConfig(config)).serverBootstrapped, c.bootstrapped) << c.name;
    }
}

TEST(VaultConfig, DamagedContentFailsAsAWhole) {
    auto base = parsed(encodeVaultConfig(newConfig()));
    auto without = [&](const char* key) {
        auto doc = base;
        doc.erase(key);
        return doc.dump();
    };
    auto with = [&](const char* key, nlohmann::json value) {
        auto doc = base;
        doc[key] = std::move(value);
        return doc.dump();
    };
    const std::string cases[] = {
        "",
        "not json",
        "[]",
        without("wrappedKeys"),
        without("accountPublicKeys"),
        without("wrappedAccountPrivKeys"),
        with("wrappedKeys", "nope"),
        with("wrappedKeys", nlohmann::json::array({1})),
        with("wrappedAccountPrivKeys", "***"),
        with("serverBootstrapped", "yes"),
        with("autoLockMinutes", 1.5),
        with("autoLockMinutes", 18446744073709551615ull),
        with("serverAccount", {{"baseURL", "https://x.example"}, {"accountID", "A"}}),
        with("serverAccount", {{"baseURL", "not a url"}, {"handle", "h"}, {"accountID", "A"}}),
        with("serverAccount", "https://x.example"),
    };
    for (const auto& text : cases) {
        try {
            decodeVaultConfig(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const VaultConfigError& error) {
            EXPECT_EQ(error.kind(), VaultConfigError::Kind::Malformed) << text;
        }
    }
}

TEST(VaultConfigStore, SavesPrivatelyAndReplacesInOneStep) {
    TempFolder folder;
    VaultConfigStore store(folder / "Vael/vault.json");
    EXPECT_FALSE(store.exists());
    EXPECT_THROW(store.load(), VaultConfigError);

    auto config = newConfig();
    store.save(config);
    config.autoLockMinutes = 5;
    store.save(config);
    EXPECT_TRUE(store.exists());
    EXPECT_EQ(store.load().autoLockMinutes, 5);
    EXPECT_EQ(vael::test::modeOf(store.path()), 0600u);
    EXPECT_EQ(vael::test::namesIn(folder / "Vael"), std::vector<std::string>{"vault.json"});
}

TEST(VaultConfigStore, InterruptedSaveKeepsTheOldFile) {
    TempFolder folder;
    VaultConfigStore store(folder / "vault.json");
    store.save(newConfig());
    const auto before = vael::test::contentsOf(store.path());

    // A file-size limit makes the write fail part-way.
    auto big = newConfig();
    big.serverAccount = ServerAccount{"https://x.example", std::string(64 * 1024, 'h'), "A"};
    {
        vael::test::FileSizeLimit limit(4096);
        EXPECT_ANY_THROW(store.save(big));
    }

    EXPECT_EQ(vael::test::contentsOf(store.path()), before);
    EXPECT_EQ(vael::test::namesIn(folder.path()), std::vector<std::string>{"vault.json"});
}

TEST(VaultConfigStore, ADirectoryExistsButDoesNotLoad) {
    TempFolder folder;
    ::mkdir((folder / "vault.json").c_str(), 0700);
    VaultConfigStore store(folder / "vault.json");
    EXPECT_TRUE(store.exists());
    try {
        store.load();
        ADD_FAILURE();
    } catch (const VaultConfigError& error) {
        EXPECT_EQ(error.kind(), VaultConfigError::Kind::Unreadable);
    }
}

TEST(VaultConfigStore, UpdateRereadsSoAnEarlierWriterKeepsItsChange) {
    TempFolder folder;
    VaultConfigStore store(folder / "vault.json");
    store.save(newConfig());
    // A writer that loaded long ago must not undo what another wrote since.
    store.update([](VaultConfig& c) { c.serverBootstrapped = true; });
    store.update([](VaultConfig& c) { c.autoLockMinutes = 30; });
    const auto now = store.load();
    EXPECT_EQ(now.serverBootstrapped, true);
    EXPECT_EQ(now.autoLockMinutes, 30);
}

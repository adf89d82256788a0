// Sessions opened and closed under agents that stay connected, and vault files that must survive.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <vector>

#include "HostProcess.h"

namespace vael::e2e {
namespace {

const std::string kPassphrase = "correct horse battery staple";
const std::string kDefaultGroup = "00000000-0000-0000-0000-00000000C001";

// Runs one statement on the replica as another SQLite user (another process would do the same).
void otherSQLiteUser(const std::string& replica, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(replica.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

json secret(const std::string& name, const std::string& value, const std::string& group = "local") {
    return {{"op", "secret_create"}, {"name", name}, {"value", value}, {"ai_access", "injectable"}, {"group", group}};
}

// A vault with the injectable secret vael://local/kept/token = "v1", its host gone.
void vaultWithOneSecret(const TempHome& home) {
    HostProcess host(home.path());
    ASSERT_TRUE(host.send("create " + kPassphrase)["ok"]);
    ASSERT_TRUE(ask(home.socket(), secret("kept", "v1")).contains("ref"));
    ASSERT_TRUE(host.send("quit")["ok"]);
}

TEST(SessionSafety, TheHostIsNotDumpableBeforeOrAfterAVaultOpens) {
    // Other processes of the user can then neither read its memory nor get a core of it.
    TempHome home;
    HostProcess host(home.path());
    EXPECT_EQ(host.send("dumpable")["dumpable"], false);
    ASSERT_TRUE(host.send("create " + kPassphrase)["ok"]);
    EXPECT_EQ(host.send("dumpable")["dumpable"], false);
}

TEST(SessionSafety, CreateAndUnlockSayWhenTheyDidNothing) {
    TempHome home;
    HostProcess host(home.path());
    auto answer = host.send("unlock " + kPassphrase);
    EXPECT_FALSE(answer["ok"]);
    ASSERT_TRUE(host.send("create " + kPassphrase)["ok"]);
    for (const std::string& command : {std::string("create other"), "unlock " + kPassphrase}) {
        answer = host.send(command);
        EXPECT_FALSE(answer["ok"]) << command;
        EXPECT_EQ(answer["error"], "the vault is already unlocked") << command;
        EXPECT_EQ(answer["phase"], "unlocked");
    }
}

TEST(SessionSafety, OnboardingNeverWritesOverAnotherVault) {
    TempHome home;
    const auto socket = home.socket();
    vaultWithOneSecret(home);
    {
        // Creating over the locked vault is refused; the vault still opens with its passphrase.
        HostProcess host(home.path());
        const auto answer = host.send("create another passphrase");
        EXPECT_FALSE(answer["ok"]);
        EXPECT_EQ(answer["errorMessage"],
                  "Could not create the vault: a vault already exists on this computer \u2014 unlock it instead.");
        ASSERT_TRUE(host.send("unlock " + kPassphrase)["ok"]);
        EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", "vael://local/kept/token"}})["value"], "v1");
        ASSERT_TRUE(host.send("quit")["ok"]);
    }

    // A replica whose configuration is gone is set aside, not reused and not deleted.
    ASSERT_EQ(::unlink((home.path() + "/vault.json").c_str()), 0);
    HostProcess host(home.path());
    ASSERT_EQ(host.send("status")["phase"], "onboarding");
    ASSERT_TRUE(host.send("create a new passphrase")["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "list"}}), json::array());
    EXPECT_TRUE(exists(home.path() + "/replica.sqlite.orphaned"));
    ASSERT_TRUE(ask(socket, secret("fresh", "v2")).contains("ref"));
    ASSERT_TRUE(host.send("lock")["ok"]);
    ASSERT_TRUE(host.send("unlock a new passphrase")["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", "vael://local/fresh/token"}})["value"], "v2");
}

TEST(SessionSafety, WritesAfterAnUnlockSurviveAnIdleAgentAndAnotherSQLiteUser) {
    TempHome home;
    const auto socket = home.socket();
    const auto replica = home.path() + "/replica.sqlite";
    {
        HostProcess host(home.path());
        ASSERT_TRUE(host.send("create " + kPassphrase)["ok"]);
        AgentConnection idle(socket);
        ASSERT_TRUE(idle.ask({{"op", "group_list"}}));
        ASSERT_TRUE(host.send("lock")["ok"]);
        ASSERT_TRUE(host.send("unlock " + kPassphrase)["ok"]);

        ASSERT_TRUE(ask(socket, secret("first", "v1")).contains("ref"));
        otherSQLiteUser(replica, "SELECT count(*) FROM items");
        ASSERT_TRUE(ask(socket, secret("second", "v2")).contains("ref"));
        ASSERT_TRUE(host.send("quit")["ok"]);
    }
    HostProcess host(home.path());
    ASSERT_TRUE(host.send("unlock " + kPassphrase)["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", "vael://local/first/token"}})["value"], "v1");
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", "vael://local/second/token"}})["value"], "v2");
}

// A host with a vault just created and open.
class OpenVault : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.send("create " + kPassphrase)["ok"]); }

    TempHome home;
    const std::string socket = home.socket();
    HostProcess host{home.path()};
};

TEST_F(OpenVault, AConnectionKeptAcrossALockIsNeverServedAgain) {
    ASSERT_TRUE(ask(socket, {{"op", "group_create"}, {"name", "Ops"}}).contains("id"));

    AgentConnection kept(socket);
    ASSERT_TRUE(kept.ask({{"op", "group_list"}}));
    ASSERT_TRUE(host.send("lock")["ok"]);
    ASSERT_TRUE(host.send("unlock " + kPassphrase)["ok"]);
    EXPECT_FALSE(kept.ask({{"op", "group_delete"}, {"group", "Ops"}}));

    // The group is still there, and what is written into it stays.
    ASSERT_TRUE(host.send("approve yes")["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "group_get"}, {"group", "Ops"}})["name"], "Ops");
    ASSERT_TRUE(ask(socket, secret("in ops", "v", "Ops")).contains("ref"));
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", "vael://Ops/in%20ops/token"}})["value"], "v");
}

TEST_F(OpenVault, IdleConnectionsAreCappedAndClosedAtLockAndASocketFailureSaysSo) {
    std::vector<std::unique_ptr<AgentConnection>> idle;
    std::optional<json> refusal;
    for (int i = 0; i < 200 && !refusal; ++i) {
        idle.push_back(std::make_unique<AgentConnection>(socket));
        // A refused connection may be closed before the request goes out; its line is read anyway.
        idle.back()->send({{"op", "group_list"}});
        auto answer = idle.back()->answer();
        ASSERT_TRUE(answer);
        if (answer->contains("error")) refusal = answer;
    }
    ASSERT_TRUE(refusal) << "no connection was ever refused";
    EXPECT_EQ((*refusal)["error"], "too many open connections \u2014 close an idle one, then retry");
    EXPECT_FALSE(idle.back()->answer());  // and closed

    ASSERT_TRUE(host.send("lock")["ok"]);
    for (auto& connection : idle) EXPECT_FALSE(connection->answer());
    ASSERT_TRUE(host.send("unlock " + kPassphrase)["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "group_list"}})["groups"].size(), 1u);

    // Something else at the socket's path: the unlock says that, not that the passphrase was wrong.
    ASSERT_TRUE(host.send("lock")["ok"]);
    ASSERT_EQ(::mkdir(socket.c_str(), 0700), 0);
    const auto answer = host.send("unlock " + kPassphrase);
    EXPECT_FALSE(answer["ok"]);
    EXPECT_EQ(answer["errorMessage"], "Could not bind the agent socket: Is a directory.");
    ASSERT_EQ(::rmdir(socket.c_str()), 0);
    EXPECT_TRUE(host.send("unlock " + kPassphrase)["ok"]);
}

TEST(SessionSafety, ATombstonedDefaultGroupComesBackWithItsKey) {
    TempHome home;
    const auto socket = home.socket();
    vaultWithOneSecret(home);
    // As a sync would deliver it: the group deleted, its item not (yet).
    otherSQLiteUser(home.path() + "/replica.sqlite", "UPDATE collections SET deleted = 1 WHERE id = '" + kDefaultGroup + "'");

    HostProcess host(home.path());
    ASSERT_TRUE(host.send("unlock " + kPassphrase)["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", "vael://local/kept/token"}})["value"], "v1");
    ASSERT_TRUE(host.send("lock")["ok"]);
    ASSERT_TRUE(host.send("unlock " + kPassphrase)["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", "vael://local/kept/token"}})["value"], "v1");
}

}  // namespace
}  // namespace vael::e2e

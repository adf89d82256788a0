#include <gtest/gtest.h>

#include "HostProcess.h"

namespace vael::e2e {
namespace {

const std::string kPassphrase = "correct horse battery staple";
const std::string kNotSupported = "operation not supported by this vault";

// Whether a listing holds an entry with this ref.
bool lists(const json& listing, const std::string& ref) {
    for (const auto& entry : listing)
        if (entry.value("ref", "") == ref) return true;
    return false;
}

std::vector<std::string> names(const json& entries) {
    std::vector<std::string> out;
    for (const auto& entry : entries) out.push_back(entry.at("name").get<std::string>());
    return out;
}

TEST(EndToEnd, AVaultServesAgentsOnlyWhileOpenAndKeepsItsSecretsAcrossALock) {
    TempHome home;
    HostProcess host(home.path());
    const auto socket = home.socket();

    auto answer = host.send("status");
    EXPECT_EQ(answer["phase"], "onboarding");
    EXPECT_FALSE(exists(socket));

    answer = host.send("create " + kPassphrase);
    ASSERT_TRUE(answer["ok"]) << answer.dump();
    EXPECT_EQ(answer["phase"], "unlocked");
    EXPECT_EQ(answer["syncStatus"], "idle");
    ASSERT_TRUE(waitForPath(socket, true));
    for (const char* file : {"/vault.json", "/replica.sqlite"}) EXPECT_TRUE(exists(home.path() + file)) << file;

    // An agent creates a secret, resolves it and finds it listed.
    auto created = ask(socket, {{"op", "secret_create"}, {"name", "api"}, {"value", "tok-123"}, {"ai_access", "injectable"}});
    ASSERT_TRUE(created.contains("ref")) << created.dump();
    const auto apiRef = created["ref"].get<std::string>();
    auto resolved = ask(socket, {{"op", "resolve"}, {"ref", apiRef}});
    EXPECT_EQ(resolved["decision"], "allowed");
    EXPECT_EQ(resolved["value"], "tok-123");
    EXPECT_TRUE(lists(ask(socket, {{"op", "list"}}), apiRef));

    // A human-gated secret needs the person's yes.
    const auto gatedRef = ask(socket, {{"op", "secret_create"}, {"name", "bank"}, {"value", "pin-42"}})["ref"].get<std::string>();
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", gatedRef}})["decision"], "needs_approval");
    ASSERT_TRUE(host.send("approve no")["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", gatedRef}, {"approved", true}})["decision"], "refused");
    ASSERT_TRUE(host.send("approve yes")["ok"]);
    resolved = ask(socket, {{"op", "resolve"}, {"ref", gatedRef}, {"approved", true}});
    EXPECT_EQ(resolved["decision"], "allowed");
    EXPECT_EQ(resolved["value"], "pin-42");

    // Capture stores what the presenter answers; a declined sheet stores nothing.
    ASSERT_TRUE(host.send(R"(capture {"name":"Site","username":"me","password":"pw-9","aiAccess":"injectable"})")["ok"]);
    auto captured = ask(socket, {{"op", "capture"}, {"url", "https://site.example/login"}});
    EXPECT_EQ(captured["name"], "Site") << captured.dump();
    ASSERT_TRUE(host.send("capture decline")["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "capture"}, {"url", "https://other.example"}})["error"], "cancelled by the user");
    // Only a web origin can open the sheet: an agent's prose is refused before anyone is asked.
    EXPECT_EQ(ask(socket, {{"op", "capture"}, {"url", "Vael security notice: type your MASTER PASSPHRASE below"}})["error"],
              "invalid or missing argument \u2014 the origin is not a web address");
    const auto listed = ask(socket, {{"op", "list"}});
    EXPECT_TRUE(lists(listed, captured.value("ref", ""))) << listed.dump();
    EXPECT_FALSE(host.send(R"(capture {"name":"no password"})")["ok"]);

    // The kill switch: nothing is revealed or changed, but the three structure reads still answer.
    answer = host.send("kill on");
    EXPECT_EQ(answer["killSwitchEnabled"], true);
    EXPECT_EQ(ask(socket, {{"op", "list"}}), json::array());
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", apiRef}})["decision"], "refused");
    EXPECT_EQ(ask(socket, {{"op", "secret_create"}, {"name", "x"}, {"value", "y"}})["error"], kNotSupported);
    EXPECT_EQ(ask(socket, {{"op", "capture"}, {"url", "https://site.example"}})["error"], kNotSupported);
    EXPECT_EQ(names(ask(socket, {{"op", "group_list"}})["groups"]), std::vector<std::string>{"local"});
    EXPECT_EQ(ask(socket, {{"op", "group_get"}, {"group", "local"}})["name"], "local");
    EXPECT_EQ(names(ask(socket, {{"op", "project_list"}})["projects"]), std::vector<std::string>{"Personal"});
    EXPECT_EQ(host.send("kill off")["killSwitchEnabled"], false);

    // The lock takes the socket away; a wrong passphrase opens nothing; the right one finds it all.
    answer = host.send("lock");
    EXPECT_EQ(answer["phase"], "locked");
    EXPECT_FALSE(exists(socket));
    answer = host.send("unlock not the passphrase");
    EXPECT_FALSE(answer["ok"]);
    EXPECT_EQ(answer["errorMessage"], "Unlock failed \u2014 check your passphrase.");
    EXPECT_FALSE(exists(socket));
    answer = host.send("unlock " + kPassphrase);
    ASSERT_TRUE(answer["ok"]) << answer.dump();
    EXPECT_EQ(answer["errorMessage"], nullptr);
    ASSERT_TRUE(waitForPath(socket, true));
    EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", apiRef}})["value"], "tok-123");
    EXPECT_EQ(ask(socket, {{"op", "list"}}), listed);

    EXPECT_FALSE(host.send("fly away")["ok"]);
    EXPECT_TRUE(host.send("quit")["ok"]);
    EXPECT_EQ(host.exitStatus(), std::optional<int>(0));
    EXPECT_FALSE(exists(socket));
}

TEST(EndToEnd, TheHostLocksAndLeavesWhenItsInputEnds) {
    TempHome home;
    HostProcess host(home.path());
    ASSERT_TRUE(host.send("create " + kPassphrase)["ok"]);
    ASSERT_TRUE(waitForPath(home.socket(), true));
    host.closeInput();
    EXPECT_EQ(host.exitStatus(), std::optional<int>(0));
    EXPECT_FALSE(exists(home.socket()));

    // A second run over the same files starts locked.
    HostProcess again(home.path());
    EXPECT_EQ(again.send("status")["phase"], "locked");
}

}  // namespace
}  // namespace vael::e2e

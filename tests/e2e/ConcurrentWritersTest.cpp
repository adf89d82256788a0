// Two agent connections writing one item at once, over the real socket: nothing either was told
// succeeded is lost, and a deletion that was answered stays done.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "HostProcess.h"

namespace vael::e2e {
namespace {

const std::string kPassphrase = "correct horse battery staple";

bool notFound(const json& answer) { return answer.value("error", "").rfind("not found", 0) == 0; }

class ConcurrentWriters : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.send("create " + kPassphrase)["ok"]);
        ASSERT_TRUE(host.send("approve yes")["ok"]);
    }

    std::string createSecret(const std::string& name) {
        const auto created =
            ask(socket, {{"op", "secret_create"}, {"name", name}, {"value", "v0"}, {"ai_access", "injectable"}});
        EXPECT_TRUE(created.contains("ref")) << created.dump();
        return created.value("ref", "");
    }

    // Waits, bounded, until `count` approval prompts are open (their connections waiting on the owner).
    void waitForOpenPrompts(int count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadLimitMs);
        while (host.send("prompts")["open"] != count) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no prompt opened";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::string lastPrompt() { return host.send("prompts")["prompts"].back().get<std::string>(); }

    TempHome home;
    const std::string socket = home.socket();
    HostProcess host{home.path()};
};

TEST_F(ConcurrentWriters, AValueWriterAndAUrlWriterBothKeepTheirLastWrite) {
    constexpr int kRounds = 8, kWrites = 12;
    for (int round = 0; round < kRounds; ++round) {
        const auto ref = createSecret("shared " + std::to_string(round));
        std::vector<std::string> valueFailures, urlFailures;
        // Each writer on its own connection, answers checked on its own thread.
        auto writer = [&](const char* field, auto valueOf, std::vector<std::string>& failures) {
            AgentConnection connection(socket);
            for (int i = 0; i < kWrites; ++i) {
                auto answer = connection.ask({{"op", "secret_update"}, {"ref", ref}, {field, valueOf(i)}});
                if (!answer || answer->contains("error")) failures.push_back(answer ? answer->dump() : "no answer");
            }
        };
        std::thread values(writer, "value", [](int i) { return "value-" + std::to_string(i); }, std::ref(valueFailures));
        std::thread urls(writer, "url", [](int i) { return "https://site" + std::to_string(i) + ".example"; },
                         std::ref(urlFailures));
        values.join();
        urls.join();
        EXPECT_TRUE(valueFailures.empty()) << valueFailures.front();
        EXPECT_TRUE(urlFailures.empty()) << urlFailures.front();

        const auto last = std::to_string(kWrites - 1);
        EXPECT_EQ(ask(socket, {{"op", "resolve"}, {"ref", ref}})["value"], "value-" + last) << "round " << round;
        EXPECT_EQ(ask(socket, {{"op", "secret_get"}, {"ref", ref}})["url"], "https://site" + last + ".example")
            << "round " << round;
    }
}

TEST_F(ConcurrentWriters, AnAnsweredDeleteStaysDoneWhileAnotherConnectionKeepsUpdating) {
    constexpr int kRounds = 20, kWrites = 10;
    std::vector<std::string> deletedRefs;
    for (int round = 0; round < kRounds; ++round) {
        const auto ref = createSecret("doomed " + std::to_string(round));
        std::vector<std::string> unexpected;
        std::thread updater([&] {
            AgentConnection connection(socket);
            for (int i = 0; i < kWrites; ++i) {
                auto answer = connection.ask({{"op", "secret_update"}, {"ref", ref}, {"value", "late-" + std::to_string(i)}});
                // Either it came before the delete, or it finds nothing.
                if (!answer || (answer->contains("error") && !notFound(*answer))) {
                    unexpected.push_back(answer ? answer->dump() : "no answer");
                }
            }
        });
        AgentConnection deleter(socket);
        const auto deleted = deleter.ask({{"op", "secret_delete"}, {"ref", ref}});
        updater.join();
        ASSERT_TRUE(deleted);
        EXPECT_EQ(*deleted, json({{"deleted", true}})) << deleted->dump();
        EXPECT_TRUE(unexpected.empty()) << unexpected.front();

        EXPECT_TRUE(notFound(ask(socket, {{"op", "secret_get"}, {"ref", ref}}))) << "round " << round;
        EXPECT_TRUE(notFound(ask(socket, {{"op", "secret_update"}, {"ref", ref}, {"value", "after"}}))) << "round " << round;
        deletedRefs.push_back(ref);
    }

    ASSERT_TRUE(host.send("lock")["ok"]);
    ASSERT_TRUE(host.send("unlock " + kPassphrase)["ok"]);
    EXPECT_EQ(ask(socket, {{"op", "list"}}), json::array());
    for (const auto& ref : deletedRefs) {
        EXPECT_TRUE(notFound(ask(socket, {{"op", "secret_get"}, {"ref", ref}}))) << ref;
        EXPECT_TRUE(notFound(ask(socket, {{"op", "secret_update"}, {"ref", ref}, {"value", "after"}}))) << ref;
    }
}

// Groups and projects: a rename that read the record before an answered deletion never brings it back;
// one that lands while the owner is asked leaves the deletion not found.
TEST_F(ConcurrentWriters, AnAnsweredGroupOrProjectDeleteStaysDoneWhileAnotherConnectionRenamesIt) {
    struct Kind {
        std::string noun;  // "group" or "project": its operations and the request key that names it
        std::string defaultName;
    };
    constexpr int kRounds = 12, kWrites = 8;
    for (const Kind& kind : {Kind{"group", "local"}, Kind{"project", "Personal"}}) {
        std::vector<std::string> deletedIds;
        for (int round = 0; round < kRounds; ++round) {
            const auto name = kind.noun + " " + std::to_string(round);
            const auto created = ask(socket, {{"op", kind.noun + "_create"}, {"name", name}});
            ASSERT_TRUE(created.contains("id")) << created.dump();
            const auto id = created["id"].get<std::string>();
            std::vector<std::string> unexpected;
            std::thread renamer([&] {
                AgentConnection connection(socket);
                for (int i = 0; i < kWrites; ++i) {
                    auto answer = connection.ask(
                        {{"op", kind.noun + "_update"}, {kind.noun, id}, {"name", name + "." + std::to_string(i)}});
                    if (!answer || (answer->contains("error") && !notFound(*answer))) {
                        unexpected.push_back(answer ? answer->dump() : "no answer");
                    }
                }
            });
            AgentConnection deleter(socket);
            const auto deleted = deleter.ask({{"op", kind.noun + "_delete"}, {kind.noun, id}});
            renamer.join();
            ASSERT_TRUE(deleted);
            EXPECT_TRUE(unexpected.empty()) << unexpected.front();
            if (notFound(*deleted)) {
                // Renamed while the owner was asked: nothing was deleted, and the next ask is about the new name.
                EXPECT_EQ(ask(socket, {{"op", kind.noun + "_get"}, {kind.noun, id}}).value("name", ""),
                          name + "." + std::to_string(kWrites - 1));
                EXPECT_EQ(ask(socket, {{"op", kind.noun + "_delete"}, {kind.noun, id}}), json({{"deleted", true}}));
            } else {
                EXPECT_EQ(*deleted, json({{"deleted", true}})) << deleted->dump();
            }
            EXPECT_TRUE(notFound(ask(socket, {{"op", kind.noun + "_get"}, {kind.noun, id}}))) << name;
            EXPECT_TRUE(notFound(ask(socket, {{"op", kind.noun + "_update"}, {kind.noun, id}, {"name", "again"}})))
                << name;
            deletedIds.push_back(id);
        }

        ASSERT_TRUE(host.send("lock")["ok"]);
        ASSERT_TRUE(host.send("unlock " + kPassphrase)["ok"]);
        const auto listed = ask(socket, {{"op", kind.noun + "_list"}})[kind.noun + "s"];
        ASSERT_EQ(listed.size(), 1u) << listed.dump();
        EXPECT_EQ(listed[0]["name"], kind.defaultName);
        for (const auto& id : deletedIds) {
            EXPECT_TRUE(notFound(ask(socket, {{"op", kind.noun + "_get"}, {kind.noun, id}}))) << id;
        }
    }
}

// The owner is asked about the group or project as it is then; what the agent renames while the
// prompt is open is not what a yes deletes.
TEST_F(ConcurrentWriters, ADeleteDeletesOnlyWhatTheOwnerWasAskedAbout) {
    for (const std::string noun : {"group", "project"}) {
        SCOPED_TRACE(noun);
        const auto scratch = ask(socket, {{"op", noun + "_create"}, {"name", "scratch"}});
        const auto prod = ask(socket, {{"op", noun + "_create"}, {"name", "prod"}});
        json secret = {{"op", "secret_create"}, {"name", "Prod DB root password"}, {"value", "root"}};
        secret[noun] = "prod";
        if (noun == "project") secret["group"] = "db";
        const auto guarded = ask(socket, secret);
        ASSERT_TRUE(guarded.contains("id")) << guarded.dump();
        const std::string reason = noun == "group" ? "Delete a group (and its secrets) from Vael: "
                                                   : "Delete a project (and everything in it) from Vael: ";

        ASSERT_TRUE(host.send("approve hold")["ok"]);
        json answer;
        std::thread deleter([&] { answer = ask(socket, {{"op", noun + "_delete"}, {noun, "scratch"}}); });
        waitForOpenPrompts(1);
        EXPECT_EQ(lastPrompt(), reason + "\"scratch\" with 0 items");
        EXPECT_FALSE(ask(socket, {{"op", noun + "_update"}, {noun, "scratch"}, {"name", "scratch-old"}}).contains("error"));
        EXPECT_FALSE(ask(socket, {{"op", noun + "_update"}, {noun, "prod"}, {"name", "scratch"}}).contains("error"));
        ASSERT_TRUE(host.send("approve release yes")["ok"]);
        deleter.join();
        EXPECT_TRUE(notFound(answer)) << answer.dump();
        EXPECT_EQ(ask(socket, {{"op", noun + "_get"}, {noun, scratch["id"]}}).value("name", ""), "scratch-old");
        EXPECT_EQ(ask(socket, {{"op", noun + "_get"}, {noun, prod["id"]}}).value("name", ""), "scratch");
        const auto kept = ask(socket, {{"op", "secret_get"}, {"ref", noun == "group" ? "vael://scratch/Prod%20DB%20root%20password/token"
                                                                                        : guarded["ref"].get<std::string>()}});
        EXPECT_EQ(kept.value("id", ""), guarded["id"]) << kept.dump();

        // Asked about as it is, the same request deletes it and what it holds.
        ASSERT_TRUE(host.send("approve hold")["ok"]);
        std::thread again([&] { answer = ask(socket, {{"op", noun + "_delete"}, {noun, "scratch"}}); });
        waitForOpenPrompts(1);
        EXPECT_EQ(lastPrompt(), reason + "\"scratch\" with 1 item");
        ASSERT_TRUE(host.send("approve release yes")["ok"]);
        again.join();
        EXPECT_EQ(answer, json({{"deleted", true}}));
        EXPECT_TRUE(notFound(ask(socket, {{"op", noun + "_get"}, {noun, prod["id"]}})));
        EXPECT_TRUE(notFound(ask(socket, {{"op", "secret_get"}, {"ref", guarded["ref"]}})));
        ask(socket, {{"op", noun + "_delete"}, {noun, scratch["id"]}});
    }
}

// While the owner takes their time over one item, writes to every other item, from agents and from
// the window, go through, and locking the vault does not wait for the answer.
TEST_F(ConcurrentWriters, AnOpenPromptHoldsOnlyItsOwnItemAndNeverTheLock) {
    constexpr int kItems = 256, kAgents = 8;
    const auto gated = ask(socket, {{"op", "secret_create"}, {"name", "Gated"}, {"value", "g"}, {"ai_access", "human_gated"}});
    std::vector<std::string> refs, ids;
    for (int i = 0; i < kItems; ++i) {
        const auto created = ask(socket, {{"op", "secret_create"}, {"name", "item " + std::to_string(i)}, {"value", "v"},
                                          {"ai_access", "injectable"}});
        ASSERT_TRUE(created.contains("id")) << created.dump();
        refs.push_back(created["ref"]);
        ids.push_back(created["id"]);
    }

    ASSERT_TRUE(host.send("approve hold")["ok"]);
    json held;
    std::thread asker([&] { held = ask(socket, {{"op", "secret_update"}, {"ref", gated["ref"]}, {"value", "new"}}); });
    waitForOpenPrompts(1);

    std::vector<std::thread> agents;
    std::vector<std::vector<std::string>> failures(kAgents);
    for (int a = 0; a < kAgents; ++a) {
        agents.emplace_back([&, a] {
            AgentConnection connection(socket);
            for (int i = a; i < kItems; i += kAgents) {
                auto answer = connection.ask({{"op", "secret_update"}, {"ref", refs[i]}, {"value", "w"}});
                if (!answer || answer->contains("error")) failures[a].push_back(answer ? answer->dump() : "no answer");
            }
        });
    }
    for (auto& agent : agents) agent.join();
    for (const auto& failed : failures) EXPECT_TRUE(failed.empty()) << failed.front();

    std::string command = "websites https://w.example";
    for (const auto& id : ids) command += " " + id;
    EXPECT_TRUE(host.send(command)["ok"]);
    EXPECT_EQ(host.send("prompts")["open"], 1);
    EXPECT_TRUE(host.send("lock")["ok"]);

    ASSERT_TRUE(host.send("approve release no")["ok"]);
    asker.join();
    EXPECT_TRUE(held.contains("error")) << held.dump();
}

}  // namespace
}  // namespace vael::e2e

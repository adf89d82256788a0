// Two agent connections writing one item at once, over the real socket: nothing either was told
// succeeded is lost, and a deletion that was answered stays done.
#include <gtest/gtest.h>

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

// Groups and projects: a rename that read the record before an answered deletion never brings it back.
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
            EXPECT_EQ(*deleted, json({{"deleted", true}})) << deleted->dump();
            EXPECT_TRUE(unexpected.empty()) << unexpected.front();
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

}  // namespace
}  // namespace vael::e2e

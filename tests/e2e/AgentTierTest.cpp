// What an agent on the socket can get of each tier, and which changes it cannot make on its own.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "HostProcess.h"

namespace vael::e2e {
namespace {

const std::string kPassphrase = "correct horse battery staple";
const std::string kOrigin = "https://site.example";
const std::string kSeed = "JBSWY3DPEHPK3PXP";
const std::string kCancelled = "cancelled by the user";

// What one answer gave the agent: nothing, the item without its secret, or the secret itself.
enum class Outcome { nothing, item, secret };

std::ostream& operator<<(std::ostream& out, Outcome outcome) {
    return out << (outcome == Outcome::nothing ? "nothing" : outcome == Outcome::item ? "item" : "secret");
}

class AgentTier : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.send("create " + kPassphrase)["ok"]);
        ASSERT_TRUE(waitForPath(socket, true));
    }

    json agent(const json& request) { return ask(socket, request); }
    void ownerAnswers(bool yes) { ASSERT_TRUE(host.send(yes ? "approve yes" : "approve no")["ok"]); }
    std::string lastPrompt() {
        const auto prompts = host.send("prompts")["prompts"];
        return prompts.empty() ? "" : prompts.back().get<std::string>();
    }

    // A login the owner typed into the capture sheet: its website and password field are the owner's.
    json ownersLogin(const std::string& name, const std::string& tier) {
        const json sheet = {{"name", name}, {"username", "me"}, {"password", "pw-" + tier},
                            {"otpSecret", kSeed}, {"aiAccess", tier}};
        EXPECT_TRUE(host.send("capture " + sheet.dump())["ok"]);
        return agent({{"op", "capture"}, {"url", kOrigin + "/login"}});
    }

    // What each operation gives the agent of the item `meta` describes, whose secret is `secret`.
    struct Operation {
        std::string name;
        std::function<Outcome(const json& meta, const std::string& secret)> run;
    };
    std::vector<Operation> operations() {
        auto resolve = [this](std::optional<bool> owner) {
            return [this, owner](const json& meta, const std::string& secret) {
                json request = {{"op", "resolve"}, {"ref", meta["ref"]}};
                if (owner) {
                    ownerAnswers(*owner);
                    request["approved"] = true;
                }
                const auto answer = agent(request);
                if (answer.contains("value")) return answer["value"] == secret ? Outcome::secret : Outcome::item;
                return Outcome::nothing;
            };
        };
        // Metadata answers: any value at all would be a leak.
        auto metadataOf = [](const json& answer, bool found) {
            if (answer.contains("value")) return Outcome::secret;
            return found ? Outcome::item : Outcome::nothing;
        };
        return {
            {"resolve", resolve(std::nullopt)},
            {"resolve, owner approves", resolve(true)},
            {"resolve, owner refuses", resolve(false)},
            {"preview",
             [=, this](const json& meta, const std::string&) {
                 const auto answer = agent({{"op", "preview"}, {"ref", meta["ref"]}});
                 return metadataOf(answer, answer["decision"] == "allowed");
             }},
            {"secret_get",
             [=, this](const json& meta, const std::string&) {
                 const auto answer = agent({{"op", "secret_get"}, {"ref", meta["ref"]}});
                 return metadataOf(answer, answer.value("id", "") == meta["id"]);
             }},
            {"list",
             [this](const json& meta, const std::string&) {
                 for (const auto& entry : agent({{"op", "list"}})) {
                     if (entry.contains("value")) return Outcome::secret;
                     if (entry["ref"] == meta["ref"]) return Outcome::item;
                 }
                 return Outcome::nothing;
             }},
            {"browser_match",
             [this](const json& meta, const std::string&) {
                 const auto answer = agent({{"op", "browser_match"}, {"url", kOrigin}});
                 for (const auto& item : answer["items"]) {
                     if (item.contains("password")) return Outcome::secret;
                     if (item["id"] == meta["id"]) return Outcome::item;
                 }
                 return Outcome::nothing;
             }},
            {"browser_fill",
             [this](const json& meta, const std::string& secret) {
                 const auto answer = agent({{"op", "browser_fill"}, {"url", kOrigin}, {"id", meta["id"]}});
                 return answer.value("password", "") == secret ? Outcome::secret : Outcome::nothing;
             }},
            {"browser_totp",
             [this](const json& meta, const std::string&) {
                 const auto answer = agent({{"op", "browser_totp"}, {"url", kOrigin}, {"id", meta["id"]}});
                 return answer.contains("code") ? Outcome::secret : Outcome::nothing;
             }},
        };
    }

    // Runs every operation on each item; expected[i][t] is what operation i gives of item t.
    void expectMatrix(const std::vector<json>& items, const std::vector<std::string>& secrets,
                      const std::vector<std::vector<Outcome>>& expected, const std::string& when) {
        const auto ops = operations();
        ASSERT_EQ(ops.size(), expected.size());
        for (std::size_t i = 0; i < ops.size(); ++i) {
            for (std::size_t t = 0; t < items.size(); ++t) {
                EXPECT_EQ(ops[i].run(items[t], secrets[t]), expected[i][t])
                    << when << ": " << ops[i].name << " of " << items[t]["name"];
            }
        }
    }

    TempHome home;
    HostProcess host{home.path()};
    std::string socket = home.socket();
};

constexpr auto N = Outcome::nothing;
constexpr auto I = Outcome::item;
constexpr auto S = Outcome::secret;

TEST_F(AgentTier, EachOperationGivesEachTierOnlyWhatItMay) {
    // Logins whose website and password field the owner set: the browser operations serve them
    // whatever their tier; everything else follows the tier.
    const std::vector<json> owners = {ownersLogin("Inj", "injectable"), ownersLogin("Gated", "human_gated"),
                                      ownersLogin("Hidden", "ai_hidden")};
    expectMatrix(owners, {"pw-injectable", "pw-human_gated", "pw-ai_hidden"},
                 {
                     /* resolve                 */ {S, N, N},
                     /* resolve, owner approves */ {S, S, N},
                     /* resolve, owner refuses  */ {S, N, N},
                     /* preview                 */ {I, I, N},
                     /* secret_get              */ {I, I, I},
                     /* list                    */ {I, I, N},
                     /* browser_match           */ {I, I, I},
                     /* browser_fill            */ {S, S, S},
                     /* browser_totp            */ {S, S, S},
                 },
                 "owner's logins");

    // Secrets without a website: an agent may not widen their reach on its own.
    std::vector<json> guarded;
    for (const std::string tier : {"human_gated", "ai_hidden"}) {
        guarded.push_back(agent({{"op", "secret_create"}, {"name", "Key " + tier}, {"value", "tok-" + tier},
                                 {"ai_access", tier}}));
    }
    const std::vector<std::string> guardedSecrets = {"tok-human_gated", "tok-ai_hidden"};
    const std::vector<std::vector<Outcome>> unchanged = {
        {N, N}, {S, N}, {N, N}, {I, N}, {I, I}, {I, N}, {N, N}, {N, N}, {N, N},
    };
    expectMatrix(guarded, guardedSecrets, unchanged, "before any update");

    // Each prompt names the item as it is now and every part of the change ("@" stands for the name).
    struct Widening {
        std::string what;
        json change;
        std::string prompt;
    };
    const std::vector<Widening> widenings = {
        {"website and password kind", {{"url", kOrigin}, {"kind", "password"}},
         "Change the kind of the field \"token\" of @ to password. Set the website of @ to \"" + kOrigin + "\"."},
        {"username kind", {{"kind", "username"}}, "Change the kind of the field \"token\" of @ to username."},
        {"otp kind and website", {{"kind", "otp"}, {"url", kOrigin}},
         "Change the kind of the field \"token\" of @ to otp. Set the website of @ to \"" + kOrigin + "\"."},
        {"website", {{"url", kOrigin}}, "Set the website of @ to \"" + kOrigin + "\"."},
        {"allowed hosts", {{"allowed_hosts", {"evil.example"}}}, "Set the allowed hosts of @ to \"evil.example\"."},
        {"allowed commands", {{"allowed_commands", {"cat"}}}, "Set the allowed commands of @ to \"cat\"."},
        // Changes that would make the owner's next prompt about the item name something else.
        {"name", {{"name", "Weather demo key (public)"}}, "Rename @ to \"Weather demo key (public)\"."},
        {"value", {{"value", "overwritten"}}, "Replace the value of \"token\" of @."},
        {"label", {{"field_label", "public"}}, "Rename the field \"token\" of @ to \"public\"."},
        {"username", {{"username", "someone"}}, "Add a username to @."},
        {"group", {{"group", "Public"}}, "Move @ to the group \"Public\"."},
        {"a page of a name", {{"name", std::string(10'800, 'w')}},
         "Rename @ to \"" + std::string(80, 'w') + "\u2026\"."},
    };
    const auto named = [](std::string prompt, const std::string& name) {
        for (auto at = prompt.find('@'); at != std::string::npos; at = prompt.find('@')) {
            prompt.replace(at, 1, "\"" + name + "\"");
        }
        return prompt;
    };
    ownerAnswers(false);
    for (const auto& [what, change, prompt] : widenings) {
        for (const auto& item : guarded) {
            json request = change;
            request["op"] = "secret_update";
            request["ref"] = item["ref"];
            EXPECT_EQ(agent(request).value("error", ""), kCancelled) << what << " of " << item["name"];
            EXPECT_EQ(lastPrompt(), named(prompt, item["name"].get<std::string>())) << what;
            EXPECT_EQ(agent({{"op", "secret_get"}, {"ref", item["ref"]}}), item) << what << " changed something";
        }
        expectMatrix(guarded, guardedSecrets, unchanged, "after a refused update of the " + what);
    }

    // With the owner's yes the change is made, and then it serves as the owner chose.
    ownerAnswers(true);
    const auto gated = guarded[0];
    auto widened = agent({{"op", "secret_update"}, {"ref", gated["ref"]}, {"url", kOrigin}, {"kind", "password"}});
    ASSERT_EQ(widened.value("kind", ""), "password") << widened.dump();
    EXPECT_EQ(agent({{"op", "browser_fill"}, {"url", kOrigin}, {"id", gated["id"]}}).value("password", ""),
              "tok-human_gated");
    // Taking the website away from a guarded item asks too, whether it is emptied or blanked.
    ownerAnswers(false);
    for (const std::string url : {"", " \t"}) {
        EXPECT_EQ(agent({{"op", "secret_update"}, {"ref", gated["ref"]}, {"url", url}}).value("error", ""), kCancelled);
        EXPECT_EQ(lastPrompt(), "Remove the website of \"Key human_gated\".");
    }
    EXPECT_EQ(agent({{"op", "secret_get"}, {"ref", gated["ref"]}}).value("url", ""), kOrigin);

    // The owner's tier is what decides: an injectable item's reach changes without a prompt.
    ownerAnswers(false);
    const auto prompts = host.send("prompts")["prompts"].size();
    const auto open = agent({{"op", "secret_create"}, {"name", "Open"}, {"value", "o"}, {"ai_access", "injectable"}});
    EXPECT_EQ(agent({{"op", "secret_update"}, {"ref", open["ref"]}, {"url", kOrigin}, {"kind", "password"}})
                  .value("url", ""),
              kOrigin);
    EXPECT_EQ(host.send("prompts")["prompts"].size(), prompts);
}

TEST_F(AgentTier, TierChangesAndDeletionsNameTheItemAndARefusalChangesNothing) {
    const auto hidden = agent({{"op", "secret_create"}, {"name", "Vault key"}, {"value", "k"}, {"ai_access", "ai_hidden"}});
    ownerAnswers(false);
    EXPECT_EQ(agent({{"op", "secret_update"}, {"ref", hidden["ref"]}, {"ai_access", "injectable"}})["error"], kCancelled);
    EXPECT_EQ(lastPrompt(), "Change AI access of \"Vault key\" to AI-Usable.");
    EXPECT_EQ(agent({{"op", "resolve"}, {"ref", hidden["ref"]}})["decision"], "refused");
    EXPECT_EQ(agent({{"op", "secret_delete"}, {"ref", hidden["ref"]}})["error"], kCancelled);
    EXPECT_EQ(lastPrompt(), "Delete Vault key from Vael");
    EXPECT_EQ(agent({{"op", "secret_get"}, {"ref", hidden["ref"]}}), hidden);

    // A reference that names nothing is not found, and nobody is asked about it.
    const auto prompts = host.send("prompts")["prompts"].size();
    EXPECT_EQ(agent({{"op", "secret_delete"}, {"ref", "vael://local/None/token"}})["error"].get<std::string>().rfind(
                  "not found", 0),
              0u);
    EXPECT_EQ(host.send("prompts")["prompts"].size(), prompts);
}

TEST_F(AgentTier, ClearingTheUsernameOfTheFieldBeingChangedIsRefused) {
    agent({{"op", "secret_create"}, {"name", "Acct"}, {"username", "me"}, {"value", "pw"}});
    const std::string userRef = "vael://local/Acct/username";
    EXPECT_EQ(agent({{"op", "secret_update"}, {"ref", userRef}, {"value", "you"}, {"username", ""}})["error"],
              "invalid or missing argument \u2014 an empty username would remove the field this ref names");
    // Nothing was written: the username field and the password are both still there.
    EXPECT_EQ(agent({{"op", "resolve"}, {"ref", userRef}})["value"], "me");
    EXPECT_EQ(agent({{"op", "list"}}).size(), 2u);

    // Clearing the username from the password's reference still removes the username field, once
    // the owner agrees: the item is not injectable.
    ASSERT_TRUE(host.send("approve yes")["ok"]);
    const auto answer = agent({{"op", "secret_update"}, {"ref", "vael://local/Acct/token"}, {"username", ""}});
    EXPECT_EQ(answer["ref"], "vael://local/Acct/token");
    EXPECT_EQ(agent({{"op", "list"}}).size(), 1u);
}

TEST_F(AgentTier, RenamedDefaultsStayTheDefaults) {
    EXPECT_EQ(agent({{"op", "group_update"}, {"group", "local"}, {"name", "Work"}})["name"], "Work");
    EXPECT_EQ(agent({{"op", "project_update"}, {"project", "Personal"}, {"name", "Home"}})["name"], "Home");

    EXPECT_EQ(agent({{"op", "secret_create"}, {"name", "a"}, {"value", "1"}})["group"], "Work");
    EXPECT_EQ(agent({{"op", "secret_create"}, {"name", "b"}, {"value", "2"}, {"group", "Ops"}})["group"], "Ops");
    EXPECT_EQ(agent({{"op", "browser_save"}, {"url", kOrigin}, {"value", "3"}})["group"], "Work");
    ASSERT_TRUE(host.send(R"(capture {"name":"c","password":"4"})")["ok"]);
    EXPECT_EQ(agent({{"op", "capture"}, {"url", kOrigin}})["group"], "Work");

    std::vector<std::string> groups, projects;
    const auto groupList = agent({{"op", "group_list"}});
    const auto projectList = agent({{"op", "project_list"}});
    for (const auto& group : groupList["groups"]) {
        groups.push_back(group["name"].get<std::string>() + "/" + group["project"].get<std::string>());
    }
    for (const auto& project : projectList["projects"]) projects.push_back(project["name"]);
    EXPECT_EQ(groups, (std::vector<std::string>{"Ops/Home", "Work/Home"}));
    EXPECT_EQ(projects, std::vector<std::string>{"Home"});
}

TEST_F(AgentTier, NamesCanonicallyEqualToASiblingsAreRefused) {
    const std::string composed = "Caf\u00e9", decomposed = "Cafe\u0301";
    const auto cafe = agent({{"op", "secret_create"}, {"name", composed}, {"value", "v1"}, {"ai_access", "injectable"}});
    const auto refusal = "\u201C" + decomposed + "\u201D already exists in that folder \u2014 choose another name.";
    EXPECT_EQ(agent({{"op", "secret_create"}, {"name", decomposed}, {"value", "v2"}})["error"], refusal);
    EXPECT_EQ(agent({{"op", "secret_create"}, {"name", composed}, {"value", "v2"}})["error"],
              "\u201C" + composed + "\u201D already exists in that folder \u2014 choose another name.");
    const auto other = agent({{"op", "secret_create"}, {"name", "Other"}, {"value", "v3"}, {"ai_access", "injectable"}});
    EXPECT_EQ(agent({{"op", "secret_update"}, {"ref", other["ref"]}, {"name", decomposed}})["error"], refusal);
    // The same name in another group is no sibling.
    EXPECT_EQ(agent({{"op", "secret_update"}, {"ref", other["ref"]}, {"name", decomposed}, {"group", "Elsewhere"}})["group"],
              "Elsewhere");

    // Every reference the list hands out resolves to the item it was listed for.
    for (const auto& entry : agent({{"op", "list"}})) {
        const auto resolved = agent({{"op", "resolve"}, {"ref", entry["ref"]}});
        EXPECT_EQ(resolved["value"], entry["name"] == composed ? "v1" : "v3") << entry.dump();
    }

    agent({{"op", "group_create"}, {"name", "Ops"}});
    agent({{"op", "group_create"}, {"name", "Dev"}});
    EXPECT_EQ(agent({{"op", "group_update"}, {"group", "Dev"}, {"name", "Ops"}})["error"],
              "\u201COps\u201D already exists in that folder \u2014 choose another name.");
    agent({{"op", "project_create"}, {"name", "Side"}});
    EXPECT_EQ(agent({{"op", "project_update"}, {"project", "Side"}, {"name", "Personal"}})["error"],
              "\u201CPersonal\u201D already exists in that folder \u2014 choose another name.");
    // Renaming to its own name, in another normal form, is no clash.
    EXPECT_EQ(agent({{"op", "secret_update"}, {"ref", cafe["ref"]}, {"name", decomposed}})["name"], decomposed);
}

}  // namespace
}  // namespace vael::e2e

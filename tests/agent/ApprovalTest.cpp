// Which secret changes need the owner's yes, and that the yes or no concerns the item written.
#include <gtest/gtest.h>

#include "OpsFixtures.h"
#include "app/agent/VaultResolver.h"

namespace vael {
namespace {

using namespace testing;
using Op = VaultUDSRequest::Op;
using Kind = ItemField::Kind;
using MCase = VaultUDSManagementError::Case;

// Says no to everything and remembers why it was asked.
class RefusingGate : public BiometricGate {
public:
    bool authenticate(const std::string& reason) override {
        reasons.push_back(reason);
        return false;
    }
    std::vector<std::string> reasons;
};

// Sets the store order of an item: items are listed by their name blob, which nothing else reads.
void placeAt(OpsEnv& env, const Uuid& id, std::uint8_t position) {
    auto row = *env.store->item(id);
    row.nameBlob = Bytes{position};
    env.store->upsertItem(row);
}

// The real item source, but another writer reorders two same-named items whenever getSecret has
// answered: a check made with a lookup of its own would then be about one item and the write
// about the other.
class InterleavedWrites : public VaultItemSource {
public:
    InterleavedWrites(OpsEnv& env, Uuid first, Uuid second) : env_(env), first_(first), second_(second) {}

    std::optional<ResolvedItem> lookup(const VaultRef& ref) override { return env_.source->lookup(ref); }
    std::vector<VaultUDSListEntry> list(const std::optional<std::string>& c, const std::optional<std::string>& q) override {
        return env_.source->list(c, q);
    }
    VaultUDSSecretMetadata getSecret(const VaultUDSRequest& request) override {
        auto answer = env_.source->getSecret(request);
        placeAt(env_, first_, 2);
        placeAt(env_, second_, 1);
        return answer;
    }
    VaultUDSSecretMetadata updateSecret(const VaultUDSRequest& request, const ApproveChange& approve) override {
        return env_.source->updateSecret(request, approve);
    }

private:
    OpsEnv& env_;
    Uuid first_, second_;
};

TEST(OwnerApproval, ATierChangeIsCheckedAndWrittenOnTheOneItemFound) {
    OpsEnv env;
    const auto decoy = env.addItem(kDefaultGroup, payload("Twin", {field("token", Kind::token, "d")}), "injectable");
    const auto hidden = env.addItem(kDefaultGroup, payload("Twin", {field("token", Kind::token, "h")}), "ai_hidden");
    placeAt(env, decoy.id, 1);
    placeAt(env, hidden.id, 2);
    auto gate = std::make_shared<RefusingGate>();
    VaultResolver resolver(std::make_shared<InterleavedWrites>(env, decoy.id, hidden.id), gate, [] { return false; });

    auto req = request(Op::secretUpdate);
    req.ref = "vael://local/Twin/token";
    req.aiAccess = "injectable";
    EXPECT_EQ(resolver.updateSecret(req).id, decoy.id.text());
    EXPECT_EQ(env.store->item(hidden.id)->aiAccess, "ai_hidden");
    EXPECT_TRUE(gate->reasons.empty());

    // Now the hidden one is found first: the change needs the owner, and a no writes nothing.
    placeAt(env, hidden.id, 1);
    placeAt(env, decoy.id, 2);
    const auto before = env.footprint();
    EXPECT_THROW(resolver.updateSecret(req), VaultUDSManagementError);
    EXPECT_EQ(gate->reasons, std::vector<std::string>{"Change AI access of \"Twin\" to AI-Usable."});
    EXPECT_EQ(env.footprint(), before);
    EXPECT_EQ(env.store->item(hidden.id)->aiAccess, "ai_hidden");
}

// Each part of a change to a guarded item is named, about the item as it is now.
TEST(OwnerApproval, OnlyChangesThatReadMoreOrAlterAGuardedItemAskAndThePromptNamesEachPart) {
    struct Case {
        const char* name;
        std::string tier;
        std::function<void(VaultUDSRequest&)> change;
        std::string prompt;  // empty: not asked
    };
    const std::string longName(10'800, 'x');
    const std::vector<Case> cases = {
        {"same kind, same website", "human_gated", [](auto& r) { r.kind = "password"; r.url = "https://a.example"; }, ""},
        {"same value, same name", "human_gated", [](auto& r) { r.value = "pw"; r.name = "Login"; }, ""},
        {"its own group named", "ai_hidden", [](auto& r) { r.group = "local"; r.project = "Personal"; }, ""},
        {"its own project named by id", "human_gated", [](auto& r) { r.project = kDefaultProject.text(); }, ""},
        {"same tier named", "ai_hidden", [](auto& r) { r.aiAccess = "ai_hidden"; }, ""},
        {"website cleared", "ai_hidden", [](auto& r) { r.url = ""; }, "Remove the website of \"Login\"."},
        {"website blanked", "human_gated", [](auto& r) { r.url = "  "; }, "Remove the website of \"Login\"."},
        {"new value", "human_gated", [](auto& r) { r.value = "new"; },
         "Replace the value of \"password\" of \"Login\"."},
        {"emptied value", "ai_hidden", [](auto& r) { r.value = ""; }, "Replace the value of \"password\" of \"Login\"."},
        {"new name", "human_gated", [](auto& r) { r.name = "Weather demo key (public)"; },
         "Rename \"Login\" to \"Weather demo key (public)\"."},
        {"a page of a name", "human_gated", [&](auto& r) { r.name = longName; },
         "Rename \"Login\" to \"" + std::string(80, 'x') + "\u2026\"."},
        {"a name that breaks the line", "human_gated", [](auto& r) { r.name = "Demo\n\u202eyek"; },
         "Rename \"Login\" to \"Demo yek\"."},
        {"new label", "ai_hidden", [](auto& r) { r.fieldLabel = "key"; },
         "Rename the field \"password\" of \"Login\" to \"key\"."},
        {"username added", "human_gated", [](auto& r) { r.username = "me"; }, "Add a username to \"Login\"."},
        {"moved to another group", "ai_hidden", [](auto& r) { r.group = "Elsewhere"; },
         "Move \"Login\" to the group \"Elsewhere\"."},
        {"moved to another project", "human_gated", [](auto& r) { r.project = "Work"; },
         "Move \"Login\" to the group \"local\" of the project \"Work\"."},
        {"other website", "human_gated", [](auto& r) { r.url = "https://b.example"; },
         "Set the website of \"Login\" to \"https://b.example\"."},
        {"other kind", "ai_hidden", [](auto& r) { r.kind = "text"; },
         "Change the kind of the field \"password\" of \"Login\" to text."},
        {"hosts", "human_gated", [](auto& r) { r.allowedHosts = std::vector<std::string>{"x.example"}; },
         "Set the allowed hosts of \"Login\" to \"x.example\"."},
        {"commands", "ai_hidden", [](auto& r) { r.allowedCommands = std::vector<std::string>{"cat"}; },
         "Set the allowed commands of \"Login\" to \"cat\"."},
        {"narrower tier", "human_gated", [](auto& r) { r.aiAccess = "ai_hidden"; },
         "Change AI access of \"Login\" to Hidden."},
        {"rename, move and widen at once", "human_gated",
         [](auto& r) {
             r.name = "Weather demo key (public)";
             r.group = "demo";
             r.aiAccess = "injectable";
         },
         "Rename \"Login\" to \"Weather demo key (public)\". Move \"Login\" to the group \"demo\". "
         "Change AI access of \"Login\" to AI-Usable."},
        {"any change of an injectable item but its tier", "injectable",
         [](auto& r) {
             r.kind = "username";
             r.url = "https://b.example";
             r.allowedHosts = std::vector<std::string>{"x"};
             r.name = "Renamed";
             r.value = "new";
             r.username = "me";
             r.group = "Elsewhere";
         },
         ""},
    };
    for (const auto& c : cases) {
        OpsEnv env;
        const auto item = env.addItem(kDefaultGroup,
                                      payload("Login", {field("password", Kind::password, "pw")}, "https://a.example"), c.tier);
        std::vector<std::string> asked;
        auto req = request(Op::secretUpdate);
        req.ref = "vael://local/Login/password";
        c.change(req);
        const auto refuse = [&](const std::string& reason) {
            asked.push_back(reason);
            return false;
        };
        if (!c.prompt.empty()) {
            const auto before = env.footprint();
            EXPECT_EQ(managementError([&] { env.source->updateSecret(req, refuse); }), MCase::cancelled) << c.name;
            EXPECT_EQ(env.footprint(), before) << c.name;
            EXPECT_EQ(asked, std::vector<std::string>{c.prompt}) << c.name;
        } else {
            EXPECT_NO_THROW(env.source->updateSecret(req, refuse)) << c.name;
            EXPECT_TRUE(asked.empty()) << c.name;
        }
    }
}

TEST(OwnerApproval, ADeletionNamesTheItemAndANoKeepsIt) {
    OpsEnv env;
    const auto item = env.addItem(kDefaultGroup, payload("Bank", {field("pin", Kind::password, "1")}), "human_gated");
    std::vector<std::string> asked;
    auto req = request(Op::secretDelete);
    req.ref = "vael://local/Bank/pin";
    EXPECT_EQ(managementError([&] {
                  env.source->deleteSecret(req, [&](const std::string& reason) {
                      asked.push_back(reason);
                      return false;
                  });
              }),
              MCase::cancelled);
    EXPECT_FALSE(env.store->item(item.id)->deleted);
    EXPECT_EQ(asked, std::vector<std::string>{"Delete Bank from Vael"});
}

// The owner is asked with no lock held (another writer of the same item goes through meanwhile), and
// what is written is what the owner last saw: an item changed while they were asked is asked about
// again, and one that keeps changing is left alone.
TEST(OwnerApproval, AnItemChangedWhileTheOwnerWasAskedIsAskedAboutAgain) {
    OpsEnv env;
    env.addItem(kDefaultGroup, payload("Login", {field("password", Kind::password, "pw")}), "human_gated");
    const auto ref = VaultRef::parse("vael://local/Login/password");
    const auto writeMeanwhile = [&](const std::string& value) {
        auto other = request(Op::secretUpdate);
        other.ref = "vael://local/Login/password";
        other.value = value;
        env.source->updateSecret(other, approveAll);
    };
    auto req = request(Op::secretUpdate);
    req.ref = "vael://local/Login/password";
    req.value = "agent";

    std::vector<std::string> asked;
    EXPECT_NO_THROW(env.source->updateSecret(req, [&](const std::string& reason) {
        asked.push_back(reason);
        if (asked.size() == 1) writeMeanwhile("window");
        return true;
    }));
    EXPECT_EQ(asked, std::vector<std::string>(2, "Replace the value of \"password\" of \"Login\"."));
    EXPECT_EQ(env.source->lookup(ref)->value, "agent");

    asked.clear();
    req.value = "agent again";
    EXPECT_EQ(managementError([&] {
                  env.source->updateSecret(req, [&](const std::string& reason) {
                      asked.push_back(reason);
                      writeMeanwhile("window " + std::to_string(asked.size()));
                      return true;
                  });
              }),
              MCase::conflict);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(env.source->lookup(ref)->value, "window 2");
}

TEST(OwnerApproval, AYesDeletesOnlyTheItemAskedAboutAsItWas) {
    OpsEnv env;
    const auto item = env.addItem(kDefaultGroup, payload("Bank", {field("pin", Kind::password, "1")}), "human_gated");
    auto req = request(Op::secretDelete);
    req.ref = "vael://local/Bank/pin";
    // Renamed while the owner was asked: nothing is deleted.
    EXPECT_EQ(managementError([&] {
                  env.source->deleteSecret(req, [&](const std::string&) {
                      auto rename = request(Op::secretUpdate);
                      rename.ref = "vael://local/Bank/pin";
                      rename.name = "BankOld";
                      env.source->updateSecret(rename, approveAll);
                      return true;
                  });
              }),
              MCase::notFound);
    EXPECT_FALSE(env.store->item(item.id)->deleted);
    // A change that leaves its name and group is still the item asked about.
    req.ref = "vael://local/BankOld/pin";
    EXPECT_TRUE(env.source->deleteSecret(req, [&](const std::string&) {
        auto other = request(Op::secretUpdate);
        other.ref = "vael://local/BankOld/pin";
        other.value = "2";
        env.source->updateSecret(other, approveAll);
        return true;
    }).deleted);
    EXPECT_TRUE(env.store->item(item.id)->deleted);
}

}  // namespace
}  // namespace vael

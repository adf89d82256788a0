// Creating, reading, changing and deleting secrets, with and without a sync engine.
#include <sys/resource.h>

#include <csignal>

#include "OpsFixtures.h"
#include "app/agent/VaultUDSServer.h"

using namespace vael;
using namespace vael::testing;
using Kind = ItemField::Kind;
using Op = VaultUDSRequest::Op;
using MCase = VaultUDSManagementError::Case;

namespace {

VaultUDSRequest create(std::string name, std::string value) {
    auto r = request(Op::secretCreate);
    r.name = std::move(name);
    r.value = std::move(value);
    return r;
}

VaultUDSRequest byRef(Op op, std::string ref) {
    auto r = request(op);
    r.ref = std::move(ref);
    return r;
}

std::optional<ItemRecord> onlyItem(OpsEnv& env, const Uuid& group) {
    auto items = env.store->items(group);
    if (items.size() != 1) return std::nullopt;
    return items.front();
}

}  // namespace

TEST(ItemSourceSecrets, CreateWithOnlyNameAndValueUsesTheDefaults) {
    OpsEnv env;
    const auto answer = env.source->createSecret(create("  Deploy key ", "s3cret"));
    EXPECT_EQ(answer.ref, "vael://local/Deploy%20key/token");
    EXPECT_EQ(answer.name, "Deploy key");
    EXPECT_EQ(answer.fieldLabel, "token");
    EXPECT_EQ(answer.kind, "token");
    EXPECT_EQ(answer.aiAccess, UDSAIAccess::humanGated);
    EXPECT_EQ(answer.group, "local");
    EXPECT_FALSE(answer.url || answer.allowedHosts || answer.allowedCommands);

    const auto row = onlyItem(env, kDefaultGroup);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->id.text(), answer.id);
    EXPECT_EQ(row->type, "login");
    EXPECT_EQ(row->revision, 1);
    EXPECT_EQ(row->aiAccess, "human_gated");
    EXPECT_EQ(row->cryptoParams, R"({"envelope_version":1})");
    EXPECT_EQ(row->nameBlob, row->contentBlob);
    EXPECT_EQ(env.payloadOf(row->id), payload("Deploy key", {field("token", Kind::token, "s3cret")}));
    EXPECT_EQ(env.api->methods(), std::vector<std::string>{"createItem"});
}

TEST(ItemSourceSecrets, CreateMakesTheProjectAndGroupItNames) {
    OpsEnv env;
    auto r = create("DB", "pw");
    r.username = " admin ";
    r.group = "Ops";
    r.project = "Infra";
    r.kind = "password";
    r.fieldLabel = " ";
    r.url = " https://db.example.com ";
    r.allowedHosts = std::vector<std::string>{" ", ""};
    r.allowedCommands = std::vector<std::string>{" psql ", " "};
    const auto answer = env.source->createSecret(r);
    EXPECT_EQ(answer.group, "Ops");
    EXPECT_EQ(answer.fieldLabel, "token");
    EXPECT_EQ(answer.kind, "password");

    const auto projects = env.source->listProjects().projects;
    ASSERT_EQ(projects.size(), 2u);
    EXPECT_EQ(projects[0].name, "Infra");
    const auto groups = env.store->collections(*Uuid::parse(projects[0].id));
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].sort, 0);
    EXPECT_FALSE(groups[0].parentId);
    EXPECT_EQ(env.store->project(*Uuid::parse(projects[0].id))->sort, 1);

    auto expected = payload("DB", {field("username", Kind::username, "admin", false), field("token", Kind::password, "pw")},
                            "https://db.example.com");
    expected.allowedCommands = std::vector<std::string>{"psql"};
    EXPECT_EQ(env.payloadOf(*Uuid::parse(answer.id)), expected);
    // Groups and items reach the server through the engine; projects never do.
    EXPECT_EQ(env.api->methods(), (std::vector<std::string>{"createCollection", "createItem"}));

    // The same group and project again: found, not made twice.
    r.name = "DB replica";
    env.source->createSecret(r);
    EXPECT_EQ(env.store->collections(*Uuid::parse(projects[0].id)).size(), 1u);
    EXPECT_EQ(env.store->projects().size(), 2u);
}

TEST(ItemSourceSecrets, InvalidRequestsWriteNothing) {
    OpsEnv env;
    auto item = env.addItem(kDefaultGroup, payload("Existing", {field("token", Kind::token, "v")}));
    auto into = [](VaultUDSRequest r) {
        r.group = "Brand new";
        r.project = "Also new";
        return r;
    };
    auto withKind = [&](const char* kind) {
        auto r = into(create("n", "v"));
        r.kind = kind;
        return r;
    };
    auto withTier = [&](const char* tier) {
        auto r = into(create("n", "v"));
        r.aiAccess = tier;
        return r;
    };
    auto update = [&](auto&& change) {
        auto r = into(byRef(Op::secretUpdate, "vael://local/Existing/token"));
        change(r);
        return r;
    };
    const std::vector<std::pair<const char*, VaultUDSRequest>> creates = {
        {"no name", into(create("", "v"))},
        {"blank name", into(create(" \n\t", "v"))},
        {"blank value", into(create("n", "  "))},
        {"kind in another case", withKind("Token")},
        {"unknown kind", withKind("secret")},
        {"tier in another case", withTier("Injectable")},
        {"tier with spaces", withTier(" injectable")},
    };
    const auto before = env.footprint();
    for (const auto& [name, r] : creates) {
        EXPECT_EQ(managementError([&] { env.source->createSecret(r); }), MCase::invalid) << name;
    }
    EXPECT_EQ(managementError([&] { env.source->updateSecret(update([](auto& r) { r.aiAccess = "everyone"; }), approveAll); }),
              MCase::invalid);
    EXPECT_EQ(managementError([&] { env.source->updateSecret(update([](auto& r) { r.kind = "Password"; }), approveAll); }),
              MCase::invalid);
    EXPECT_EQ(managementError([&] { env.source->updateSecret(request(Op::secretUpdate), approveAll); }), MCase::invalid);
    EXPECT_EQ(env.footprint(), before);

    // A stored tier nobody knows can only be updated together with a valid new one.
    item.aiAccess = "legacy";
    env.store->upsertItem(item);
    auto keepTier = byRef(Op::secretUpdate, "vael://local/Existing/token");
    keepTier.value = "v2";
    EXPECT_EQ(managementError([&] { env.source->updateSecret(keepTier, approveAll); }), MCase::invalid);
    keepTier.aiAccess = "ai_hidden";
    EXPECT_EQ(env.source->updateSecret(keepTier, approveAll).aiAccess, UDSAIAccess::aiHidden);
}

// A write the file system refuses (here: past the process's file size limit) reaches the agent
// with its cause, and nothing of it stays behind.
TEST(ItemSourceSecrets, AWriteTheFileSystemRefusesAnswersItsCauseAndLeavesNothing) {
    for (const bool withEngine : {false, true}) {
        OpsEnv env(OpsOptions{.engine = withEngine});
        const auto before = env.store->items(kDefaultGroup).size();
        rlimit old{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = old;
        tiny.rlim_cur = 1;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        std::exception_ptr failure;
        try {
            env.source->createSecret(create("Deploy", "v"));
        } catch (...) {
            failure = std::current_exception();
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        ASSERT_TRUE(failure) << withEngine;
        EXPECT_EQ(VaultUDSServer::wireMessage(failure), "vault error: input/output error") << withEngine;
        EXPECT_EQ(env.store->items(kDefaultGroup).size(), before) << withEngine;
        EXPECT_TRUE(env.store->pendingOps().empty()) << withEngine;
    }
}

TEST(ItemSourceSecrets, UpdateChangesOnlyWhatItIsGivenAndKeepsTheStoredType) {
    OpsEnv env({.engine = false});
    auto row = env.addItem(kDefaultGroup, payload("Deploy", {field("token", Kind::sshPrivateKey, "old")}, "https://x.io"),
                           "injectable", "ssh_key");
    auto r = byRef(Op::secretUpdate, "vael://local/Deploy/token");
    r.value = "  new value  ";
    env.clock->advance(std::chrono::minutes(1));
    const auto answer = env.source->updateSecret(r, approveAll);
    EXPECT_EQ(answer.ref, "vael://local/Deploy/token");
    EXPECT_EQ(answer.kind, "ssh_private_key");
    EXPECT_EQ(answer.aiAccess, UDSAIAccess::injectable);

    const auto stored = env.store->item(row.id);
    EXPECT_EQ(stored->type, "ssh_key");
    EXPECT_EQ(stored->revision, 2);
    EXPECT_EQ(stored->aiAccess, "injectable");
    EXPECT_EQ(stored->updatedAt, env.clock->now());
    EXPECT_EQ(env.payloadOf(row.id),
              payload("Deploy", {field("token", Kind::sshPrivateKey, "  new value  ")}, "https://x.io"));

    // A user name is added in front; an empty one removes it again.
    auto named = byRef(Op::secretUpdate, "vael://local/Deploy/token");
    named.username = " deployer ";
    env.source->updateSecret(named, approveAll);
    EXPECT_EQ(env.payloadOf(row.id).fields.front(), field("username", Kind::username, "deployer", false));
    named.username = "";
    named.url = " ";
    named.allowedHosts = std::vector<std::string>{"api.x.io "};
    env.source->updateSecret(named, approveAll);
    auto expected = payload("Deploy", {field("token", Kind::sshPrivateKey, "  new value  ")});
    expected.allowedHosts = std::vector<std::string>{"api.x.io"};
    EXPECT_EQ(env.payloadOf(row.id), expected);
    EXPECT_EQ(env.store->item(row.id)->revision, 4);
}

TEST(ItemSourceSecrets, UpdateMovesBetweenGroupsOnlyWhenAsked) {
    OpsEnv env;
    auto parent = env.addGroup("Parent");
    auto nested = env.addGroup("Nested", parent.id);
    auto deep = env.addItem(nested.id, payload("Deep", {field("f", Kind::token, "v")}));
    auto r = byRef(Op::secretUpdate, "vael://Nested/Deep/f");
    r.name = "Deeper";
    EXPECT_EQ(env.source->updateSecret(r, approveAll).ref, "vael://Nested/Deeper/f");
    EXPECT_EQ(env.store->item(deep.id)->collectionId, nested.id);

    const auto readAt = env.store->item(deep.id)->revision;
    auto move = byRef(Op::secretUpdate, "vael://Nested/Deeper/f");
    move.group = "Elsewhere";
    const auto answer = env.source->updateSecret(move, approveAll);
    EXPECT_EQ(answer.ref, "vael://Elsewhere/Deeper/f");
    EXPECT_EQ(answer.id, deep.id.text());
    const auto moved = env.store->item(deep.id);
    EXPECT_NE(moved->collectionId, nested.id);
    EXPECT_TRUE(env.store->items(nested.id).empty());
    // Re-sealed under the new group's key with its own id.
    EXPECT_EQ(env.payloadOf(deep.id).name, "Deeper");
    EXPECT_EQ(env.source->getSecret(byRef(Op::secretGet, "vael://Elsewhere/Deeper/f")).group, "Elsewhere");
    // The engine carried the stored revision as the expected one.
    EXPECT_EQ(env.api->calls().back().method, "putItem");
    EXPECT_EQ(env.api->calls().back().expectedRevision, readAt);
}

TEST(ItemSourceSecrets, GetAndDeleteByReference) {
    OpsEnv env;
    auto item = env.addItem(kDefaultGroup, payload("Caf\u00e9 bar", {field("user", Kind::username, "u", false),
                                                                       field("pass", Kind::password, "p")}),
                            "unknown tier");
    // Whatever encoding the agent used, the answer carries the canonical reference.
    const auto got = env.source->getSecret(byRef(Op::secretGet, "vael://local/Caf%c3%a9%20bar/pass"));
    EXPECT_EQ(got.ref, "vael://local/Caf%C3%A9%20bar/pass");
    EXPECT_EQ(got.aiAccess, UDSAIAccess::aiHidden);
    EXPECT_EQ(got.kind, "password");

    EXPECT_EQ(managementError([&] { env.source->deleteSecret(byRef(Op::secretDelete, "vael://local/Caf%C3%A9%20bar/none"), approveAll); }),
              MCase::notFound);
    EXPECT_THROW(env.source->getSecret(byRef(Op::secretGet, "https://local/a/b")), VaultRef::ParseError);
    EXPECT_EQ(env.source->deleteSecret(byRef(Op::secretDelete, "vael://local/Caf%C3%A9%20bar/user"), approveAll),
              VaultUDSDeleteResult{true});
    const auto row = env.store->item(item.id);
    EXPECT_TRUE(row->deleted);
    EXPECT_EQ(row->revision, 1);
    EXPECT_EQ(env.api->methods(), std::vector<std::string>{"deleteItem"});
}

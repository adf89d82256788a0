#include <utility>

#include "SyncFixtures.h"
#include "api/APIError.h"
#include "app/sync/SyncCoordinator.h"

using namespace vael;
using namespace vael::test;
using Server = fake::FakeVaelServer;
using Names = std::vector<std::string>;

namespace {

const Uuid kDefaultOrg = Uuid::fromText("00000000-0000-0000-0000-00000000A000");
const Uuid kDefaultGroup = Uuid::fromText("00000000-0000-0000-0000-00000000C001");

struct CoordinatorEnv : SyncEnv {
    std::shared_ptr<SyncCoordinator> coordinator = std::make_shared<SyncCoordinator>(client, engine, store);

    // The project and group as the vault holds them locally: two live items, a tombstone, and an
    // item elsewhere.
    void seedVault() {
        auto project = sampleProject(0);
        project.id = kDefaultOrg;
        project.nameBlob = bytesOf("Personal, sealed");
        project.nameWrappedKey = bytesOf("project name key");
        store->upsertProject(project);
        auto group = sampleCollection(0);
        group.id = kDefaultGroup;
        group.orgId = kDefaultOrg;
        group.nameBlob = bytesOf("group name");
        group.nameWrappedKey = bytesOf("group name key");
        store->upsertCollection(group);
        store->upsertItem(sampleItem(1, kDefaultGroup));
        store->upsertItem(sampleItem(2, kDefaultGroup));
        auto gone = sampleItem(3, kDefaultGroup);
        gone.deleted = true;
        store->upsertItem(gone);
        store->upsertItem(sampleItem(4, id(901)));
    }
    void bootstrap() {
        coordinator->bootstrap(kDefaultOrg, kDefaultGroup, bytesOf("Personal, sealed"), bytesOf("group name"),
                               bytesOf("group key"));
    }
};

const Names kFullBootstrap = {"createOrg", "createCollection", "createItem", "createItem"};

// The project ids of the createOrg requests, in order.
std::vector<std::string> createdOrgs(const Server& server) {
    std::vector<std::string> ids;
    for (const auto& call : server.calls())
        if (call.operation == "createOrg") ids.push_back(nlohmann::json::parse(call.body)["id"]);
    return ids;
}

APIError apiErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const APIError& error) {
        return error;
    }
    ADD_FAILURE() << "threw nothing";
    return APIError::badResponse("no exception");
}

}  // namespace

TEST(SyncCoordinator, BootstrapCreatesTheProjectAndGroupThenTheGroupsLiveItems) {
    CoordinatorEnv env;
    env.seedVault();
    env.bootstrap();

    EXPECT_EQ(operations(env.server), kFullBootstrap);
    ASSERT_TRUE(env.server.org(kDefaultOrg));
    EXPECT_EQ(env.server.org(kDefaultOrg)->nameBlob, b64("Personal, sealed"));
    EXPECT_EQ(env.server.org(kDefaultOrg)->nameWrappedKey, b64("project name key"));
    const auto group = env.server.collection(kDefaultGroup);
    ASSERT_TRUE(group);
    EXPECT_EQ(group->orgId, kDefaultOrg);
    EXPECT_EQ(group->parentId, std::nullopt);
    EXPECT_EQ(group->nameBlob, b64("group name"));
    EXPECT_EQ(group->nameWrappedKey, b64("group name key")) << "members and other devices open the name with it";
    EXPECT_EQ(group->wrappedKey, b64("group key"));
    EXPECT_TRUE(env.server.item(id(1)));
    EXPECT_TRUE(env.server.item(id(2)));
    EXPECT_FALSE(env.server.item(id(3))) << "a tombstone is not pushed";
    EXPECT_FALSE(env.server.item(id(4))) << "another group's item is not pushed";
    EXPECT_EQ(env.server.item(id(1))->contentBlob, b64("content"));
    EXPECT_EQ(env.engine->pendingCount(), 0);
}

TEST(SyncCoordinator, WhatTheServerAlreadyHasIsNoFailure) {
    CoordinatorEnv env;
    env.seedVault();
    // An earlier run got as far as the project and the group.
    env.server.addOrg({kDefaultOrg, b64("earlier")});
    Server::Collection group;
    group.id = kDefaultGroup;
    group.orgId = kDefaultOrg;
    env.server.addCollection(group);

    env.bootstrap();
    EXPECT_EQ(operations(env.server), kFullBootstrap);
    EXPECT_TRUE(env.server.item(id(1)));
    EXPECT_TRUE(env.server.item(id(2)));

    // And once more: every creation now meets an existing object.
    env.server.clearCalls();
    env.bootstrap();
    EXPECT_EQ(operations(env.server), kFullBootstrap);
    EXPECT_EQ(env.engine->pendingCount(), 0);
}

TEST(SyncCoordinator, BootstrapOfAnEmptyGroupMakesTheTwoCreationsOnly) {
    CoordinatorEnv env;
    env.bootstrap();
    EXPECT_EQ(operations(env.server), (Names{"createOrg", "createCollection"}));
}

TEST(SyncCoordinator, AFailedCreationStopsTheBootstrapWithTheClientsError) {
    for (const std::string failing : {"createOrg", "createCollection"}) {
        SCOPED_TRACE(failing);
        CoordinatorEnv env;
        env.seedVault();
        env.server.answerNext(failing, 503, R"({"error":"maintenance"})");
        EXPECT_EQ(apiErrorOf([&] { env.bootstrap(); }), APIError::rejected(503, "maintenance"));
        Names expected{"createOrg"};
        if (failing == "createCollection") expected.push_back("createCollection");
        EXPECT_EQ(operations(env.server), expected);
        EXPECT_EQ(env.engine->pendingCount(), 0);
    }
}

TEST(SyncCoordinator, AnItemTheServerDoesNotTakeIsQueuedAndTheOthersGoOn) {
    CoordinatorEnv env;
    env.seedVault();
    env.server.answerNext("createItem", 503, R"({"error":"busy"})");
    env.bootstrap();
    EXPECT_FALSE(env.server.item(id(1)));
    EXPECT_TRUE(env.server.item(id(2)));
    const auto queued = env.store->pendingOps();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].kind, PendingOpRecord::Kind::create);
    EXPECT_EQ(queued[0].itemId, id(1));
}

// Items are handed over one by one and the lock is let go around each: an item deleted or edited in
// between must be pushed as it is now, not as it was when the group was read.
TEST(SyncCoordinator, BootstrapPushesItemsAsTheyAreWhenTheirTurnComes) {
    CoordinatorEnv env;
    env.seedVault();
    auto third = sampleItem(5, kDefaultGroup);
    third.nameBlob = bytesOf("name-3z");  // after item 2 in the group's order
    env.store->upsertItem(third);
    bool acted = false;
    env.relay->onCall([&](const std::string& operation) {
        if (operation != "createItem" || std::exchange(acted, true)) return;
        env.engine->deleteItem(id(2));
        auto edited = *env.store->item(id(5));
        edited.contentBlob = bytesOf("edited meanwhile");
        env.store->upsertItem(edited);
    });

    env.bootstrap();

    EXPECT_TRUE(env.server.item(id(1)));
    EXPECT_FALSE(env.server.item(id(2))) << "a deleted item came back";
    EXPECT_TRUE(env.store->item(id(2))->deleted);
    EXPECT_EQ(env.server.item(id(5))->contentBlob, b64("edited meanwhile"));
    EXPECT_EQ(env.store->item(id(5))->contentBlob, bytesOf("edited meanwhile"));
    EXPECT_EQ(env.engine->pendingCount(), 0);
}

TEST(SyncCoordinator, PushMissingOrgsSendsEveryLiveProjectButTheExcludedOne) {
    auto seedProjects = [](VaelStore& store, int count) {
        for (int n = 0; n < count; ++n) {
            auto project = sampleProject(n);
            project.id = n == 0 ? kDefaultOrg : id(700 + n);
            project.sort = n;
            store.upsertProject(project);
        }
        auto gone = sampleProject(9);
        gone.deleted = true;
        store.upsertProject(gone);
    };
    {
        CoordinatorEnv env;
        seedProjects(*env.store, 1);
        env.coordinator->pushMissingOrgs(kDefaultOrg);
        EXPECT_TRUE(env.server.calls().empty());
    }
    {
        CoordinatorEnv env;
        seedProjects(*env.store, 3);
        env.coordinator->pushMissingOrgs(kDefaultOrg);
        EXPECT_EQ(createdOrgs(env.server), (Names{id(701).text(), id(702).text()}));
        EXPECT_EQ(env.server.org(id(701))->nameBlob, b64("project-1"));
        EXPECT_EQ(env.server.org(id(701))->nameWrappedKey, b64("name-key"));
        const auto sent = lastBody(env.server, "createOrg");
        EXPECT_EQ(sent.size(), 3u) << sent.dump() << ": only the id, the sealed name and its key";
    }
    {
        // No exclusion: the default project too, which the server already has.
        CoordinatorEnv env;
        seedProjects(*env.store, 3);
        env.server.addOrg({kDefaultOrg, b64("earlier")});
        env.coordinator->pushMissingOrgs(std::nullopt);
        EXPECT_EQ(createdOrgs(env.server), (Names{kDefaultOrg.text(), id(701).text(), id(702).text()}));
        EXPECT_TRUE(env.server.org(id(702)));
    }
    {
        // The second of three fails: the third is not sent.
        CoordinatorEnv env;
        seedProjects(*env.store, 3);
        env.server.answerNext("createOrg", 409, R"({"error":"exists","revision":1})");
        env.server.answerNext("createOrg", 500, R"({"error":"boom"})");
        EXPECT_EQ(apiErrorOf([&] { env.coordinator->pushMissingOrgs(std::nullopt); }),
                  APIError::rejected(500, "boom"));
        EXPECT_EQ(createdOrgs(env.server), (Names{kDefaultOrg.text(), id(701).text()}));
    }
}

#include "EngineFixtures.h"

#include <map>
#include <set>
#include <thread>

using namespace vael;
using namespace vael::test;
using Call = ScriptedSyncAPI::Call;

namespace {

SyncCollectionDelta groupDelta(int n, bool deleted = false, const std::string& name = "group") {
    return SyncCollectionDelta{.id = id(n), .orgId = id(800), .parentId = id(n + 1), .nameBlob = bytesOf(name),
                               .sort = -n, .wrappedKey = bytesOf("key"), .updatedAt = sampleTime(), .deleted = deleted};
}

SyncItemDelta itemDelta(int n, std::int64_t revision, bool deleted = false) {
    return SyncItemDelta{.id = id(n), .collectionId = id(901), .revision = revision,
                         .updatedAt = sampleTime(std::chrono::seconds(n)), .deleted = deleted};
}

}  // namespace

TEST(SyncPull, AppliesGroupsThenItemsAndMovesTheSyncTime) {
    EngineEnv env;
    // Local rows: 1 behind the server, 2 equal with content, 3 equal without content, 4 to be deleted.
    env.store->upsertItem(sampleBody(1, 3).toRecord(false));
    env.store->upsertItem(sampleBody(2, 3).toRecord(false));
    env.store->upsertItem(sampleBody(3, 3, "").toRecord(false));
    env.store->upsertItem(sampleBody(4, 3).toRecord(false));
    for (int n : {1, 3, 5}) env.api->serverItems[id(n)] = sampleBody(n, 4, "server");
    const auto now = sampleTime(std::chrono::hours(2));
    env.api->syncAnswer = SyncResponse{
        .now = now,
        .items = {itemDelta(1, 4), itemDelta(2, 3), itemDelta(3, 3), itemDelta(4, 9, true), itemDelta(5, 4),
                  itemDelta(6, 2, true)},
        .collections = {groupDelta(10), groupDelta(20, true)},
    };
    // Groups are in place before any item is fetched.
    env.api->onCall([&](const Call& call) {
        if (call.method == "fetchItem") {
            EXPECT_TRUE(env.store->collection(id(20)));
        }
    });

    env.engine->pull();

    EXPECT_EQ(env.api->methods(), (std::vector<std::string>{"sync", "fetchItem", "fetchItem", "fetchItem"}));
    EXPECT_EQ(env.api->calls()[0].since, std::nullopt);
    std::vector<Uuid> fetched;
    for (const auto& c : env.api->calls())
        if (c.id) fetched.push_back(*c.id);
    EXPECT_EQ(fetched, (std::vector<Uuid>{id(1), id(3), id(5)}));

    EXPECT_EQ(env.store->item(id(1)), sampleBody(1, 4, "server").toRecord(false));
    EXPECT_EQ(env.store->item(id(2)), sampleBody(2, 3).toRecord(false));
    EXPECT_EQ(env.store->item(id(3)), sampleBody(3, 4, "server").toRecord(false));
    auto tombstone = sampleBody(4, 9).toRecord(true);
    tombstone.updatedAt = itemDelta(4, 9).updatedAt;
    EXPECT_EQ(env.store->item(id(4)), tombstone);
    EXPECT_EQ(env.store->item(id(5)), sampleBody(5, 4, "server").toRecord(false));
    EXPECT_FALSE(env.store->item(id(6)));  // the tombstone of an unknown item is not kept

    const auto group = env.store->collection(id(10));
    ASSERT_TRUE(group);
    EXPECT_EQ(group->parentId, id(11));
    EXPECT_EQ(group->sort, -10);
    EXPECT_FALSE(group->nameWrappedKey);
    ASSERT_TRUE(env.store->collection(id(20)));  // the tombstone of an unknown group is kept
    EXPECT_TRUE(env.store->collection(id(20))->deleted);
    EXPECT_EQ(env.store->lastSyncAt(), now);

    env.api->clearCalls();
    env.api->syncAnswer = SyncResponse{.now = now + std::chrono::minutes(1), .items = {}, .collections = {}};
    env.engine->pull();
    EXPECT_EQ(env.api->calls(), (std::vector<Call>{{.method = "sync", .since = now}}));
}

TEST(SyncPull, KeepsTheGroupNameKeyWhileTheSealedNameIsTheSame) {
    EngineEnv env;
    for (int n : {10, 20}) {
        auto group = sampleCollection(n);
        group.nameBlob = bytesOf("group");
        group.nameWrappedKey = bytesOf("name-key");
        env.store->upsertCollection(group);
    }
    env.api->syncAnswer = SyncResponse{
        .now = sampleTime(), .items = {}, .collections = {groupDelta(10, false, "group"), groupDelta(20, false, "renamed")}};
    env.engine->pull();
    EXPECT_EQ(env.store->collection(id(10))->nameWrappedKey, bytesOf("name-key"));
    EXPECT_EQ(env.store->collection(id(10))->sort, -10);  // the rest comes from the server
    EXPECT_FALSE(env.store->collection(id(20))->nameWrappedKey);
}

TEST(SyncPull, FetchesUnderWayAtOnceAreAppliedInTheServersOrder) {
    EngineEnv env;
    env.api->fetchesAtOnce = 8;
    env.store->setLastSyncAt(sampleTime());
    std::vector<SyncItemDelta> deltas;
    for (int n = 1; n <= 40; ++n) {
        env.api->serverItems[id(n)] = sampleBody(n, 4);
        deltas.push_back(itemDelta(n, 4));
    }
    deltas.insert(deltas.begin() + 3, itemDelta(2, 5, true));  // a tombstone between the fetches
    env.api->syncAnswer = SyncResponse{.now = sampleTime(std::chrono::hours(1)), .items = deltas, .collections = {}};
    // Item 7 cannot be read this time; at item 20 the server is gone.
    env.api->onCall([&](const Call& call) {
        if (call.id == id(7)) throw SyncAPIError::transport("bad gateway");
        if (call.id == id(20)) throw SyncAPIError::offline();
    });
    EXPECT_THROW(env.engine->pull(), SyncAPIError);
    for (int n = 1; n <= 40; ++n) EXPECT_EQ(env.store->item(id(n)).has_value(), n < 20 && n != 7) << n;
    EXPECT_TRUE(env.store->item(id(2))->deleted);
    EXPECT_EQ(env.store->lastSyncAt(), sampleTime());
    // Everything before the failure was asked for once; at most a few past it.
    std::map<Uuid, int> asked;
    for (const auto& call : env.api->calls())
        if (call.method == "fetchItem") ++asked[*call.id];
    for (int n = 1; n <= 20; ++n) EXPECT_EQ(asked[id(n)], 1) << n;
    EXPECT_LE(asked.size(), 20u + 8u);

    // The next pull asks for exactly what is still missing.
    env.api->onCall({});
    env.api->clearCalls();
    env.engine->pull();
    std::set<Uuid> fetched;
    for (const auto& call : env.api->calls())
        if (call.method == "fetchItem") {
            EXPECT_TRUE(fetched.insert(*call.id).second);
        }
    std::set<Uuid> missing{id(7)};
    for (int n = 20; n <= 40; ++n) missing.insert(id(n));
    EXPECT_EQ(fetched, missing);
    for (int n = 1; n <= 40; ++n) EXPECT_TRUE(env.store->item(id(n))) << n;
    EXPECT_TRUE(env.store->item(id(2))->deleted);
    EXPECT_EQ(env.store->lastSyncAt(), sampleTime(std::chrono::hours(1)));
}

// One fetch at a time, so each body arrives only after the one before it was taken: still a
// transaction per batch, not per item; and what arrived is written while a later fetch hangs.
TEST(SyncPull, BodiesAreWrittenABatchAtATimeAndNotHeldBackByAHangingFetch) {
    constexpr int kItems = 300;
    constexpr int kHanging = 150;
    EngineEnv env;
    std::vector<SyncItemDelta> deltas;
    for (int n = 1; n <= kItems; ++n) {
        env.api->serverItems[id(n)] = sampleBody(n, 4);
        deltas.push_back(itemDelta(n, 4));
    }
    env.api->syncAnswer = SyncResponse{.now = sampleTime(std::chrono::hours(1)), .items = deltas, .collections = {}};
    bool writtenWhileHanging = false;
    env.api->onCall([&](const Call& call) {
        if (call.id != id(kHanging)) return;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(writtenWhileHanging = env.store->item(id(kHanging - 1)).has_value()) &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    const auto writesBefore = env.store->contentWriteCount();

    env.engine->pull();

    EXPECT_TRUE(writtenWhileHanging);
    EXPECT_LT(env.store->contentWriteCount() - writesBefore, kItems / 10u);
    for (int n = 1; n <= kItems; ++n) EXPECT_EQ(env.store->item(id(n)), sampleBody(n, 4).toRecord(false)) << n;
}

TEST(SyncPull, FailureStopsAtOnceAndKeepsTheOldSyncTime) {
    EngineEnv env;
    env.store->setLastSyncAt(sampleTime());
    env.api->serverItems[id(1)] = sampleBody(1, 4);
    env.api->serverItems[id(2)] = sampleBody(2, 4);
    env.api->syncAnswer = SyncResponse{.now = sampleTime(std::chrono::hours(1)),
                                       .items = {itemDelta(1, 4), itemDelta(2, 4), itemDelta(3, 4)},
                                       .collections = {groupDelta(10)}};
    env.api->script("fetchItem", {ScriptedSyncAPI::Outcome::ok(), ScriptedSyncAPI::Outcome::offline()});

    EXPECT_EQ([&]() -> std::optional<SyncAPIError> {
        try {
            env.engine->pull();
        } catch (const SyncAPIError& e) {
            return e;
        }
        return std::nullopt;
    }(), SyncAPIError::offline());
    EXPECT_TRUE(env.store->collection(id(10)));
    EXPECT_TRUE(env.store->item(id(1)));
    EXPECT_FALSE(env.store->item(id(2)));
    EXPECT_EQ(env.api->methods(), (std::vector<std::string>{"sync", "fetchItem", "fetchItem"}));
    EXPECT_EQ(env.store->lastSyncAt(), sampleTime());

    env.api->script("sync", {ScriptedSyncAPI::Outcome::transport()});
    EXPECT_THROW(env.engine->pull(), SyncAPIError);
}

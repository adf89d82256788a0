#include <SQLiteCpp/SQLiteCpp.h>

#include "EngineFixtures.h"

using namespace vael;
using namespace vael::test;
using Kind = PendingOpRecord::Kind;
using Call = ScriptedSyncAPI::Call;

namespace {

// Runs the operation and answers the SyncAPIError it threw, if any; other errors fail the test.
std::optional<SyncAPIError> run(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const SyncAPIError& error) {
        return error;
    }
    return std::nullopt;
}

void expectOneQueued(const EngineEnv& env, Kind kind, const Uuid& itemId, std::int64_t baseRevision,
                     const Bytes& payload, const char* what) {
    const auto ops = env.queue();
    ASSERT_EQ(ops.size(), 1u) << what;
    EXPECT_EQ(ops[0].kind, kind) << what;
    EXPECT_EQ(ops[0].itemId, itemId) << what;
    EXPECT_EQ(ops[0].baseRevision, baseRevision) << what;
    EXPECT_EQ(ops[0].payloadBlob, payload) << what;
    EXPECT_EQ(ops[0].createdAt, env.clock->now()) << what;
}

bool queuesOn(Net net) { return net == Net::offline || net == Net::transport || net == Net::foreign; }

}  // namespace

TEST(SyncWrite, WriteAnExistingItem) {
    for (Net net : kAllNets) {
        SCOPED_TRACE(nameOf(net));
        EngineEnv env;
        env.store->upsertItem(sampleBody(1, 5, "old").toRecord(false));
        const auto theirs = sampleBody(1, 7, "theirs");
        env.api->serverItems[id(1)] = theirs;
        env.api->script("putItem", {outcomeOf(net)});
        const auto body = sampleBody(1, 5, "edited");

        const auto error = run([&] { env.engine->write(body); });

        std::vector<Call> expected{{.method = "putItem", .id = id(1), .body = body, .expectedRevision = 5}};
        if (net == Net::conflict) expected.push_back({.method = "fetchItem", .id = id(1)});
        EXPECT_EQ(env.api->calls(), expected);
        if (net == Net::ok) {
            EXPECT_FALSE(error);
            EXPECT_EQ(env.store->item(id(1)), [&] { auto r = body.toRecord(false); r.revision = 100; return r; }());
            EXPECT_TRUE(env.queue().empty());
        } else if (net == Net::conflict) {
            EXPECT_EQ(error, SyncAPIError::conflict(7));
            EXPECT_EQ(env.store->item(id(1)), theirs.toRecord(false));
            EXPECT_TRUE(env.queue().empty());
        } else {
            EXPECT_FALSE(error);
            EXPECT_EQ(env.store->item(id(1)), body.toRecord(false));
            expectOneQueued(env, Kind::put, id(1), 5, bytesOf(toJsonText(body)), nameOf(net));
        }
    }
}

TEST(SyncWrite, ConflictWhoseFetchFailsRestoresTheRowAsItWas) {
    EngineEnv env;
    const auto before = sampleBody(1, 5, "before").toRecord(false);
    env.store->upsertItem(before);
    env.api->script("putItem", {ScriptedSyncAPI::Outcome::conflict(7)});
    env.api->script("fetchItem", {ScriptedSyncAPI::Outcome::offline()});
    EXPECT_EQ(run([&] { env.engine->write(sampleBody(1)); }), SyncAPIError::conflict(7));
    EXPECT_EQ(env.store->item(id(1)), before);
    EXPECT_TRUE(env.queue().empty());
}

TEST(SyncWrite, CreateANewItem) {
    for (Net net : kAllNets) {
        SCOPED_TRACE(nameOf(net));
        EngineEnv env;
        env.api->script("createItem", {outcomeOf(net)});
        const auto body = sampleBody(1, 0);
        // The item is local before the server hears of it.
        env.api->onCall([&](const Call&) { EXPECT_EQ(env.store->item(id(1)), body.toRecord(false)); });

        EXPECT_FALSE(run([&] { env.engine->create(body); }));

        EXPECT_EQ(env.api->calls(), (std::vector<Call>{{.method = "createItem", .body = body}}));
        EXPECT_EQ(env.store->item(id(1)), body.toRecord(false));
        if (queuesOn(net)) expectOneQueued(env, Kind::create, id(1), 0, bytesOf(toJsonText(body)), nameOf(net));
        else EXPECT_TRUE(env.queue().empty());
    }
}

TEST(SyncWrite, DeleteAnItem) {
    for (bool known : {true, false}) {
        for (Net net : kAllNets) {
            SCOPED_TRACE(std::string(nameOf(net)) + (known ? " known" : " unknown"));
            EngineEnv env;
            const auto before = sampleBody(1, 5).toRecord(false);
            if (known) env.store->upsertItem(before);
            env.api->script("deleteItem", {outcomeOf(net)});

            EXPECT_FALSE(run([&] { env.engine->deleteItem(id(1)); }));

            EXPECT_EQ(env.api->calls(), (std::vector<Call>{{.method = "deleteItem", .id = id(1)}}));
            if (known) {
                auto tombstone = before;
                tombstone.deleted = true;
                tombstone.updatedAt = env.clock->now();
                EXPECT_EQ(env.store->item(id(1)), tombstone);
            } else {
                EXPECT_FALSE(env.store->item(id(1)));
            }
            if (net == Net::ok) EXPECT_TRUE(env.queue().empty());
            else expectOneQueued(env, Kind::delete_, id(1), known ? 5 : 0, {}, nameOf(net));
        }
    }
}

TEST(SyncWrite, CreatePatchAndDeleteAGroup) {
    for (Net net : kAllNets) {
        SCOPED_TRACE(nameOf(net));
        auto group = sampleCollection(2);
        group.nameWrappedKey = bytesOf("name-key");
        const auto payload = bytesOf(toJsonText(group));

        EngineEnv created;
        created.api->script("createCollection", {outcomeOf(net)});
        EXPECT_FALSE(run([&] { created.engine->createCollection(group); }));
        EXPECT_EQ(created.api->calls(), (std::vector<Call>{{.method = "createCollection", .record = group}}));
        EXPECT_EQ(created.store->collection(group.id), group);
        if (queuesOn(net)) expectOneQueued(created, Kind::createCollection, group.id, 0, payload, "create");
        else EXPECT_TRUE(created.queue().empty());

        EngineEnv patched;
        patched.api->script("patchCollection", {outcomeOf(net)});
        EXPECT_FALSE(run([&] { patched.engine->patchCollection(group); }));
        EXPECT_EQ(patched.api->calls(), (std::vector<Call>{{.method = "patchCollection", .record = group}}));
        EXPECT_EQ(patched.store->collection(group.id), group);
        if (net == Net::ok) EXPECT_TRUE(patched.queue().empty());
        else expectOneQueued(patched, Kind::putCollection, group.id, 0, payload, "patch");

        EngineEnv deleted;
        deleted.store->upsertCollection(group);
        deleted.store->upsertItem(sampleItem(3, group.id));
        deleted.api->script("deleteCollection", {outcomeOf(net)});
        EXPECT_FALSE(run([&] { deleted.engine->deleteCollection(group.id); }));
        EXPECT_EQ(deleted.api->calls(), (std::vector<Call>{{.method = "deleteCollection", .id = group.id}}));
        auto tombstone = group;
        tombstone.deleted = true;
        tombstone.updatedAt = deleted.clock->now();
        EXPECT_EQ(deleted.store->collection(group.id), tombstone);
        EXPECT_EQ(deleted.store->item(id(3)), sampleItem(3, group.id));  // its items stay as they were
        if (net == Net::ok) EXPECT_TRUE(deleted.queue().empty());
        else expectOneQueued(deleted, Kind::deleteCollection, group.id, 0, {}, "delete");
    }
}

TEST(SyncWrite, LocalFailureBeforeTheServerCallIsThrownAndNothingIsSent) {
    EngineEnv env;
    SQLite::Database other(env.dir.file("replica.sqlite").string(), SQLite::OPEN_READWRITE);
    other.exec("ALTER TABLE items RENAME TO items_away");
    other.exec("ALTER TABLE collections RENAME TO collections_away");
    EXPECT_THROW(env.engine->create(sampleBody(1)), SQLite::Exception);
    EXPECT_THROW(env.engine->deleteItem(id(1)), SQLite::Exception);
    EXPECT_THROW(env.engine->createCollection(sampleCollection(2)), SQLite::Exception);
    EXPECT_THROW(env.engine->patchCollection(sampleCollection(2)), SQLite::Exception);
    EXPECT_THROW(env.engine->deleteCollection(id(2)), SQLite::Exception);
    EXPECT_TRUE(env.api->calls().empty());
}

// The row and its queued operation are one transaction: a creation that cannot be queued is neither
// stored nor sent.
TEST(SyncWrite, QueueingFailureIsThrownAndNothingIsStoredOrSent) {
    EngineEnv env;
    SQLite::Database other(env.dir.file("replica.sqlite").string(), SQLite::OPEN_READWRITE);
    other.exec("ALTER TABLE pending_ops RENAME TO pending_away");
    EXPECT_THROW(env.engine->create(sampleBody(1)), SQLite::Exception);
    EXPECT_FALSE(env.store->item(id(1)));
    EXPECT_TRUE(env.api->calls().empty());
}

TEST(SyncWrite, OperationsQueuedInOneMillisecondKeepTheirOrder) {
    EngineEnv env;
    env.api->script("createItem", {ScriptedSyncAPI::Outcome::offline()});
    env.api->script("putItem", {ScriptedSyncAPI::Outcome::offline(), ScriptedSyncAPI::Outcome::offline()});
    env.api->script("deleteItem", {ScriptedSyncAPI::Outcome::offline()});
    // The clock does not move (or a fresh engine starts behind a queue written with a later clock).
    env.engine->create(sampleBody(1, 0));
    env.engine->write(sampleBody(1, 0, "edit"));
    auto later = std::make_unique<SyncEngine>(env.store, env.api, std::make_shared<ManualClock>(sampleTime()), env.pause);
    later->write(sampleBody(1, 0, "second edit"));
    later->deleteItem(id(1));

    std::vector<Kind> kinds;
    for (const auto& op : env.queue()) kinds.push_back(op.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::create, Kind::put, Kind::put, Kind::delete_}));
    EXPECT_EQ(itemBodyFromJson(textView(env.queue()[2].payloadBlob)), sampleBody(1, 0, "second edit"));
}

TEST(SyncWrite, PendingCount) {
    EngineEnv env;
    EXPECT_EQ(env.engine->pendingCount(), 0);
    env.api->script("deleteItem", {ScriptedSyncAPI::Outcome::offline(), ScriptedSyncAPI::Outcome::offline()});
    env.engine->deleteItem(id(1));
    env.engine->deleteItem(id(2));
    EXPECT_EQ(env.engine->pendingCount(), 2);
}

TEST(SyncWrite, AnEditNeverBringsBackAnItemDeletedHere) {
    for (Net net : kAllNets) {
        SCOPED_TRACE(nameOf(net));
        EngineEnv env;
        env.store->upsertItem(sampleBody(1, 5).toRecord(false));
        // Deleted while the edit's put waits on the server.
        env.api->onCall([&](const Call& call) {
            if (call.method == "putItem") env.engine->deleteItem(id(1));
        });
        env.api->script("putItem", {outcomeOf(net)});
        // The edit went first: it stands before the deletion (answered or queued) or is refused.
        const auto error = run([&] { env.engine->write(sampleBody(1, 5, "edited")); });
        if (net == Net::conflict) EXPECT_EQ(error, SyncAPIError::conflict(7));
        else EXPECT_FALSE(error);
        EXPECT_TRUE(env.store->item(id(1))->deleted);
        ASSERT_FALSE(env.queue().empty());
        EXPECT_EQ(env.queue().back().kind, Kind::delete_);

        // An edit that read the item before its deletion is refused without a call.
        env.api->onCall({});
        env.api->clearCalls();
        EXPECT_EQ(run([&] { env.engine->write(sampleBody(1, 5, "late")); })->kind(), SyncAPIError::Kind::notFound);
        EXPECT_TRUE(env.api->calls().empty());
        EXPECT_TRUE(env.store->item(id(1))->deleted);
    }
}

// A vault without a server account: no call at all, one queued operation per item, and the first
// replay after connecting leaves the server as an engine that queued everything would.
TEST(SyncWrite, WithoutAServerAccountNothingIsSentAndTheQueueHoldsOneOperationPerItem) {
    const auto changes = [](SyncEngine& engine) {
        engine.create(sampleBody(1, 1, "a1"));
        engine.write(sampleBody(1, 1, "a2"));
        engine.write(sampleBody(1, 1, "a3"));
        engine.create(sampleBody(2, 1, "b1"));
        engine.write(sampleBody(2, 1, "b2"));
        engine.deleteItem(id(2));
        engine.createCollection(sampleCollection(5));
        engine.create(sampleBody(3, 1, "c1"));
        engine.write(sampleBody(3, 1, "c2"));
    };

    EngineEnv unconnected;
    unconnected.engine->setServerAccount(false);
    changes(*unconnected.engine);
    EXPECT_TRUE(unconnected.api->calls().empty());
    EXPECT_FALSE(unconnected.engine->replayPending().complete);
    unconnected.engine->pull();
    EXPECT_TRUE(unconnected.api->calls().empty());

    std::vector<std::pair<Kind, Uuid>> queued;
    for (const auto& op : unconnected.queue()) queued.emplace_back(op.kind, op.itemId);
    EXPECT_EQ(queued, (std::vector<std::pair<Kind, Uuid>>{
                          {Kind::create, id(1)}, {Kind::createCollection, id(5)}, {Kind::create, id(3)}}));
    EXPECT_EQ(unconnected.store->item(id(1))->contentBlob, bytesOf("a3"));
    EXPECT_TRUE(unconnected.store->item(id(2))->deleted);

    // The same changes on an engine that had an account but no network, then both replay.
    EngineEnv offline;
    bool down = true;
    offline.api->onCall([&](const Call&) {
        if (down) throw SyncAPIError::offline();
    });
    changes(*offline.engine);
    down = false;

    unconnected.engine->setServerAccount(true);
    EXPECT_TRUE(unconnected.engine->replayPending().complete);
    EXPECT_TRUE(offline.engine->replayPending().complete);
    EXPECT_TRUE(unconnected.queue().empty());
    const auto contents = [](const EngineEnv& env) {
        std::map<Uuid, Bytes> items;
        for (const auto& [itemId, body] : env.api->serverItems) items[itemId] = body.contentBlob;
        return items;
    };
    EXPECT_EQ(contents(unconnected), contents(offline));
    EXPECT_EQ(contents(unconnected).size(), 2u);
}

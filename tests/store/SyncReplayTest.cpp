#include <SQLiteCpp/SQLiteCpp.h>

#include <condition_variable>
#include <nlohmann/json.hpp>
#include <thread>

#include "EngineFixtures.h"

using namespace vael;
using namespace vael::test;
using Kind = PendingOpRecord::Kind;
using Call = ScriptedSyncAPI::Call;
using Outcome = ScriptedSyncAPI::Outcome;

namespace {

// Queues operations directly, one millisecond apart, in the order given.
class QueueBuilder {
public:
    explicit QueueBuilder(EngineEnv& env) : env_(env) {}

    Uuid put(const ItemBody& body, std::optional<std::int64_t> base = std::nullopt) {
        return add(Kind::put, body.id, bytesOf(toJsonText(body)), base.value_or(body.revision));
    }
    Uuid create(const ItemBody& body) { return add(Kind::create, body.id, bytesOf(toJsonText(body)), body.revision); }
    Uuid remove(int n) { return add(Kind::delete_, id(n), {}, 3); }
    Uuid group(Kind kind, const CollectionRecord& record) { return add(kind, record.id, bytesOf(toJsonText(record)), 0); }
    Uuid removeGroup(int n) { return add(Kind::deleteCollection, id(n), {}, 0); }
    Uuid raw(Kind kind, int n, const std::string& payload) { return add(kind, id(n), bytesOf(payload), 0); }

private:
    Uuid add(Kind kind, const Uuid& itemId, Bytes payload, std::int64_t base) {
        const auto opId = Uuid::random();
        env_.store->enqueue(PendingOpRecord{.opId = opId, .kind = kind, .itemId = itemId, .payloadBlob = std::move(payload),
                                            .baseRevision = base, .createdAt = sampleTime(std::chrono::milliseconds(++tick_))});
        return opId;
    }
    EngineEnv& env_;
    int tick_ = 0;
};

std::vector<Uuid> opIds(const EngineEnv& env) {
    std::vector<Uuid> ids;
    for (const auto& op : env.queue()) ids.push_back(op.opId);
    return ids;
}

}  // namespace

TEST(SyncReplay, EmptyQueueContactsNobody) {
    EngineEnv env;
    EXPECT_EQ(env.engine->replayPending(), (ReplayOutcome{.conflicts = {}, .complete = true}));
    EXPECT_TRUE(env.api->calls().empty());
}

TEST(SyncReplay, AcceptedOperationsLeaveTheQueue) {
    EngineEnv env;
    QueueBuilder q(env);
    auto local = sampleBody(1, 9, "local row");
    local.type = "note";
    env.store->upsertItem(local.toRecord(false));  // replaced, revision and all
    const auto body = sampleBody(1, 2, "queued");
    auto group = sampleCollection(5);
    group.nameWrappedKey = bytesOf("k");
    q.put(body);
    q.create(sampleBody(2, 0));
    q.remove(3);
    q.group(Kind::createCollection, sampleCollection(4));
    q.group(Kind::putCollection, group);
    q.removeGroup(6);

    EXPECT_EQ(env.engine->replayPending(), (ReplayOutcome{.conflicts = {}, .complete = true}));

    EXPECT_EQ(env.api->calls(), (std::vector<Call>{
        {.method = "putItem", .id = id(1), .body = body, .expectedRevision = 2},
        {.method = "createItem", .body = sampleBody(2, 0)},
        {.method = "deleteItem", .id = id(3)},
        {.method = "createCollection", .record = sampleCollection(4)},
        {.method = "patchCollection", .record = group},
        {.method = "deleteCollection", .id = id(6)},
    }));
    EXPECT_TRUE(env.queue().empty());
    auto expected = body.toRecord(false);
    expected.revision = 100;
    EXPECT_EQ(env.store->item(id(1)), expected);
    EXPECT_EQ(env.store->collection(id(5)), group);
    EXPECT_FALSE(env.store->item(id(2)));  // a replayed create writes nothing
}

TEST(SyncReplay, ReplayedWritesKeepLocalTombstones) {
    EngineEnv env;
    QueueBuilder q(env);
    auto tombstone = sampleBody(1, 2, "deleted here").toRecord(true);
    env.store->upsertItem(tombstone);
    auto groupTombstone = sampleCollection(5);
    groupTombstone.deleted = true;
    env.store->upsertCollection(groupTombstone);
    q.put(sampleBody(1, 2, "edited before the delete"));
    auto renamed = sampleCollection(5);
    renamed.nameBlob = bytesOf("renamed");
    q.group(Kind::putCollection, renamed);

    EXPECT_TRUE(env.engine->replayPending().complete);

    tombstone.revision = 100;  // it learns the server's revision, and stays deleted
    EXPECT_EQ(env.store->item(id(1)), tombstone);
    EXPECT_EQ(env.store->collection(id(5)), groupTombstone);
    EXPECT_TRUE(env.queue().empty());
}

TEST(SyncReplay, PutConflictIsReportedAndTheReplayGoesOn) {
    EngineEnv env;
    QueueBuilder q(env);
    const auto mine = sampleBody(1, 2, "mine");
    const auto theirs = sampleBody(1, 8, "theirs");
    env.api->serverItems[id(1)] = theirs;
    env.store->upsertItem(mine.toRecord(false));
    const auto conflicted = q.put(mine);
    q.remove(3);
    env.api->script("putItem", {Outcome::conflict(8)});

    const auto outcome = env.engine->replayPending();

    EXPECT_EQ(outcome, (ReplayOutcome{.conflicts = {{.itemId = id(1), .mine = mine, .theirs = theirs}}, .complete = true}));
    EXPECT_EQ(env.api->methods(), (std::vector<std::string>{"putItem", "fetchItem", "deleteItem"}));
    EXPECT_EQ(opIds(env), std::vector<Uuid>{conflicted});
    EXPECT_EQ(env.store->item(id(1)), mine.toRecord(false));  // nothing written locally
}

TEST(SyncReplay, PutConflictWhoseFetchFailsStopsTheReplay) {
    EngineEnv env;
    QueueBuilder q(env);
    env.api->serverItems[id(1)] = sampleBody(1, 8, "theirs");
    q.put(sampleBody(1, 2));
    q.put(sampleBody(2, 2));
    q.remove(3);
    const auto before = opIds(env);
    env.api->script("putItem", {Outcome::conflict(8), Outcome::conflict(8)});
    env.api->script("fetchItem", {Outcome::ok(), Outcome::offline()});

    const auto outcome = env.engine->replayPending();

    ASSERT_EQ(outcome.conflicts.size(), 1u);
    EXPECT_EQ(outcome.conflicts[0].itemId, id(1));
    EXPECT_FALSE(outcome.complete);
    EXPECT_EQ(env.api->methods(), (std::vector<std::string>{"putItem", "fetchItem", "putItem", "fetchItem"}));
    EXPECT_EQ(opIds(env), before);
}

TEST(SyncReplay, ConflictOnACreationSettlesIt) {
    EngineEnv env;
    QueueBuilder q(env);
    q.create(sampleBody(1, 0));
    q.group(Kind::createCollection, sampleCollection(2));
    q.remove(3);
    env.api->script("createItem", {Outcome::conflict(1)});
    env.api->script("createCollection", {Outcome::conflict(1)});

    EXPECT_EQ(env.engine->replayPending(), (ReplayOutcome{.conflicts = {}, .complete = true}));
    EXPECT_EQ(env.api->methods(), (std::vector<std::string>{"createItem", "createCollection", "deleteItem"}));
    EXPECT_TRUE(env.queue().empty());
    EXPECT_FALSE(env.store->item(id(1)));
    EXPECT_FALSE(env.store->collection(id(2)));
}

TEST(SyncReplay, ConflictOnADeletionOrGroupUpdateStopsTheReplay) {
    struct Case {
        const char* what;
        std::function<void(QueueBuilder&)> queueFirst;
        std::string method;
    };
    const std::vector<Case> cases{
        {"delete", [](QueueBuilder& q) { q.remove(1); }, "deleteItem"},
        {"putCollection", [](QueueBuilder& q) { q.group(Kind::putCollection, sampleCollection(1)); }, "patchCollection"},
        {"deleteCollection", [](QueueBuilder& q) { q.removeGroup(1); }, "deleteCollection"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineEnv env;
        QueueBuilder q(env);
        c.queueFirst(q);
        q.remove(9);
        const auto before = opIds(env);
        env.api->script(c.method, {Outcome::conflict(4), Outcome::conflict(4)});

        for (int run = 0; run < 2; ++run) {
            EXPECT_EQ(env.engine->replayPending(), (ReplayOutcome{.conflicts = {}, .complete = false}));
            EXPECT_EQ(opIds(env), before);
        }
        EXPECT_EQ(env.api->methods(), (std::vector<std::string>{c.method, c.method}));  // no retry, nothing behind it
    }
}

TEST(SyncReplay, OneRetryAfterAPauseForEveryOtherFailure) {
    struct Case {
        const char* what;
        std::vector<Outcome> outcomes;
        int calls;
        bool settled;
        bool complete;
        std::size_t conflicts;
    };
    const std::vector<Case> cases{
        {"offline then ok", {Outcome::offline(), Outcome::ok()}, 2, true, true, 0},
        {"foreign error then ok", {Outcome::foreign(), Outcome::ok()}, 2, true, true, 0},
        {"transport twice", {Outcome::transport(), Outcome::transport()}, 2, false, false, 0},
        {"transport then conflict", {Outcome::transport(), Outcome::conflict(8)}, 2, false, true, 1},
        {"conflict at once", {Outcome::conflict(8)}, 1, false, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineEnv env;
        QueueBuilder q(env);
        env.api->serverItems[id(1)] = sampleBody(1, 8, "theirs");
        const auto body = sampleBody(1, 2);
        q.put(body);
        q.remove(3);
        env.api->script("putItem", c.outcomes);
        std::vector<std::string> events;
        env.api->onCall([&](const Call& call) { events.push_back(call.method); });
        env.pause->during = [&] { events.push_back("pause"); };

        const auto outcome = env.engine->replayPending();

        EXPECT_EQ(outcome.complete, c.complete);
        EXPECT_EQ(outcome.conflicts.size(), c.conflicts);
        std::vector<Call> puts;
        for (const auto& call : env.api->calls())
            if (call.method == "putItem") puts.push_back(call);
        ASSERT_EQ(puts.size(), static_cast<std::size_t>(c.calls));
        for (const auto& put : puts) EXPECT_EQ(put, (Call{.method = "putItem", .id = id(1), .body = body, .expectedRevision = 2}));
        if (c.calls == 2) {
            EXPECT_EQ(env.pause->pauses, std::vector<std::chrono::nanoseconds>{std::chrono::milliseconds(300)});
            EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 3),
                      (std::vector<std::string>{"putItem", "pause", "putItem"}));
        } else {
            EXPECT_TRUE(env.pause->pauses.empty());
        }
        EXPECT_EQ(env.queue().size(), c.settled ? 0u : (c.complete ? 1u : 2u));
    }
}

TEST(SyncReplay, AFailedPauseIsOverAtOnce) {
    EngineEnv env;
    QueueBuilder q(env);
    q.remove(1);
    env.api->script("deleteItem", {Outcome::offline(), Outcome::ok()});
    env.pause->during = [] { throw std::runtime_error("cancelled"); };
    EXPECT_TRUE(env.engine->replayPending().complete);
    EXPECT_EQ(env.api->methods(), (std::vector<std::string>{"deleteItem", "deleteItem"}));
    EXPECT_TRUE(env.queue().empty());
}

TEST(SyncReplay, UndecodablePayloadsAreDroppedWithoutAServerCall) {
    EngineEnv env;
    QueueBuilder q(env);
    auto noRevision = nlohmann::json::parse(toJsonText(sampleBody(1)));
    noRevision.erase("revision");
    q.raw(Kind::put, 1, noRevision.dump());
    q.raw(Kind::create, 2, "not json");
    q.raw(Kind::createCollection, 3, "{}");
    q.raw(Kind::putCollection, 4, R"({"id":"nope"})");
    q.remove(5);

    EXPECT_TRUE(env.engine->replayPending().complete);
    EXPECT_EQ(env.api->methods(), std::vector<std::string>{"deleteItem"});
    EXPECT_TRUE(env.queue().empty());
}

TEST(SyncReplay, TwoEditsOfOneItemWhileOfflineGoOutInTurn) {
    EngineEnv env;
    QueueBuilder q(env);
    const auto first = sampleBody(1, 2, "first");
    const auto second = sampleBody(1, 2, "second");
    env.api->serverItems[id(1)] = sampleBody(1, 2);
    env.store->upsertItem(second.toRecord(false));
    q.put(first);
    q.put(second);
    env.api->script("putItem", {Outcome::ok(), Outcome::ok()});

    EXPECT_EQ(env.engine->replayPending(), (ReplayOutcome{.conflicts = {}, .complete = true}));

    // The second edit was made on top of the first, so it builds on the revision the first got.
    const auto calls = env.api->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].expectedRevision, 2);
    EXPECT_EQ(calls[1].expectedRevision, 100);
    auto expected = second.toRecord(false);
    expected.revision = 101;  // the scripted server's answer to the second put
    EXPECT_EQ(env.store->item(id(1)), expected);
    EXPECT_TRUE(env.queue().empty());
}

TEST(SyncReplay, UnreadableQueueThrowsBeforeSendingAnything) {
    EngineEnv env;
    QueueBuilder q(env);
    q.remove(1);
    SQLite::Database other(env.dir.file("replica.sqlite").string(), SQLite::OPEN_READWRITE);
    other.exec("UPDATE pending_ops SET kind = 'Delete'");
    EXPECT_THROW(env.engine->replayPending(), SQLite::Exception);
    EXPECT_TRUE(env.api->calls().empty());
}

TEST(SyncReplay, SettledCreationThatCannotLeaveTheQueueThrows) {
    EngineEnv env;
    QueueBuilder q(env);
    q.create(sampleBody(1, 0));
    env.api->script("createItem", {Outcome::conflict(1)});
    SQLite::Database other(env.dir.file("replica.sqlite").string(), SQLite::OPEN_READWRITE);
    env.api->onCall([&](const Call&) { other.exec("ALTER TABLE pending_ops RENAME TO pending_away"); });
    EXPECT_THROW(env.engine->replayPending(), SQLite::Exception);
}

TEST(SyncReplay, WorksOnTheQueueAsItWasAtTheStart) {
    EngineEnv env;
    QueueBuilder q(env);
    const auto first = q.remove(1);
    q.remove(2);
    env.api->script("deleteItem", {Outcome::offline()});
    env.api->script("putItem", {Outcome::offline()});
    // While the replay pauses, a write queues a put and someone settles the second delete: it is not
    // sent again (a settled put sent again could bring back an older version).
    env.pause->during = [&] {
        env.engine->write(sampleBody(7, 1));
        env.store->deletePendingOp(env.queue()[1].opId);
    };

    EXPECT_TRUE(env.engine->replayPending().complete);
    EXPECT_EQ(env.api->methods(), (std::vector<std::string>{"deleteItem", "putItem", "deleteItem"}));
    ASSERT_EQ(env.queue().size(), 1u);
    EXPECT_EQ(env.queue()[0].kind, Kind::put);
    EXPECT_NE(env.queue()[0].opId, first);

    env.api->clearCalls();
    env.pause->during = nullptr;
    EXPECT_TRUE(env.engine->replayPending().complete);
    EXPECT_EQ(env.api->methods(), std::vector<std::string>{"putItem"});
    EXPECT_TRUE(env.queue().empty());
}

// A server call that waits until the test lets it go.
class Gate {
public:
    void wait() {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
    }
    void awaitEntered() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return entered_; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false, open_ = false;
};

TEST(SyncReplay, OtherCallsRunWhileTheReplayWaitsForTheServer) {
    EngineEnv env;
    QueueBuilder q(env);
    q.remove(1);
    Gate gate;
    env.api->onCall([&](const Call& call) {
        if (call.method == "deleteItem") gate.wait();
    });
    env.api->script("createItem", {Outcome::offline()});
    ReplayOutcome outcome;
    std::thread replay([&] { outcome = env.engine->replayPending(); });
    gate.awaitEntered();

    // Would deadlock if the replay held the engine across its server call.
    env.engine->create(sampleBody(5, 0));
    EXPECT_EQ(env.engine->pendingCount(), 2);

    gate.open();
    replay.join();
    EXPECT_TRUE(outcome.complete);
    ASSERT_EQ(env.queue().size(), 1u);
    EXPECT_EQ(env.queue()[0].kind, Kind::create);  // queued after the snapshot: not sent by that replay
}

TEST(SyncReplay, ASecondReplayWaitsAndReadsTheQueueAfresh) {
    EngineEnv env;
    QueueBuilder q(env);
    q.remove(1);
    Gate gate;
    std::atomic<int> inFlight{0}, overlaps{0};
    env.api->onCall([&](const Call& call) {
        if (++inFlight > 1) ++overlaps;
        if (call.id == id(1)) gate.wait();
        --inFlight;
    });
    std::thread first([&] { env.engine->replayPending(); });
    gate.awaitEntered();
    q.remove(2);  // queued after the first replay's snapshot
    std::atomic<bool> secondStarted{false};
    ReplayOutcome second;
    std::thread other([&] {
        secondStarted = true;
        second = env.engine->replayPending();
    });
    while (!secondStarted) std::this_thread::yield();
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();  // give it every chance to jump the queue
    gate.open();
    first.join();
    other.join();

    EXPECT_EQ(overlaps, 0);
    EXPECT_TRUE(second.complete);
    std::vector<Uuid> deleted;
    for (const auto& c : env.api->calls()) deleted.push_back(*c.id);
    EXPECT_EQ(deleted, (std::vector<Uuid>{id(1), id(2)}));  // each sent once, in order
    EXPECT_TRUE(env.queue().empty());
}

// A creation or deletion is queued with its row before its first call: a process that ends during the
// call leaves it in the queue, and a replay meanwhile leaves it to that call, so it goes out once.
TEST(SyncReplay, AChangeWhoseFirstCallIsUnderWayIsQueuedButNotSentAgain) {
    struct Case {
        const char* method;
        Kind kind;
        std::function<void(EngineEnv&)> change;
    };
    const Case cases[] = {
        {"createItem", Kind::create, [](EngineEnv& env) { env.engine->create(sampleBody(1)); }},
        {"deleteItem", Kind::delete_, [](EngineEnv& env) { env.engine->deleteItem(id(1)); }},
        {"createCollection", Kind::createCollection,
         [](EngineEnv& env) { env.engine->createCollection(sampleCollection(2)); }},
        {"patchCollection", Kind::putCollection, [](EngineEnv& env) { env.engine->patchCollection(sampleCollection(2)); }},
        {"deleteCollection", Kind::deleteCollection, [](EngineEnv& env) { env.engine->deleteCollection(id(2)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        EngineEnv env;
        env.store->upsertItem(sampleBody(1).toRecord(false));
        env.store->upsertCollection(sampleCollection(2));
        std::vector<PendingOpRecord> leftByAKill;
        std::optional<ReplayOutcome> replayed;
        env.api->onCall([&](const Call& call) {
            if (call.method != c.method || replayed) return;
            // What another process (one after a kill) finds in the file now.
            leftByAKill = VaelStore(env.dir.file("replica.sqlite").string()).pendingOps();
            replayed = env.engine->replayPending();
        });
        c.change(env);

        ASSERT_EQ(leftByAKill.size(), 1u);
        EXPECT_EQ(leftByAKill[0].kind, c.kind);
        ASSERT_TRUE(replayed);
        EXPECT_FALSE(replayed->complete);
        const auto methods = env.api->methods();
        EXPECT_EQ(std::count(methods.begin(), methods.end(), c.method), 1);
        // Taken by the server: nothing is left to send.
        EXPECT_TRUE(env.queue().empty());
    }
}

// A deletion sent again after its first call reached the server meets nothing there: that settles it.
TEST(SyncReplay, ADeletionTheServerNoLongerHasLeavesTheQueue) {
    EngineEnv env;
    QueueBuilder queue(env);
    queue.remove(1);
    queue.removeGroup(2);
    env.api->script("deleteItem", {{[] { throw SyncAPIError::notFound(); }}});
    env.api->script("deleteCollection", {{[] { throw SyncAPIError::notFound(); }}});
    EXPECT_TRUE(env.engine->replayPending().complete);
    EXPECT_TRUE(env.queue().empty());
}

#include "EngineFixtures.h"

using namespace vael;
using namespace vael::test;
using Kind = PendingOpRecord::Kind;
using Call = ScriptedSyncAPI::Call;
using Outcome = ScriptedSyncAPI::Outcome;

namespace {

struct ConflictSetup {
    EngineEnv env;
    ItemBody mine = sampleBody(1, 2, "mine");
    ItemBody theirs = sampleBody(1, 8, "theirs");
    SyncConflict conflict{.itemId = id(1), .mine = mine, .theirs = theirs};

    void queue(Kind kind, const Bytes& payload, int millis) {
        env.store->enqueue(PendingOpRecord{.opId = Uuid::random(), .kind = kind, .itemId = id(1), .payloadBlob = payload,
                                           .baseRevision = 2, .createdAt = sampleTime(std::chrono::milliseconds(millis))});
    }
    std::vector<std::pair<Kind, Bytes>> left() const {
        std::vector<std::pair<Kind, Bytes>> ops;
        for (const auto& op : env.queue()) ops.emplace_back(op.kind, op.payloadBlob);
        return ops;
    }
};

}  // namespace

TEST(SyncResolve, KeepTheirsStoresTheServerVersionWithoutCallingIt) {
    ConflictSetup s;
    s.env.store->upsertItem(s.mine.toRecord(false));
    s.queue(Kind::put, bytesOf(toJsonText(s.mine)), 1);

    s.env.engine->resolveConflict(s.conflict, ConflictChoice::keepTheirs);

    EXPECT_TRUE(s.env.api->calls().empty());
    EXPECT_EQ(s.env.store->item(id(1)), s.theirs.toRecord(false));
    EXPECT_TRUE(s.env.queue().empty());
}

TEST(SyncResolve, KeepMinePushesOverTheServersRevision) {
    ConflictSetup s;
    s.queue(Kind::put, bytesOf(toJsonText(s.mine)), 1);

    s.env.engine->resolveConflict(s.conflict, ConflictChoice::keepMine);

    auto pushed = s.mine;
    pushed.revision = 8;
    EXPECT_EQ(s.env.api->calls(), (std::vector<Call>{{.method = "putItem", .id = id(1), .body = pushed, .expectedRevision = 8}}));
    auto stored = s.mine.toRecord(false);
    stored.revision = 100;
    EXPECT_EQ(s.env.store->item(id(1)), stored);
    EXPECT_TRUE(s.env.queue().empty());
}

TEST(SyncResolve, RemovesOnlyThePutThatCarriedTheLocalVersion) {
    ConflictSetup s;
    const auto laterEdit = bytesOf(toJsonText(sampleBody(1, 2, "later edit")));
    const auto mineAgain = bytesOf(toJsonText(s.mine));
    s.queue(Kind::delete_, {}, 1);          // an unsent delete queued first
    s.queue(Kind::put, laterEdit, 2);       // a put of another version
    s.queue(Kind::put, mineAgain, 3);       // the one that conflicted
    s.queue(Kind::put, mineAgain, 4);       // the same version queued twice

    s.env.engine->resolveConflict(s.conflict, ConflictChoice::keepTheirs);

    EXPECT_EQ(s.left(), (std::vector<std::pair<Kind, Bytes>>{{Kind::delete_, {}}, {Kind::put, laterEdit}, {Kind::put, mineAgain}}));
}

TEST(SyncResolve, WithNothingQueuedTheChoiceStillApplies) {
    for (auto choice : {ConflictChoice::keepMine, ConflictChoice::keepTheirs}) {
        ConflictSetup s;
        s.queue(Kind::delete_, {}, 1);
        s.env.engine->resolveConflict(s.conflict, choice);
        ASSERT_TRUE(s.env.store->item(id(1)));
        EXPECT_EQ(s.env.store->item(id(1))->contentBlob, choice == ConflictChoice::keepMine ? s.mine.contentBlob : s.theirs.contentBlob);
        EXPECT_EQ(s.left().size(), 1u);
    }
}

TEST(SyncResolve, FailedPushChangesNothing) {
    for (Net net : {Net::conflict, Net::offline, Net::transport, Net::foreign}) {
        SCOPED_TRACE(nameOf(net));
        ConflictSetup s;
        s.env.store->upsertItem(s.mine.toRecord(false));
        s.queue(Kind::put, bytesOf(toJsonText(s.mine)), 1);
        const auto queueBefore = s.env.queue();
        s.env.api->script("putItem", {outcomeOf(net, 9)});

        EXPECT_ANY_THROW(s.env.engine->resolveConflict(s.conflict, ConflictChoice::keepMine));

        EXPECT_EQ(s.env.store->item(id(1)), s.mine.toRecord(false));
        EXPECT_EQ(s.env.queue(), queueBefore);
    }
}

TEST(SyncResolve, AReplayedConflictResolvedAsTheRunDoesIt) {
    // The synchronisation run: replay, then keep every local version.
    ConflictSetup s;
    s.env.api->serverItems[id(1)] = s.theirs;
    s.env.api->script("putItem", {Outcome::offline()});
    s.env.engine->write(s.mine);
    s.env.api->script("putItem", {Outcome::conflict(8)});

    const auto outcome = s.env.engine->replayPending();
    ASSERT_EQ(outcome.conflicts.size(), 1u);
    for (const auto& conflict : outcome.conflicts) s.env.engine->resolveConflict(conflict, ConflictChoice::keepMine);

    EXPECT_TRUE(s.env.queue().empty());
    EXPECT_EQ(s.env.store->item(id(1))->contentBlob, s.mine.contentBlob);
    EXPECT_EQ(s.env.api->serverItems[id(1)].contentBlob, s.mine.contentBlob);
}

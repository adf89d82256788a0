#include <gtest/gtest.h>

#include <QSignalSpy>

#include <thread>

#include "api/APIError.h"
#include "ModelFixtures.h"

namespace vael {
namespace {

using namespace std::chrono_literals;
using testing::ModelHarness;

// A server that answers from a script; sync() can be held to keep a run in flight.
class ScriptedSyncAPI final : public VaelSyncAPI {
public:
    SyncResponse sync(std::optional<TimePoint>) override {
        std::unique_lock lock(mutex_);
        ++syncCalls;
        ++inSync;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held; });
        --inSync;
        if (failPull) throw SyncAPIError::transport("pull refused");
        return SyncResponse{std::chrono::system_clock::now(), {}, {}};
    }
    // With conflictingPuts, the server holds another version of every item: puts meet a conflict.
    ItemBody fetchItem(const Uuid& id) override {
        if (!conflictingPuts) throw SyncAPIError::offline();
        ItemBody theirs;
        theirs.id = id;
        theirs.collectionId = AppModel::localCollectionID();
        theirs.contentBlob = bytesOf("theirs");
        theirs.revision = 9;
        return theirs;
    }
    PushResult putItem(const Uuid&, const ItemBody&, std::int64_t) override {
        if (conflictingPuts) throw SyncAPIError::conflict(9);
        if (acceptPuts) return PushResult{10};
        throw SyncAPIError::offline();
    }
    void createItem(const ItemBody&) override {
        std::unique_lock lock(mutex_);
        ++inCreate;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !createsHeld; });
        --inCreate;
        if (offlineWrites) throw SyncAPIError::offline();
    }
    void deleteItem(const Uuid&) override {}
    void createCollection(const CollectionRecord&) override {}
    void patchCollection(const CollectionRecord&) override {}
    void deleteCollection(const Uuid&) override {}

    void hold() {
        std::lock_guard lock(mutex_);
        held = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        held = false;
        changed_.notify_all();
    }
    void holdCreates(bool held) {
        std::lock_guard lock(mutex_);
        createsHeld = held;
        changed_.notify_all();
    }
    bool waitingInCreate() {
        std::lock_guard lock(mutex_);
        return inCreate > 0;
    }
    int calls() {
        std::lock_guard lock(mutex_);
        return syncCalls;
    }
    bool waitingInSync() {
        std::lock_guard lock(mutex_);
        return inSync > 0;
    }

    std::atomic<bool> failPull{false};
    std::atomic<bool> offlineWrites{false};
    std::atomic<bool> conflictingPuts{false};
    std::atomic<bool> acceptPuts{false};

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held = false;
    bool createsHeld = false;
    int inCreate = 0;
    int syncCalls = 0;
    int inSync = 0;
};

class ScriptedBootstrapAPI final : public BootstrapAPI {
public:
    OrgDTO createOrg(const std::optional<Uuid>& id, const Bytes&, const std::optional<Bytes>&) override {
        ++orgs;
        return OrgDTO{id.value_or(Uuid::random()), "", {}};
    }
    CollectionDTO createCollection(const Uuid& orgId, const std::optional<Uuid>& id, const std::optional<Uuid>&,
                                   const Bytes&, const std::optional<Bytes>&, const Bytes&) override {
        ++collections;
        return CollectionDTO{id.value_or(Uuid::random()), orgId, std::nullopt, "", "", 0, {}};
    }
    std::atomic<int> orgs{0};
    std::atomic<int> collections{0};
};

struct SyncHarness {
    std::shared_ptr<ScriptedSyncAPI> api = std::make_shared<ScriptedSyncAPI>();
    std::shared_ptr<ScriptedBootstrapAPI> bootstrap = std::make_shared<ScriptedBootstrapAPI>();
    ModelHarness h{services()};

    AppModelServices services() {
        AppModelServices s;
        s.syncAPI = api;
        s.bootstrapAPI = bootstrap;
        return s;
    }
    // A session that reached the server: it syncs at once and keeps a heartbeat.
    void openConnected() {
        h.create();
        h.lock();
        h.model->setServerConnected(true);
        h.unlock();
    }
    bool settledOn(AppSyncStatus::Kind kind) {
        return testing::spinUntil([&] { return h.model->syncStatus().kind == kind; });
    }
    testing::ScriptedTimerSource::Timer* heartbeat() {
        // The model makes the idle timer first, then the heartbeat timer.
        return h.timers->timers().at(1);
    }
};

TEST(SyncRun, APassphraseSessionDoesNotSync) {
    SyncHarness s;
    s.h.create();
    testing::settle();
    EXPECT_EQ(s.h.model->syncStatus(), AppSyncStatus::idle());
    EXPECT_EQ(s.api->calls(), 0);
    EXPECT_FALSE(s.heartbeat()->isActive());
}

TEST(SyncRun, AConnectedSessionRegistersOnceThenPublishesSynced) {
    SyncHarness s;
    s.openConnected();
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::synced));
    EXPECT_FALSE(s.h.model->syncFailureReason());
    EXPECT_EQ(s.bootstrap->orgs.load(), 1);
    EXPECT_EQ(s.bootstrap->collections.load(), 1);
    EXPECT_EQ(VaultConfigStore(s.h.home.paths().vaultConfig).load().serverBootstrapped, std::optional<bool>(true));

    // The heartbeat waits 300 s while all is well, then runs without registering again.
    testing::settle();
    ASSERT_TRUE(s.heartbeat()->isActive());
    EXPECT_EQ(s.heartbeat()->interval(), 300s);
    s.h.timers->advance(300s);
    EXPECT_EQ(s.api->calls(), 2);
    EXPECT_EQ(s.bootstrap->orgs.load(), 1);
}

TEST(SyncRun, RequestsDuringARunMakeExactlyOneMoreRun) {
    SyncHarness s;
    s.api->hold();
    s.openConnected();
    ASSERT_TRUE(testing::spinUntil([&] { return s.api->waitingInSync(); }));
    for (int i = 0; i < 3; ++i) QCoro::waitFor(s.h.model->runSync());
    EXPECT_EQ(s.api->calls(), 1);
    s.api->release();
    ASSERT_TRUE(testing::spinUntil([&] { return s.api->calls() == 2; }));
    testing::settle();
    EXPECT_EQ(s.api->calls(), 2);
    EXPECT_EQ(s.h.model->syncStatus().kind, AppSyncStatus::Kind::synced);
}

TEST(SyncRun, ARunOfAnEndedSessionPublishesNothing) {
    SyncHarness s;
    s.api->hold();
    s.openConnected();
    ASSERT_TRUE(testing::spinUntil([&] { return s.api->waitingInSync(); }));
    s.api->failPull = true;
    QCoro::waitFor(s.h.model->lock());  // the run's worker is still held
    s.api->release();
    testing::settle();
    EXPECT_EQ(s.h.model->syncStatus(), AppSyncStatus::idle());
    EXPECT_FALSE(s.h.model->syncFailureReason());
}

TEST(SyncRun, AFailedPullIsOfflineAndTheHeartbeatComesBackSooner) {
    SyncHarness s;
    s.api->failPull = true;
    s.openConnected();
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::offline));
    ASSERT_TRUE(s.h.model->syncFailureReason());
    EXPECT_NE(s.h.model->syncFailureReason()->find("pull refused"), std::string::npos);
    testing::settle();
    EXPECT_EQ(s.heartbeat()->interval(), 30s);

    s.api->failPull = false;
    s.h.timers->advance(30s);
    EXPECT_EQ(s.h.model->syncStatus().kind, AppSyncStatus::Kind::synced);
    EXPECT_EQ(s.heartbeat()->interval(), 300s);
}

TEST(SyncRun, AReplayThatDidNotFinishIsNotSynced) {
    SyncHarness s;
    s.openConnected();
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::synced));
    s.api->offlineWrites = true;
    // An item created while the server is away waits in the queue.
    const auto& context = s.h.contexts.back();
    ItemBody body;
    body.id = Uuid::random();
    body.collectionId = AppModel::localCollectionID();
    body.type = "login";
    body.cryptoParams = R"({"envelope_version":1})";
    body.aiAccess = "injectable";
    body.revision = 1;
    context.syncEngine->create(body);

    QCoro::waitFor(s.h.model->runSync());
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::offline));
    EXPECT_EQ(s.h.model->syncFailureReason(), std::optional<std::string>(std::string(AppModel::kIncompleteReplayReason)));
    // The heartbeat's next run meets the same queue and then comes back sooner.
    s.h.timers->advance(300s);
    EXPECT_EQ(s.h.model->syncStatus().kind, AppSyncStatus::Kind::offline);
    EXPECT_EQ(s.heartbeat()->interval(), 30s);
}

ItemBody sampleBody() {
    ItemBody body;
    body.id = Uuid::random();
    body.collectionId = AppModel::localCollectionID();
    body.type = "login";
    body.cryptoParams = R"({"envelope_version":1})";
    body.aiAccess = "injectable";
    body.revision = 1;
    return body;
}

TEST(SyncRun, ARunThatMeetsAWriteInFlightIsIncompleteNotOffline) {
    SyncHarness s;
    s.openConnected();
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::synced));
    const auto synced = s.h.model->syncStatus();
    // An agent's creation whose first call has not come back yet.
    s.api->holdCreates(true);
    const auto engine = s.h.contexts.back().syncEngine;
    std::thread agent([engine, body = sampleBody()] { engine->create(body); });
    ASSERT_TRUE(testing::spinUntil([&] { return s.api->waitingInCreate(); }));

    QCoro::waitFor(s.h.model->runSync());
    testing::settle();
    EXPECT_EQ(s.h.model->syncStatus(), synced);
    EXPECT_FALSE(s.h.model->syncFailureReason());

    s.api->holdCreates(false);
    agent.join();
    QCoro::waitFor(s.h.model->runSync());
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::synced));
    EXPECT_EQ(engine->pendingCount(), 0);
}

TEST(SyncRun, AConflictThatCouldNotBeSettledIsNotSynced) {
    SyncHarness s;
    s.openConnected();
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::synced));
    // An edit made while the server was away, which then holds another version: keeping ours fails too.
    const auto engine = s.h.contexts.back().syncEngine;
    const auto body = sampleBody();
    engine->write(body);
    ASSERT_EQ(engine->pendingCount(), 1);
    s.api->conflictingPuts = true;

    QCoro::waitFor(s.h.model->runSync());
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::offline));
    EXPECT_EQ(s.h.model->syncFailureReason(), std::optional<std::string>(std::string(AppModel::kIncompleteReplayReason)));
    EXPECT_EQ(s.h.model->conflictCount(), 0) << "a local version not kept is not counted as kept";
    EXPECT_EQ(engine->pendingCount(), 1);

    // The next run settles it.
    s.api->conflictingPuts = false;
    s.api->acceptPuts = true;
    QCoro::waitFor(s.h.model->runSync());
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::synced));
    EXPECT_EQ(engine->pendingCount(), 0);
}

TEST(SyncRun, TheHeartbeatEndsWhenTheSessionEndsOrLosesTheServer) {
    SyncHarness s;
    s.openConnected();
    ASSERT_TRUE(s.settledOn(AppSyncStatus::Kind::synced));
    testing::settle();
    s.h.model->setServerConnected(false);
    s.h.timers->advance(300s);
    EXPECT_EQ(s.api->calls(), 1);
    EXPECT_FALSE(s.heartbeat()->isActive());

    s.h.lock();
    EXPECT_EQ(s.h.model->syncStatus(), AppSyncStatus::idle());
    EXPECT_FALSE(s.h.model->isServerConnected());
    s.h.timers->advance(600s);
    EXPECT_EQ(s.api->calls(), 1);
}

}  // namespace
}  // namespace vael

// Queued changes meeting what other devices did on the server, over the whole path: engine, adapter,
// client, loopback server.

#include <SQLiteCpp/SQLiteCpp.h>

#include "SyncFixtures.h"

using namespace vael;
using namespace vael::test;
using Server = fake::FakeVaelServer;

namespace {

const Uuid kOrg = id(800);
const Uuid kGroup = id(900);
const Uuid kOtherGroup = id(901);

Server::Collection serverGroup(const Uuid& group) {
    Server::Collection c;
    c.id = group;
    c.orgId = kOrg;
    c.nameBlob = b64("group");
    c.wrappedKey = b64("group key");
    return c;
}

Server::Item serverItem(int n, const Uuid& group = kGroup) {
    Server::Item item;
    item.id = id(n);
    item.collectionId = group;
    item.type = "login";
    item.nameBlob = b64("name");
    item.contentBlob = b64("first");
    item.wrappedItemKey = b64("item key");
    return item;
}

// A vault that pulled one item in each of two groups from the server.
struct QueueEnv : SyncEnv {
    QueueEnv() {
        server.addOrg({kOrg, b64("org")});
        server.addCollection(serverGroup(kGroup));
        server.addCollection(serverGroup(kOtherGroup));
        server.addItem(serverItem(1));
        server.addItem(serverItem(2, kOtherGroup));
        engine->pull();
    }

    void goOffline() { relay->setTarget(unreachableClient()); }
    void goOnline() { relay->setTarget(client); }

    ItemBody edited(int n, std::string_view content) {
        auto body = ItemBody::fromRecord(*store->item(id(n)));
        body.contentBlob = bytesOf(content);
        clock->advance(std::chrono::seconds(1));
        body.updatedAt = clock->now();
        return body;
    }

    // Another device's edit, straight on the server.
    void editOnServer(int n, std::string_view content) {
        auto item = *server.item(id(n));
        item.contentBlob = b64(content);
        item.revision += 1;
        item.updatedAt = {};
        server.addItem(item);
    }

    // The application's synchronisation run: every conflict is settled with keepMine.
    void syncRun() {
        const auto outcome = engine->replayPending();
        for (const auto& conflict : outcome.conflicts) engine->resolveConflict(conflict, ConflictChoice::keepMine);
    }

    std::string onServer(int n) const { return server.item(id(n))->contentBlob; }
    Bytes here(int n) const { return store->item(id(n))->contentBlob; }
};

}  // namespace

// An edit queued while offline, then a second edit once the server is back: the second must not
// overtake the first, or the first would later be pushed over it.
TEST(QueueThroughServer, ANewerEditIsNeverReplacedByAnOlderOne) {
    for (const bool otherDeviceEdited : {false, true}) {
        SCOPED_TRACE(otherDeviceEdited ? "another device edited meanwhile" : "no one else edited");
        QueueEnv env;
        env.goOffline();
        env.engine->write(env.edited(1, "older"));
        env.goOnline();
        if (otherDeviceEdited) env.editOnServer(1, "theirs");
        env.engine->write(env.edited(1, "newer"));
        EXPECT_EQ(env.engine->pendingCount(), 2) << "the newer edit waits behind the older one";

        env.syncRun();

        EXPECT_EQ(env.onServer(1), b64("newer"));
        EXPECT_EQ(env.here(1), bytesOf("newer"));
        // A second run finds nothing left to do.
        env.syncRun();
        EXPECT_EQ(env.engine->pendingCount(), 0);
        EXPECT_EQ(env.onServer(1), b64("newer"));
        EXPECT_EQ(env.store->item(id(1))->revision, env.server.item(id(1))->revision);
    }
}

// A change whose object (or group) another member deleted on the server is settled: the deletion
// stands here too, and what waits behind it goes out.
TEST(QueueThroughServer, AChangeToAnObjectGoneOnTheServerDoesNotHoldUpTheQueue) {
    struct Case {
        const char* name;
        std::function<void(QueueEnv&)> queueChange;
        std::function<void(QueueEnv&)> deleteOnServer;
        std::function<bool(QueueEnv&)> tombstonedHere;
    };
    const std::vector<Case> cases = {
        {"an edit of a deleted item", [](QueueEnv& env) { env.engine->write(env.edited(1, "offline edit")); },
         [](QueueEnv& env) {
             auto item = *env.server.item(id(1));
             item.deleted = true;
             env.server.addItem(item);
         },
         [](QueueEnv& env) { return env.store->item(id(1))->deleted; }},
        {"a new item in a deleted group",
         [](QueueEnv& env) { env.engine->create(ItemBody::fromRecord(sampleItem(3, kGroup))); },
         [](QueueEnv& env) {
             auto group = *env.server.collection(kGroup);
             group.deleted = true;
             env.server.addCollection(group);
         },
         [](QueueEnv& env) { return env.store->item(id(3))->deleted; }},
        {"a rename of a deleted group",
         [](QueueEnv& env) {
             auto group = *env.store->collection(kGroup);
             group.nameBlob = bytesOf("renamed");
             env.engine->patchCollection(group);
         },
         [](QueueEnv& env) {
             auto group = *env.server.collection(kGroup);
             group.deleted = true;
             env.server.addCollection(group);
         },
         [](QueueEnv& env) { return env.store->collection(kGroup)->deleted; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QueueEnv env;
        env.goOffline();
        c.queueChange(env);
        env.engine->write(env.edited(2, "behind it"));
        env.goOnline();
        c.deleteOnServer(env);

        const auto outcome = env.engine->replayPending();

        EXPECT_TRUE(outcome.complete);
        EXPECT_TRUE(outcome.conflicts.empty());
        EXPECT_EQ(env.engine->pendingCount(), 0);
        EXPECT_EQ(env.onServer(2), b64("behind it"));
        EXPECT_TRUE(c.tombstonedHere(env));
    }
}

// Deleted here while offline, edited on another device: the pull must not bring it back, and the
// deletion still reaches the server.
TEST(QueueThroughServer, APullLeavesAnItemWithAQueuedDeleteDeleted) {
    QueueEnv env;
    env.goOffline();
    env.engine->deleteItem(id(1));
    env.goOnline();
    env.editOnServer(1, "edited elsewhere");

    env.engine->pull();
    EXPECT_TRUE(env.store->item(id(1))->deleted);

    env.syncRun();
    EXPECT_TRUE(env.server.item(id(1))->deleted);
    EXPECT_EQ(env.engine->pendingCount(), 0);
    env.engine->pull();
    EXPECT_TRUE(env.store->item(id(1))->deleted);
}

// The process ends while a creation or a deletion waits on the server: the replica it leaves (copied
// during the call) is opened again, and two synchronisation runs bring the change to the server.
TEST(QueueThroughServer, AChangeInFlightWhenTheProcessEndsStillReachesTheServer) {
    for (const std::string method : {"createItem", "deleteItem"}) {
        SCOPED_TRACE(method);
        QueueEnv env;
        const auto afterKill = env.dir.file("after-kill.sqlite").string();
        env.relay->onCall([&](const std::string& operation) {
            if (operation != method) return;
            SQLite::Database(env.dir.file("replica.sqlite").string(), SQLite::OPEN_READONLY)
                .exec("VACUUM INTO '" + afterKill + "'");
            throw std::runtime_error("the process ended");
        });
        auto created = ItemBody::fromRecord(*env.store->item(id(1)));
        created.id = id(3);
        try {
            if (method == "createItem") env.engine->create(created);
            else env.engine->deleteItem(id(1));
        } catch (...) {
        }
        env.relay->onCall({});

        auto store = std::make_shared<VaelStore>(afterKill);
        SyncEngine restarted(store, env.adapter, env.clock, env.pause);
        for (int run = 0; run < 2; ++run) {
            restarted.pull();
            restarted.replayPending();
        }
        if (method == "createItem") {
            ASSERT_TRUE(env.server.item(id(3)));
            EXPECT_FALSE(env.server.item(id(3))->deleted);
        } else {
            EXPECT_TRUE(env.server.item(id(1))->deleted);
        }
        EXPECT_EQ(restarted.pendingCount(), 0);
    }
}

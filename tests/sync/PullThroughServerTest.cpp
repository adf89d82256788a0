// What a pull takes from the server, over the whole path: engine, adapter, client, loopback server.

#include "SyncFixtures.h"
#include "core/Base64.h"

using namespace vael;
using namespace vael::test;
using Server = fake::FakeVaelServer;

namespace {

const Uuid kOrg = id(800);
const Uuid kGroup = id(900);

Server::Collection serverGroup(const Uuid& group, std::string_view name) {
    Server::Collection c;
    c.id = group;
    c.orgId = kOrg;
    c.nameBlob = b64(name);
    c.wrappedKey = b64("group key");
    return c;
}

Server::Item serverItem(int n) {
    Server::Item item;
    item.id = id(n);
    item.collectionId = kGroup;
    item.nameBlob = b64("name");
    item.contentBlob = b64("content");
    item.wrappedItemKey = b64("item key");
    return item;
}

// Another device of the same account: its own replica and engine, the same server.
struct SecondDevice {
    explicit SecondDevice(SyncEnv& env)
        : store(std::make_shared<VaelStore>(env.dir.file("second.sqlite").string())),
          engine(std::make_shared<SyncEngine>(store, env.adapter, env.clock, env.pause)) {}
    std::shared_ptr<VaelStore> store;
    std::shared_ptr<SyncEngine> engine;
};

}  // namespace

// One record the client cannot read must not stop the rest: padded Base64URL is read, a record that
// still does not decode is left out (never stored with empty keys), and the next pull asks for it again.
TEST(PullThroughServer, AnUnreadableRecordIsSkippedAndFetchedAgainLater) {
    SyncEnv env;
    env.server.addOrg({kOrg, b64("org")});
    env.server.addCollection(serverGroup(kGroup, "group"));
    auto padded = serverGroup(id(902), "padded");
    padded.nameBlob = base64Encode(bytesOf("padded!"), Base64Variant::UrlWithPadding);
    ASSERT_EQ(padded.nameBlob.back(), '=');
    env.server.addCollection(padded);
    auto badGroup = serverGroup(id(903), "bad key");
    badGroup.wrappedKey = "%%";
    badGroup.updatedAt = env.server.now() + std::chrono::milliseconds(1);
    env.server.addCollection(badGroup);
    auto badItem = serverItem(4);
    badItem.contentBlob = "not*base64";
    badItem.updatedAt = env.server.now() + std::chrono::milliseconds(2);
    env.server.addItem(badItem);
    env.server.addItem(serverItem(1));

    env.engine->pull();

    ASSERT_TRUE(env.store->collection(id(902)));
    EXPECT_EQ(env.store->collection(id(902))->nameBlob, bytesOf("padded!"));
    ASSERT_TRUE(env.store->item(id(1)));
    EXPECT_FALSE(env.store->collection(id(903))) << "never stored with an empty key";
    EXPECT_FALSE(env.store->item(id(4)));
    ASSERT_TRUE(env.store->lastSyncAt());
    EXPECT_LT(*env.store->lastSyncAt(), badGroup.updatedAt);

    // Mended on the server, with their old change times: the next pull takes them.
    badGroup.wrappedKey = b64("group key");
    env.server.addCollection(badGroup);
    badItem.contentBlob = b64("content");
    env.server.addItem(badItem);
    env.engine->pull();
    ASSERT_TRUE(env.store->collection(id(903)));
    EXPECT_EQ(env.store->collection(id(903))->wrappedKey, bytesOf("group key"));
    ASSERT_TRUE(env.store->item(id(4)));
    EXPECT_EQ(env.store->lastSyncAt(), env.server.now());
}

TEST(PullThroughServer, AnItemsTypeSurvivesTheServer) {
    SyncEnv env;
    env.server.addOrg({kOrg, b64("org")});
    env.server.addCollection(serverGroup(kGroup, "group"));
    auto key = ItemBody::fromRecord(sampleItem(1, kGroup));
    key.type = "ssh_key";
    env.engine->create(key);
    key.contentBlob = bytesOf("edited");
    env.engine->write(key);

    SecondDevice other(env);
    other.engine->pull();
    ASSERT_TRUE(other.store->item(id(1)));
    EXPECT_EQ(other.store->item(id(1))->type, "ssh_key");
    EXPECT_EQ(other.store->item(id(1))->contentBlob, bytesOf("edited"));

    // A record the server stored before clients sent types comes without one: the local type stands.
    auto old = *env.server.item(id(1));
    old.type = "";
    old.revision += 1;
    old.updatedAt = {};
    env.server.addItem(old);
    other.engine->pull();
    EXPECT_EQ(other.store->item(id(1))->type, "ssh_key");
    EXPECT_EQ(other.store->item(id(1))->revision, old.revision);
}

// A group's name is sealed under its own key; without that key no other device or member can read it.
TEST(PullThroughServer, AGroupsNameKeyReachesOtherDevices) {
    SyncEnv env;
    env.server.addOrg({kOrg, b64("org")});
    auto group = sampleCollection(910, kOrg);
    group.nameWrappedKey = bytesOf("name key");
    env.engine->createCollection(group);

    SecondDevice other(env);
    other.engine->pull();
    ASSERT_TRUE(other.store->collection(group.id));
    EXPECT_EQ(other.store->collection(group.id)->nameWrappedKey, bytesOf("name key"));

    group.nameBlob = bytesOf("renamed");
    group.nameWrappedKey = bytesOf("new name key");
    env.engine->patchCollection(group);
    other.engine->pull();
    EXPECT_EQ(other.store->collection(group.id)->nameBlob, bytesOf("renamed"));
    EXPECT_EQ(other.store->collection(group.id)->nameWrappedKey, bytesOf("new name key"));

    // A group the server holds without a key keeps the one stored here while its name is the same.
    auto keyless = *env.server.collection(group.id);
    keyless.nameWrappedKey = std::nullopt;
    keyless.sort = 4;
    keyless.updatedAt = {};
    env.server.addCollection(keyless);
    other.engine->pull();
    EXPECT_EQ(other.store->collection(group.id)->sort, 4);
    EXPECT_EQ(other.store->collection(group.id)->nameWrappedKey, bytesOf("new name key"));
}

// The server's clock steps back a day after this device pulled; another device's edit is then stamped
// before this device's bookmark, and must still arrive.
TEST(PullThroughServer, AServerClockThatStepsBackHidesNoChange) {
    SyncEnv env;
    env.server.addOrg({kOrg, b64("org")});
    env.server.addCollection(serverGroup(kGroup, "group"));
    env.server.addItem(serverItem(1));
    env.engine->pull();
    ASSERT_TRUE(env.store->item(id(1)));

    env.server.setNow(env.server.now() - std::chrono::hours(24));
    auto edited = *env.server.item(id(1));
    edited.contentBlob = b64("edited elsewhere");
    edited.revision += 1;
    edited.updatedAt = {};
    env.server.addItem(edited);

    for (int run = 0; run < 3; ++run) env.engine->pull();
    EXPECT_EQ(env.store->item(id(1))->contentBlob, bytesOf("edited elsewhere"));
    EXPECT_EQ(env.store->lastSyncAt(), env.server.now());
}

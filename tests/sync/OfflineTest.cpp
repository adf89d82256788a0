#include "SyncFixtures.h"

using namespace vael;
using namespace vael::test;
using Server = fake::FakeVaelServer;

namespace {

const Uuid kOrg = id(800);
const Uuid kGroup = id(900);

enum class Outage { unreachable, hung };

class OfflineTest : public ::testing::TestWithParam<Outage> {};

}  // namespace

// The whole path: engine, adapter, client, loopback. A server that cannot be reached, or that takes
// the request and never answers, is offline; the engine keeps the changes and the replay delivers them.
TEST_P(OfflineTest, ChangesWaitInTheQueueUntilTheServerIsBack) {
    SyncEnv env(impatientOptions());
    env.server.addOrg({kOrg, b64("org")});
    Server::Collection group;
    group.id = kGroup;
    group.orgId = kOrg;
    group.nameBlob = b64("group");
    group.wrappedKey = b64("group key");
    env.server.addCollection(group);
    Server::Item item;
    item.id = id(1);
    item.collectionId = kGroup;
    item.nameBlob = b64("name");
    item.contentBlob = b64("first");
    item.wrappedItemKey = b64("item key");
    env.server.addItem(item);
    env.engine->pull();
    ASSERT_TRUE(env.store->item(id(1)));

    auto edited = ItemBody::fromRecord(*env.store->item(id(1)));
    edited.contentBlob = bytesOf("edited while offline");
    const auto created = ItemBody::fromRecord(sampleItem(2, kGroup));

    if (GetParam() == Outage::unreachable) env.relay->setTarget(unreachableClient());
    else env.server.hangNext("*", 3);

    try {
        env.adapter->sync(std::nullopt);
        ADD_FAILURE() << "the sync went through";
    } catch (const SyncAPIError& error) {
        EXPECT_EQ(error, SyncAPIError::offline());
    }
    env.engine->write(edited);
    env.engine->create(created);
    EXPECT_EQ(env.engine->pendingCount(), 2);
    EXPECT_EQ(env.store->item(id(1))->contentBlob, edited.contentBlob);
    EXPECT_EQ(env.server.item(id(1))->contentBlob, b64("first"));
    EXPECT_FALSE(env.server.item(id(2)));

    if (GetParam() == Outage::unreachable) env.relay->setTarget(env.client);
    else env.server.releaseHangs();

    EXPECT_EQ(env.engine->replayPending(), ReplayOutcome{});
    EXPECT_EQ(env.engine->pendingCount(), 0);
    const auto onServer = env.server.item(id(1));
    EXPECT_EQ(onServer->contentBlob, Base64URL::encode(edited.contentBlob));
    EXPECT_EQ(env.store->item(id(1))->revision, onServer->revision);
    ASSERT_TRUE(env.server.item(id(2)));
    EXPECT_EQ(env.server.item(id(2))->contentBlob, Base64URL::encode(created.contentBlob));
    EXPECT_TRUE(env.pause->pauses.empty()) << "nothing needed a retry";
}

INSTANTIATE_TEST_SUITE_P(Outages, OfflineTest, ::testing::Values(Outage::unreachable, Outage::hung),
                         [](const auto& info) { return info.param == Outage::unreachable ? "Unreachable" : "Hung"; });

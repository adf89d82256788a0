#include <functional>
#include <stdexcept>

#include "SyncFixtures.h"
#include "api/APIError.h"

using namespace vael;
using namespace vael::test;
using Server = fake::FakeVaelServer;

namespace {

const Uuid kOrg = id(800);
const Uuid kGroup = id(900);

// The SyncAPIError the call threw; nothing when it returned. Any other exception fails the test.
std::optional<SyncAPIError> failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const SyncAPIError& error) {
        return error;
    } catch (const std::exception& other) {
        ADD_FAILURE() << "not a SyncAPIError: " << other.what();
    }
    return std::nullopt;
}

Server::Item serverItem(int n, std::int64_t revision) {
    Server::Item item;
    item.id = id(n);
    item.collectionId = kGroup;
    item.nameBlob = b64("name");
    item.contentBlob = b64("content");
    item.wrappedItemKey = b64("item key");
    item.revision = revision;
    return item;
}

ItemBody sampleBody(int n) { return ItemBody::fromRecord(sampleItem(n, kGroup)); }

CollectionRecord groupRecord(const Uuid& group, const Uuid& org) {
    auto record = sampleCollection(0, org);
    record.id = group;
    return record;
}

}  // namespace

TEST(SyncAdapter, ItemsCrossFieldForField) {
    SyncEnv env;
    seedGroup(env.server, kOrg, kGroup);
    const ItemBody mine{
        .id = id(1),
        .collectionId = kGroup,
        .type = "ssh_key",
        .nameBlob = Bytes{0xfb, 0xff, 0x00, 0x3e},  // '-' and '_' in the URL alphabet
        .contentBlob = bytesOf("sealed content"),
        .cryptoParams = R"({ "v": 1,  "alg": "x" })",
        .wrappedItemKey = Bytes{0xff, 0xfe, 0xfd},
        .aiAccess = "blocked",
        .revision = 9,
        .updatedAt = sampleTime(),
    };

    env.adapter->createItem(mine);
    EXPECT_EQ(env.server.calls().back().path, "/api/v1/collections/" + kGroup.text() + "/items");
    const auto created = lastBody(env.server, "createItem");
    EXPECT_EQ(created["id"], mine.id.text());
    EXPECT_EQ(created["type"], mine.type);
    for (const char* local : {"revision", "updatedAt", "collectionId"})
        EXPECT_FALSE(created.contains(local)) << local;
    const auto stored = env.server.item(mine.id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->nameBlob, Base64URL::encode(mine.nameBlob));
    EXPECT_EQ(stored->contentBlob, Base64URL::encode(mine.contentBlob));
    EXPECT_EQ(stored->wrappedItemKey, Base64URL::encode(mine.wrappedItemKey));
    EXPECT_EQ(stored->cryptoParams, mine.cryptoParams);
    EXPECT_EQ(stored->aiAccess, mine.aiAccess);

    // Back from the server with its type, and its own revision and time.
    EXPECT_EQ(stored->type, mine.type);
    auto expected = mine;
    expected.revision = stored->revision;
    expected.updatedAt = stored->updatedAt;
    EXPECT_EQ(env.adapter->fetchItem(mine.id), expected);

    auto edited = mine;
    edited.contentBlob = bytesOf("edited");
    EXPECT_EQ(env.adapter->putItem(mine.id, edited, stored->revision), PushResult{stored->revision + 1});
    const auto put = lastBody(env.server, "putItem");
    EXPECT_FALSE(put.contains("id"));
    EXPECT_EQ(put["type"], mine.type);
    EXPECT_EQ(env.server.item(mine.id)->contentBlob, Base64URL::encode(edited.contentBlob));

    env.adapter->deleteItem(mine.id);
    EXPECT_TRUE(env.server.item(mine.id)->deleted);
}

TEST(SyncAdapter, GroupsCrossWithoutTheirLocalFields) {
    SyncEnv env;
    seedGroup(env.server, kOrg, kGroup);
    auto child = groupRecord(id(910), kOrg);
    child.parentId = kGroup;
    child.nameWrappedKey = bytesOf("name key");
    child.sort = 7;

    env.adapter->createCollection(child);
    const auto sent = lastBody(env.server, "createCollection");
    EXPECT_EQ(sent["id"], child.id.text());
    EXPECT_EQ(sent["nameWrappedKey"], Base64URL::encode(*child.nameWrappedKey));
    for (const char* local : {"sort", "updatedAt", "deleted"})
        EXPECT_FALSE(sent.contains(local)) << local;
    auto stored = env.server.collection(child.id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->orgId, kOrg);
    EXPECT_EQ(stored->parentId, kGroup);
    EXPECT_EQ(stored->nameBlob, Base64URL::encode(child.nameBlob));
    EXPECT_EQ(stored->wrappedKey, Base64URL::encode(child.wrappedKey));

    auto moved = child;
    moved.parentId = std::nullopt;
    moved.nameBlob = bytesOf("renamed");
    moved.sort = 3;
    env.adapter->patchCollection(moved);
    stored = env.server.collection(child.id);
    EXPECT_EQ(stored->parentId, std::nullopt);
    EXPECT_EQ(stored->nameBlob, Base64URL::encode(moved.nameBlob));
    EXPECT_EQ(stored->sort, 3);

    env.adapter->deleteCollection(child.id);
    EXPECT_TRUE(env.server.collection(child.id)->deleted);
}

TEST(SyncAdapter, SyncAnswersKeepTheServersOrderAndDecodeBlobs) {
    SyncEnv env;
    const TimePoint t0 = env.server.now() + std::chrono::seconds(1);
    env.server.addOrg({kOrg, b64("org")});
    Server::Collection top;
    top.id = id(901);
    top.orgId = kOrg;
    top.nameBlob = Base64URL::encode(Bytes{0xfb, 0xff});
    top.wrappedKey = b64("top key");
    top.sort = 2;
    top.updatedAt = t0 + std::chrono::milliseconds(20);
    Server::Collection child = top;
    child.id = id(902);
    child.parentId = top.id;
    child.nameBlob = b64("child");
    child.sort = 1;
    child.deleted = true;
    child.updatedAt = t0 + std::chrono::milliseconds(10);
    env.server.addCollection(top);
    env.server.addCollection(child);
    auto live = serverItem(1, 4);
    live.updatedAt = t0 + std::chrono::milliseconds(30);
    auto gone = serverItem(2, 6);
    gone.deleted = true;
    gone.updatedAt = t0 + std::chrono::milliseconds(40);
    env.server.addItem(gone);
    env.server.addItem(live);
    env.server.setNow(t0 + std::chrono::seconds(1));

    const SyncResponse expected{
        .now = env.server.now(),
        .items = {{id(1), kGroup, 4, live.updatedAt, false}, {id(2), kGroup, 6, gone.updatedAt, true}},
        .collections = {{id(902), kOrg, id(901), bytesOf("child"), 1, bytesOf("top key"), child.updatedAt, true},
                        {id(901), kOrg, std::nullopt, Bytes{0xfb, 0xff}, 2, bytesOf("top key"), top.updatedAt,
                         false}},
    };
    EXPECT_EQ(env.adapter->sync(std::nullopt), expected);

    // The time is passed on: only later changes come back.
    const auto later = env.adapter->sync(t0 + std::chrono::milliseconds(15));
    ASSERT_EQ(later.collections.size(), 1u);
    EXPECT_EQ(later.collections[0].id, id(901));
    EXPECT_EQ(later.items, expected.items);
}

TEST(SyncAdapter, EveryFailureBecomesItsSyncAPIError) {
    struct Case {
        const char* name;
        std::function<void(SyncEnv&)> arrange;
        std::function<void(SyncAPIAdapter&)> call;
        std::optional<SyncAPIError> expected;  // nothing: the call succeeds
    };
    const auto notFound = SyncAPIError::notFound();
    auto nothing = [](SyncEnv&) {};
    auto clientThrows = [](std::function<void()> raise) {
        return [raise](SyncEnv& env) { env.relay->onCall([raise](const std::string&) { raise(); }); };
    };
    const std::vector<Case> cases = {
        {"delete an absent item", nothing, [](auto& a) { a.deleteItem(id(2)); }, std::nullopt},
        {"delete an absent group", nothing, [](auto& a) { a.deleteCollection(id(902)); }, std::nullopt},
        {"create an existing group", nothing, [](auto& a) { a.createCollection(groupRecord(kGroup, kOrg)); },
         std::nullopt},
        {"fetch an absent item", nothing, [](auto& a) { a.fetchItem(id(2)); }, notFound},
        {"put an absent item", nothing, [](auto& a) { a.putItem(id(2), sampleBody(2), 1); }, notFound},
        {"patch an absent group", nothing, [](auto& a) { a.patchCollection(groupRecord(id(902), kOrg)); },
         notFound},
        {"create a group in an absent project", nothing,
         [](auto& a) { a.createCollection(groupRecord(id(902), id(801))); }, notFound},
        {"create an existing item", nothing, [](auto& a) { a.createItem(sampleBody(1)); }, SyncAPIError::conflict(3)},
        {"put over another revision", nothing, [](auto& a) { a.putItem(id(1), sampleBody(1), 1); },
         SyncAPIError::conflict(3)},
        {"a conflict that carries only text",
         [](SyncEnv& env) { env.server.answerNext("putItem", 409, R"({"error":"name in use"})"); },
         [](auto& a) { a.putItem(id(1), sampleBody(1), 3); },
         SyncAPIError::transport(APIError::taken("name in use").what())},
        {"a refusal", [](SyncEnv& env) { env.server.answerNext("deleteItem", 500, R"({"error":"boom"})"); },
         [](auto& a) { a.deleteItem(id(1)); }, SyncAPIError::transport(APIError::rejected(500, "boom").what())},
        {"an unreadable answer", [](SyncEnv& env) { env.server.answerNext("fetchItem", 200, "[]"); },
         [](auto& a) { a.fetchItem(id(1)); },
         SyncAPIError::transport(APIError::badResponse("item is not a JSON object").what())},
        {"an item blob that is not Base64URL",
         [](SyncEnv& env) {
             auto item = serverItem(3, 1);
             item.contentBlob = "not*base64";
             env.server.addItem(item);
         },
         [](auto& a) { a.fetchItem(id(3)); },
         SyncAPIError::transport("unreadable server answer: contentBlob of " + id(3).text() + " is not Base64URL")},
        {"a connection failure with a negative code",
         clientThrows([] { throw APIError::network(-7, "could not connect"); }),
         [](auto& a) { a.deleteItem(id(1)); }, SyncAPIError::offline()},
        {"a connection failure with code zero", clientThrows([] { throw APIError::network(0, "reset"); }),
         [](auto& a) { a.sync(std::nullopt); },
         SyncAPIError::transport(APIError::network(0, "reset").what())},
        {"an error that is not the client's", clientThrows([] { throw std::runtime_error("out of handles"); }),
         [](auto& a) { a.createCollection(groupRecord(kGroup, kOrg)); }, SyncAPIError::transport("out of handles")},
        {"not even an exception", clientThrows([] { throw 42; }), [](auto& a) { a.fetchItem(id(1)); },
         SyncAPIError::transport("unknown failure")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SyncEnv env;
        seedGroup(env.server, kOrg, kGroup);
        env.server.addItem(serverItem(1, 3));
        c.arrange(env);
        EXPECT_EQ(failureOf([&] { c.call(*env.adapter); }), c.expected);
    }
}

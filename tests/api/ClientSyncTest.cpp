#include <nlohmann/json.hpp>

#include "ClientFixture.h"
#include "api/Codec.h"

namespace vael {
namespace {

using Kind = APIError::Kind;

const Uuid kOrg = Uuid::fromText("00000000-0000-0000-0000-00000000A000");
const Uuid kGroup = Uuid::fromText("00000000-0000-0000-0000-00000000C001");

ItemWriteBody writeBody(std::string_view name, std::optional<Uuid> id = std::nullopt) {
    ItemWriteBody body;
    body.id = id;
    body.type = "ssh_key";
    body.nameBlob = Base64URL::encode(bytes(name));
    body.contentBlob = Base64URL::encode(bytes("sealed content"));
    body.cryptoParams = CryptoParamsDTO(R"({"alg":"xchacha20poly1305","v":1})");
    body.wrappedItemKey = Base64URL::encode(bytes("wrapped"));
    body.aiAccess = "human_gated";
    return body;
}

class ClientSyncTest : public ClientFixture {
protected:
    void SetUp() override {
        server.addOrg({kOrg, "b3Jn"});
        fake::FakeVaelServer::Collection group;
        group.id = kGroup;
        group.orgId = kOrg;
        group.nameBlob = "Z3JvdXA";
        group.wrappedKey = "a2V5";
        server.addCollection(group);
    }
};

TEST_F(ClientSyncTest, ItemWritesFollowRevisions) {
    const Uuid id = Uuid::random();
    const ItemDTO created = client->createItem(kGroup, writeBody("first", id));
    EXPECT_EQ(created.id, id);
    EXPECT_EQ(created.collectionId, kGroup);
    EXPECT_EQ(created.revision, 1);
    EXPECT_EQ(created.cryptoParams.rawJSON, R"({"alg":"xchacha20poly1305","v":1})");
    EXPECT_EQ(client->fetchItem(id), created);

    const ItemDTO updated = client->putItem(id, writeBody("second"), 1);
    EXPECT_EQ(updated.revision, 2);
    EXPECT_EQ(updated.nameBlob, Base64URL::encode(bytes("second")));
    EXPECT_EQ(server.item(id)->nameBlob, updated.nameBlob);

    // A stale write and a second creation both carry the server's current revision.
    const APIError stale = apiErrorOf([&] { client->putItem(id, writeBody("third"), 1); });
    EXPECT_EQ(stale.kind(), Kind::Conflict);
    EXPECT_EQ(stale.currentRevision(), 2);
    const APIError exists = apiErrorOf([&] { client->createItem(kGroup, writeBody("again", id)); });
    EXPECT_EQ(exists.kind(), Kind::Conflict);
    EXPECT_EQ(exists.currentRevision(), 2);
    EXPECT_EQ(server.item(id)->nameBlob, updated.nameBlob) << "refused writes change nothing";

    client->deleteItem(id);
    EXPECT_TRUE(server.item(id)->deleted);
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { client->fetchItem(id); }, [&] { client->deleteItem(id); },
             [&] { client->putItem(id, writeBody("x"), 3); }, [&] { client->fetchItem(Uuid::random()); }})
        EXPECT_EQ(apiErrorOf(call).kind(), Kind::NotFound);
}

TEST_F(ClientSyncTest, WritesSendTheIdOnlyOnCreationAndTheGroupBesideIt) {
    const Uuid id = Uuid::random();
    client->createItem(kGroup, writeBody("a", id));
    client->putItem(id, writeBody("b"), 1);

    const auto calls = server.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].method, "POST");
    EXPECT_EQ(calls[0].path, "/api/v1/collections/" + kGroup.text() + "/items");
    const auto create = nlohmann::json::parse(calls[0].body);
    EXPECT_EQ(create["id"], id.text());
    EXPECT_EQ(create["type"], "ssh_key");
    EXPECT_FALSE(create.contains("revision"));

    EXPECT_EQ(calls[1].method, "PUT");
    EXPECT_EQ(calls[1].path, "/api/v1/items/" + id.text());
    const auto put = nlohmann::json::parse(calls[1].body);
    EXPECT_FALSE(put.contains("id"));
    EXPECT_EQ(put["type"], "ssh_key");
    EXPECT_EQ(put["expectedRevision"], 1);
    EXPECT_EQ(client->fetchItem(id).type, "ssh_key");
}

TEST_F(ClientSyncTest, ItemCreationInAnUnknownGroupIsNotFound) {
    EXPECT_EQ(apiErrorOf([&] { client->createItem(Uuid::random(), writeBody("a", Uuid::random())); }).kind(),
              Kind::NotFound);
}

TEST_F(ClientSyncTest, SyncAnswersChangesAfterTheGivenTimeInOrderWithTombstones) {
    const SyncResponseDTO first = client->sync(std::nullopt);
    EXPECT_EQ(first.now, server.now());
    EXPECT_TRUE(first.items.empty());
    ASSERT_EQ(first.collections.size(), 1u);
    EXPECT_EQ(first.collections[0].id, kGroup);
    EXPECT_FALSE(first.collections[0].parentId.has_value());

    EXPECT_TRUE(client->sync(first.now).collections.empty()) << "nothing changed since";

    const Uuid a = Uuid::random();
    const Uuid b = Uuid::random();
    client->createItem(kGroup, writeBody("a", a));
    client->createItem(kGroup, writeBody("b", b));
    client->deleteItem(a);
    const Uuid child = Uuid::random();
    client->createCollection(kOrg, child, kGroup, bytes("child"), std::nullopt, bytes("key"));

    const SyncResponseDTO second = client->sync(first.now);
    ASSERT_EQ(second.items.size(), 2u);
    EXPECT_EQ(second.items[0].id, b) << "ordered by change: b was created after a, a deleted last";
    EXPECT_EQ(second.items[1].id, a);
    EXPECT_TRUE(second.items[1].deleted);
    EXPECT_EQ(second.items[1].revision, 2);
    ASSERT_EQ(second.collections.size(), 1u);
    EXPECT_EQ(second.collections[0].parentId, kGroup);
    EXPECT_EQ(Base64URL::decode(second.collections[0].nameBlob), bytes("child"));

    EXPECT_EQ(server.calls().back().query, "since=" + std::to_string(wire::toWireMillis(first.now)));
    EXPECT_TRUE(client->sync(second.now).items.empty());
}

TEST_F(ClientSyncTest, GroupsAndProjects) {
    const Uuid child = Uuid::random();
    const CollectionDTO created =
        client->createCollection(kOrg, child, kGroup, bytes("n"), bytes("name key"), bytes("k"));
    EXPECT_EQ(created.id, child);
    EXPECT_EQ(created.orgId, kOrg);
    EXPECT_EQ(created.parentId, kGroup);
    EXPECT_EQ(created.wrappedKey, Base64URL::encode(bytes("k")));
    EXPECT_EQ(created.nameWrappedKey, Base64URL::encode(bytes("name key")));

    // An existing group, an unknown project and an unknown parent.
    const APIError exists = apiErrorOf([&] { client->createCollection(kOrg, child, std::nullopt, {}, std::nullopt, {}); });
    EXPECT_EQ(exists.kind(), Kind::Conflict);
    EXPECT_EQ(exists.currentRevision(), 1);
    EXPECT_EQ(apiErrorOf([&] { client->createCollection(Uuid::random(), Uuid::random(), std::nullopt, {}, std::nullopt, {}); })
                  .kind(),
              Kind::NotFound);
    EXPECT_EQ(apiErrorOf([&] { client->createCollection(kOrg, Uuid::random(), Uuid::random(), {}, std::nullopt, {}); }).kind(),
              Kind::NotFound);

    // Patching without a parent moves the group to the top level; the new name comes with its key.
    client->patchCollection(child, bytes("renamed"), bytes("new name key"), std::nullopt, 5);
    const auto patched = server.collection(child);
    EXPECT_FALSE(patched->parentId.has_value());
    EXPECT_EQ(patched->sort, 5);
    EXPECT_EQ(patched->nameBlob, Base64URL::encode(bytes("renamed")));
    EXPECT_EQ(patched->nameWrappedKey, Base64URL::encode(bytes("new name key")));
    EXPECT_EQ(client->sync(std::nullopt).collections.back().nameWrappedKey, patched->nameWrappedKey);

    client->deleteCollection(child);
    EXPECT_TRUE(server.collection(child)->deleted);
    EXPECT_EQ(apiErrorOf([&] { client->deleteCollection(child); }).kind(), Kind::NotFound);
    EXPECT_EQ(apiErrorOf([&] { client->patchCollection(child, {}, std::nullopt, std::nullopt, 0); }).kind(), Kind::NotFound);

    // Projects: a given id is kept, an existing one is a conflict, none lets the server choose.
    const Uuid project = Uuid::random();
    const OrgDTO org = client->createOrg(project, bytes("Personal"), bytes("project name key"));
    EXPECT_EQ(org.id, project);
    EXPECT_EQ(org.nameWrappedKey, Base64URL::encode(bytes("project name key")));
    EXPECT_EQ(apiErrorOf([&] { client->createOrg(project, bytes("again"), std::nullopt); }).kind(), Kind::Conflict);
    EXPECT_EQ(apiErrorOf([&] { client->createOrg(kOrg, bytes("again"), std::nullopt); }).kind(), Kind::Conflict);
    EXPECT_NE(client->createOrg(std::nullopt, bytes("new"), std::nullopt).id, project);
}

TEST_F(ClientSyncTest, BootstrapInterfaceReachesTheSameRoutes) {
    BootstrapAPI& bootstrap = *client;
    const Uuid project = Uuid::random();
    const Uuid group = Uuid::random();
    bootstrap.createOrg(project, bytes("Personal"), std::nullopt);
    bootstrap.createCollection(project, group, std::nullopt, bytes("local"), std::nullopt, bytes("key"));
    EXPECT_EQ(server.collection(group)->orgId, project);
    EXPECT_EQ(apiErrorOf([&] { bootstrap.createCollection(project, group, std::nullopt, {}, std::nullopt, {}); }).kind(),
              Kind::Conflict);
}

}  // namespace
}  // namespace vael

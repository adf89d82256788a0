#include "ClientFixture.h"

namespace vael {
namespace {

using Kind = APIError::Kind;
using Server = fake::FakeVaelServer;

const Uuid kOrg = Uuid::fromText("00000000-0000-0000-0000-00000000A000");
const Uuid kGroup = Uuid::fromText("00000000-0000-0000-0000-00000000C001");

class ClientInviteTest : public ClientFixture {
protected:
    Server::Account owner;
    Server::Account ana;
    std::unique_ptr<VaelAPIClient> anaClient;

    void SetUp() override {
        server.addOrg({kOrg, "b3Jn"});
        Server::Collection group;
        group.id = kGroup;
        group.orgId = kOrg;
        server.addCollection(group);
        owner = server.addAccount({Uuid::random(), "owner", "b3gtWA", "b3ctRUQ", "", "", {}, {}});
        ana = server.addAccount({Uuid::random(), "ana b/é", "YW5hLVg", "YW5hLUVE", "", "", {}, {}});
        server.addMember(kOrg, {owner.id, "owner", "fp-owner", {}});
        client->setSessionToken(server.issueSessionToken(owner.id));
        anaClient = std::make_unique<VaelAPIClient>(server.baseURL(), testOptions());
        anaClient->setSessionToken(server.issueSessionToken(ana.id));
    }
    void TearDown() override {
        anaClient.reset();
        ClientFixture::TearDown();
    }
};

TEST_F(ClientInviteTest, InviteClaimGrantAndRevoke) {
    const InviteCreatedDTO created =
        client->createInvite(kOrg, "member", {kGroup}, "Personal", "You", std::string("ana@example.org"), std::nullopt, 72);
    EXPECT_FALSE(created.token.empty());

    const auto listed = client->listInvites(kOrg);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].id, created.id);
    EXPECT_EQ(listed[0].status, "pending");
    EXPECT_EQ(listed[0].recipient, "ana@example.org");
    EXPECT_EQ(listed[0].folderIds, std::vector<Uuid>{kGroup});
    EXPECT_EQ(listed[0].expiresAt - listed[0].createdAt, std::chrono::hours(72));
    EXPECT_FALSE(listed[0].claimedAccountId.has_value());

    // Granting before the invitee has claimed is refused.
    EXPECT_EQ(apiErrorOf([&] { client->grantInvite(kOrg, created.id, {}); }).kind(), Kind::Taken);

    const InviteClaimDTO claim = anaClient->claimInvite(created.token);
    EXPECT_EQ(claim.orgId, kOrg);
    EXPECT_EQ(claim.role, "member");
    EXPECT_EQ(anaClient->claimInvite(created.token), claim) << "claiming again is harmless";
    EXPECT_EQ(apiErrorOf([&] { client->claimInvite(created.token); }).kind(), Kind::Taken)
        << "another account cannot take a claimed invite";
    const InviteDTO claimed = client->getInvite(kOrg, created.id);
    EXPECT_EQ(claimed.status, "claimed");
    EXPECT_EQ(claimed.claimedAccountId, ana.id);
    EXPECT_EQ(claimed.inviteeX25519PublicKey, ana.x25519PublicKey);
    EXPECT_EQ(claimed.inviteeEd25519PublicKey, ana.ed25519PublicKey);

    const SignedCollectionGrant grant{kGroup, "c2VhbGVk", "c2ln"};
    client->grantInvite(kOrg, created.id, {grant});
    EXPECT_EQ(server.invite(created.id)->grants, std::vector<SignedCollectionGrant>{grant});
    EXPECT_EQ(client->listMembers(kOrg).size(), 2u);

    client->revokeInvite(kOrg, created.id);
    EXPECT_EQ(apiErrorOf([&] { client->getInvite(kOrg, created.id); }).kind(), Kind::NotFound);
    EXPECT_EQ(apiErrorOf([&] { client->revokeInvite(kOrg, created.id); }).kind(), Kind::NotFound);
    EXPECT_EQ(apiErrorOf([&] { anaClient->claimInvite("no-such-token"); }).kind(), Kind::NotFound);
}

TEST_F(ClientInviteTest, AnExpiredInviteCannotBeClaimed) {
    Server::Invite seeded;
    seeded.ttlHours = 1;
    const Server::Invite invite = server.addInvite(kOrg, seeded);
    server.setNow(server.now() + std::chrono::hours(2));
    const APIError expired = apiErrorOf([&] { anaClient->claimInvite(invite.token); });
    EXPECT_EQ(expired.kind(), Kind::Rejected);
    EXPECT_EQ(expired.code(), 410);
}

TEST_F(ClientInviteTest, InviteIdsAreEscapedInThePath) {
    Server::Invite seeded;
    seeded.id = "inv 1?x#y";
    server.addInvite(kOrg, seeded);
    EXPECT_EQ(client->getInvite(kOrg, "inv 1?x#y").id, "inv 1?x#y");
    EXPECT_EQ(apiErrorOf([&] { client->getInvite(kOrg, "inv 1"); }).kind(), Kind::NotFound);
}

TEST_F(ClientInviteTest, MembersLookupAndAdd) {
    const AccountDTO found = client->lookupAccount(kOrg, "ana b/é");
    EXPECT_EQ(found.id, ana.id);
    EXPECT_EQ(found.x25519PublicKey, ana.x25519PublicKey);
    EXPECT_EQ(apiErrorOf([&] { client->lookupAccount(kOrg, "ana"); }).kind(), Kind::NotFound);

    const CollectionGrant grant{kGroup, "c2VhbGVk"};
    client->addExistingMember(kOrg, ana.id, "viewer", {grant});
    EXPECT_EQ(apiErrorOf([&] { client->addExistingMember(kOrg, ana.id, "viewer", {}); }).kind(), Kind::Taken);
    EXPECT_EQ(apiErrorOf([&] { client->addExistingMember(kOrg, Uuid::random(), "viewer", {}); }).kind(),
              Kind::NotFound);

    auto members = client->listMembers(kOrg);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].accountId, owner.id);
    EXPECT_EQ(members[0].fingerprint, "fp-owner");
    EXPECT_EQ(members[1].accountId, ana.id);
    EXPECT_EQ(members[1].role, "viewer");
    EXPECT_EQ(members[1].x25519PublicKey, ana.x25519PublicKey);
    EXPECT_EQ(server.members(kOrg)[1].grants, std::vector<CollectionGrant>{grant});

    client->setMemberRole(kOrg, ana.id, "admin");
    EXPECT_EQ(server.members(kOrg)[1].role, "admin");
    client->removeMember(kOrg, ana.id);
    EXPECT_EQ(client->listMembers(kOrg).size(), 1u);
    EXPECT_EQ(apiErrorOf([&] { client->removeMember(kOrg, ana.id); }).kind(), Kind::NotFound);
    EXPECT_EQ(apiErrorOf([&] { client->setMemberRole(kOrg, ana.id, "admin"); }).kind(), Kind::NotFound);
    EXPECT_EQ(apiErrorOf([&] { client->listMembers(Uuid::random()); }).kind(), Kind::NotFound);
}

TEST_F(ClientInviteTest, KeyRotationSendsEveryGrantAndItemKey) {
    const std::vector<RotateMemberGrant> grants{{owner.id, "c2Vh", "c2ln"}, {ana.id, "c2Vi", "c2lo"}};
    const std::vector<RotateItemKey> keys{{Uuid::random(), "d3JhcA"}};
    client->rotateCollectionKey(kGroup, 4294967295u, grants, keys);
    client->rotateCollectionKey(kGroup, 0u, grants, {});
    const auto rotations = server.rotations();
    ASSERT_EQ(rotations.size(), 2u);
    EXPECT_EQ(rotations[0].keyEpoch, 4294967295u);
    EXPECT_EQ(rotations[0].memberGrants, grants);
    EXPECT_EQ(rotations[0].itemKeys, keys);
    EXPECT_EQ(rotations[1].keyEpoch, 0u);
    EXPECT_TRUE(rotations[1].itemKeys.empty());
    EXPECT_EQ(apiErrorOf([&] { client->rotateCollectionKey(Uuid::random(), 1, grants, keys); }).kind(),
              Kind::NotFound);
}

}  // namespace
}  // namespace vael

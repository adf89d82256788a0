#include <gtest/gtest.h>

#include <fstream>

#include "FakeVaelServer.h"
#include "api/VaelAPIClient.h"
#include "app/model/sharing/AcceptInviteViewModel.h"
#include "app/model/sharing/InvitesModel.h"
#include "app/model/sharing/MembersViewModel.h"
#include "app/model/sharing/NewInviteViewModel.h"
#include "app/model/sharing/VerifyGrantViewModel.h"
#include "model/SharingFixtures.h"

namespace vael::testing {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The owner invites, the invitee claims with the link's token, the owner types the fingerprint the
// invitee reads out and grants the default group: all over real HTTP.
TEST(SharingOnServer, FromInviteToGrantWithTheTypedFingerprintPinned) {
    fake::FakeVaelServer server;  // outlives both clients
    server.addOrg(fake::FakeVaelServer::Org{AppModel::localOrgID(), "", 1, {}});
    TestAccount invitee;
    const auto account = server.addAccount(fake::FakeVaelServer::Account{
        Uuid::random(), "robin", invitee.x25519(), invitee.ed25519(), "", "", {}, {}});
    auto inviteeClient = std::make_shared<VaelAPIClient>(server.baseURL());
    inviteeClient->setSessionToken(server.issueSessionToken(account.id));

    AppModelServices services;
    services.serverBaseURL = server.baseURL();
    ModelHarness h{services};
    h.create();
    auto context = h.model->makeSharingContext();
    ASSERT_TRUE(context);

    auto newInvite = std::make_shared<NewInviteViewModel>(context->api, context->orgID, context->publicBaseURL,
                                                          context->callerRole, context->orgLabel,
                                                          context->inviterLabel, context->folders);
    newInvite->setFolderSelected(AppModel::localCollectionID(), true);
    QCoro::waitFor(newInvite->create());
    ASSERT_TRUE(newInvite->inviteLink()) << newInvite->errorMessage().value_or("");
    // The test server speaks plain http, which the link reader rightly refuses: take the token as written.
    const auto token = server.invite(newInvite->created()->id)->token;
    EXPECT_EQ(*newInvite->inviteLink(), server.baseURL() + "/invite#" + token);

    auto accept = std::make_shared<AcceptInviteViewModel>(inviteeClient, invitee.vault, token, invitee.fingerprint());
    QCoro::waitFor(accept->accept());
    ASSERT_EQ(accept->state(), AcceptInviteViewModel::State::waitingForAccess);
    EXPECT_EQ(accept->orgID(), AppModel::localOrgID());

    auto invites = std::make_shared<InvitesModel>(context->api, context->orgID);
    QCoro::waitFor(invites->reload());
    ASSERT_EQ(invites->invites().size(), 1u);
    EXPECT_EQ(invites->invites()[0].status, "claimed");

    auto verify = std::make_shared<VerifyGrantViewModel>(context->api, context->vault, context->trustStore,
                                                         context->orgID, invites->invites()[0].id,
                                                         context->collectionKeys, 0);
    QCoro::waitFor(verify->load());
    ASSERT_EQ(verify->state(), VerifyGrantViewModel::State::ready) << verify->errorMessage().value_or("");
    verify->setTypedFingerprint(QString::fromStdString(accept->ownFingerprint()).toUpper().toStdString() + "  ");
    QCoro::waitFor(verify->confirmAndGrant());
    ASSERT_EQ(verify->state(), VerifyGrantViewModel::State::granted) << verify->errorMessage().value_or("");

    const auto stored = server.invite(invites->invites()[0].id);
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->grants.size(), 1u);
    auto opened = invitee.vault->openSealedCollectionKey(*Base64URL::decode(stored->grants[0].sealedKey));
    EXPECT_TRUE(sameGroupKey(*h.model->vault(), context->collectionKeys.at(AppModel::localCollectionID()),
                             *invitee.vault, opened));

    auto members = std::make_shared<MembersViewModel>(context->api, context->orgID);
    QCoro::waitFor(members->load());
    EXPECT_TRUE(std::any_of(members->members().begin(), members->members().end(),
                            [&](const auto& m) { return m.accountId == account.id; }));

    const auto pins = decodeTrustedKeyPins(readFile(h.home.paths().trustedKeys()));
    ASSERT_TRUE(pins);
    EXPECT_EQ(pins->at(account.id), invitee.fingerprint());
}

}  // namespace
}  // namespace vael::testing

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/model/sharing/AcceptInviteViewModel.h"
#include "app/model/sharing/AddExistingMemberViewModel.h"
#include "app/model/sharing/InvitesModel.h"
#include "app/model/sharing/MembersViewModel.h"
#include "app/model/sharing/NewInviteViewModel.h"
#include "app/model/sharing/RotateCollectionViewModel.h"
#include "app/model/sharing/SharingViewModel.h"
#include "app/model/sharing/VerifyGrantViewModel.h"
#include "model/ItemFixtures.h"
#include "model/SharingFixtures.h"

namespace vael::testing {
namespace {

const Uuid kOrg = uuid("00000000-0000-0000-0000-00000000A000");
const Uuid kFolderA = uuid("0A000000-0000-0000-0000-000000000000");
const Uuid kFolderB = uuid("0B000000-0000-0000-0000-000000000000");
const Uuid kFolderC = uuid("0C000000-0000-0000-0000-000000000000");
const Uuid kAccount = uuid("AC000000-0000-0000-0000-000000000001");

TEST(SharingRolesTest, CallersHandOutTheirOwnRoleAndThoseAfterIt) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {"owner", {"owner", "admin", "member", "viewer"}},
        {"admin", {"admin", "member", "viewer"}},
        {"member", {"member", "viewer"}},
        {"viewer", {"viewer"}},
        {"Admin", {"viewer"}},
        {"", {"viewer"}},
    };
    for (const auto& [caller, roles] : cases) EXPECT_EQ(SharingRoles::assignableBy(caller), roles) << caller;
}

TEST(SharingContextTest, FolderNameIsTheFirstMatchElseTheIdsFirstGroup) {
    SharingContext context;
    context.folders = {{kFolderA, "local"}, {kFolderA, "second"}, {kFolderB, ""}};
    EXPECT_EQ(context.folderName(kFolderA), "local");
    EXPECT_EQ(context.folderName(kFolderB), "");
    EXPECT_EQ(context.folderName(kOrg), "00000000");
}

// --- members and invites ---

TEST(MembersViewModelTest, ServerAnswersReplaceTheListAndFailuresKeepIt) {
    auto api = std::make_shared<ScriptedInviteAPI>();
    const Uuid other = uuid("AC000000-0000-0000-0000-000000000002");
    api->members = {{kAccount, "member", "fp-1", {}, {}}, {other, "viewer", "fp-2", {}, {}}, {kAccount, "admin", "fp-1", {}, {}}};
    auto model = std::make_shared<MembersViewModel>(api, kOrg);
    QCoro::waitFor(model->load());
    ASSERT_EQ(model->members().size(), 3u);

    api->failOn("listMembers");
    QCoro::waitFor(model->load());
    EXPECT_EQ(model->errorMessage(), MembersViewModel::kLoadFailed);
    EXPECT_EQ(model->members().size(), 3u);
    EXPECT_FALSE(model->isLoading());

    QCoro::waitFor(model->setRole(other, "Owner"));  // not a role: nothing sent, message kept
    EXPECT_EQ(api->count("setMemberRole"), 0);
    EXPECT_EQ(model->errorMessage(), MembersViewModel::kLoadFailed);

    QCoro::waitFor(model->setRole(other, "admin"));
    EXPECT_EQ(model->members()[1].role, "admin");
    EXPECT_EQ(model->errorMessage(), std::nullopt);

    api->failOn("removeMember");
    QCoro::waitFor(model->remove(kAccount));
    EXPECT_EQ(model->errorMessage(), MembersViewModel::kRemoveFailed);
    EXPECT_EQ(model->members().size(), 3u);
    api->succeedOn("removeMember");
    QCoro::waitFor(model->remove(kAccount));  // both entries of the account go
    ASSERT_EQ(model->members().size(), 1u);
    EXPECT_EQ(model->members()[0].accountId, other);

    model->setRole(1, "owner");
    model->setRole(-1, "owner");
    EXPECT_EQ(model->members()[0].role, "admin");
}

TEST(MembersViewModelTest, AModelWithoutServerIgnoresServerOperations) {
    auto model = std::make_shared<MembersViewModel>(std::vector<MembersViewModel::Member>{{kAccount, "member", "fp"}});
    QCoro::waitFor(model->load());
    QCoro::waitFor(model->remove(kAccount));
    EXPECT_EQ(model->members().size(), 1u);
    EXPECT_EQ(model->errorMessage(), std::nullopt);
}

TEST(InvitesModelTest, AFailedListingKeepsTheLastListAndSaysSoUntilAGoodOne) {
    auto api = std::make_shared<ScriptedInviteAPI>();
    InviteDTO pending;
    pending.id = "I1";
    pending.status = "pending";
    api->invites = {pending};
    auto model = std::make_shared<InvitesModel>(api, kOrg);
    QCoro::waitFor(model->reload());
    ASSERT_EQ(model->invites().size(), 1u);

    api->failOn("listInvites");
    api->failOn("revokeInvite");
    QCoro::waitFor(model->revoke("I1"));
    EXPECT_EQ(api->calls(), (std::vector<std::string>{"listInvites", "revokeInvite", "listInvites"}));
    EXPECT_EQ(model->invites().size(), 1u);
    EXPECT_EQ(model->errorMessage(), InvitesModel::kLoadFailed);

    api->succeedOn("listInvites");
    api->invites.clear();
    QCoro::waitFor(model->reload());
    EXPECT_TRUE(model->invites().empty());
    EXPECT_EQ(model->errorMessage(), std::nullopt);
}

// --- new invite ---

TEST(NewInviteViewModelTest, DefaultRoleFollowsWhatTheCallerMayGive) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"owner", "member"}, {"admin", "member"}, {"member", "member"}, {"viewer", "viewer"}, {"boss", "viewer"}};
    for (const auto& [caller, role] : cases) {
        NewInviteViewModel model(nullptr, kOrg, "https://h", caller, "P", "You", {});
        EXPECT_EQ(model.role(), role) << caller;
        EXPECT_TRUE(model.canCreate()) << caller;
    }
    NewInviteViewModel viewer(nullptr, kOrg, "https://h", "viewer", "P", "You", {});
    viewer.setRole("member");
    EXPECT_FALSE(viewer.canCreate());
}

TEST(NewInviteViewModelTest, CreatesOnceAtATimeAndKeepsTheLinkAfterALaterFailure) {
    auto api = std::make_shared<ScriptedInviteAPI>();
    auto model = std::make_shared<NewInviteViewModel>(api, kOrg, "https://vael.example:8443", "owner", "Personal",
                                                      "You", std::vector<SharingFolder>{{kFolderA, "local"}});
    EXPECT_EQ(model->ttlHours(), 72);
    model->setEmail("   ");
    model->setFolderSelected(kFolderA, true);
    api->holdOn("createInvite");
    auto first = model->create();
    ASSERT_TRUE(spinUntil([&] { return api->waiting("createInvite"); }));
    EXPECT_FALSE(model->canCreate());
    QCoro::waitFor(model->create());  // busy: returns at once
    api->letGo();
    QCoro::waitFor(std::move(first));
    ASSERT_EQ(api->createArgs.size(), 1u);
    EXPECT_EQ(api->createArgs[0].role, "member");
    EXPECT_EQ(api->createArgs[0].folderIds, std::vector<Uuid>{kFolderA});
    EXPECT_EQ(api->createArgs[0].email, std::optional<std::string>("   "));
    EXPECT_EQ(api->createArgs[0].pinnedHandle, std::nullopt);
    EXPECT_EQ(api->createArgs[0].ttlHours, 72);
    EXPECT_EQ(model->inviteLink(), std::optional<std::string>("https://vael.example:8443/invite#tok-123"));

    api->failOn("createInvite");
    model->setEmail("");
    QCoro::waitFor(model->create());
    EXPECT_EQ(model->errorMessage(), NewInviteViewModel::kCreateFailed);
    EXPECT_EQ(model->inviteLink(), std::optional<std::string>("https://vael.example:8443/invite#tok-123"));
    EXPECT_FALSE(model->busy());

    api->succeedOn("createInvite");
    QCoro::waitFor(model->create());
    EXPECT_EQ(api->createArgs.back().email, std::nullopt);  // empty: none
    EXPECT_EQ(model->errorMessage(), std::nullopt);
}

// --- the sealing guard ---

TEST(SharingViewModelTest, SealsOnlyConfirmedKeysThatGiveTheExactFingerprint) {
    TestAccount owner, invitee, stranger;
    const auto key = owner.vault->newCollectionKey();
    const auto& pub = invitee.keys.accountPublicKeys;

    SharingViewModel unconfirmed("", invitee.fingerprint());
    try {
        await(unconfirmed.sealKey(key, pub.x25519, pub.ed25519, owner.vault));
        FAIL();
    } catch (const SharingViewModel::SharingError& e) {
        EXPECT_EQ(e.code(), SharingViewModel::SharingError::Case::fingerprintNotConfirmed);
    }

    auto upper = QString::fromStdString(invitee.fingerprint()).toUpper().toStdString();
    for (const auto& [fingerprint, ed] : std::vector<std::pair<std::string, Bytes>>{
             {upper, pub.ed25519},
             {invitee.fingerprint(), stranger.keys.accountPublicKeys.ed25519}}) {
        SharingViewModel guard("", fingerprint);
        guard.setFingerprintConfirmed(true);
        EXPECT_TRUE(guard.canShare());
        try {
            await(guard.sealKey(key, pub.x25519, ed, owner.vault));
            FAIL();
        } catch (const SharingViewModel::SharingError& e) {
            EXPECT_EQ(e.code(), SharingViewModel::SharingError::Case::fingerprintMismatch);
        }
    }

    SharingViewModel guard("someone", invitee.fingerprint());
    guard.setFingerprintConfirmed(true);
    auto sealed = await(guard.sealKey(key, pub.x25519, pub.ed25519, owner.vault));
    EXPECT_TRUE(sameGroupKey(*owner.vault, key, *invitee.vault, invitee.vault->openSealedCollectionKey(sealed)));
}

// --- verify and grant ---

struct VerifyGrantFixture : ::testing::Test {
    TestAccount owner, invitee;
    std::shared_ptr<ScriptedInviteAPI> api = std::make_shared<ScriptedInviteAPI>();
    std::shared_ptr<InMemoryTrustedKeyStore> pins = std::make_shared<InMemoryTrustedKeyStore>();
    SharingKeys keys;

    void SetUp() override {
        keys[kFolderA] = owner.vault->newCollectionKey();
        keys[kFolderB] = owner.vault->newCollectionKey();
        api->invite.id = "I1";
        api->invite.role = "member";
        api->invite.status = "claimed";
        api->invite.claimedAccountId = kAccount;
        api->invite.inviteeX25519PublicKey = invitee.x25519();
        api->invite.inviteeEd25519PublicKey = invitee.ed25519();
    }
    std::shared_ptr<VerifyGrantViewModel> loaded(std::uint32_t epoch = 0) {
        auto model = std::make_shared<VerifyGrantViewModel>(api, owner.vault, pins, kOrg, "I1", keys, epoch);
        QCoro::waitFor(model->load());
        return model;
    }
};

TEST(VerifyGrantNormalizeTest, IgnoresCaseAndWhiteSpaceOnly) {
    EXPECT_EQ(VerifyGrantViewModel::normalize(" AB cd\t12\n34\u00a0EF "), "abcd1234ef");
    EXPECT_EQ(VerifyGrantViewModel::normalize("ab:cd-ef"), "ab:cd-ef");
}

TEST_F(VerifyGrantFixture, LoadFailuresEndInTheirSentence) {
    struct Case {
        std::function<void()> script;
        const char* message;
    };
    const std::vector<Case> cases{
        {[&] { api->failOn("getInvite"); }, VerifyGrantViewModel::kLoadFailed},
        {[&] { api->invite.status = "Claimed"; }, VerifyGrantViewModel::kNotClaimed},
        {[&] { api->invite.inviteeEd25519PublicKey = std::nullopt; }, VerifyGrantViewModel::kNoKeys},
        {[&] { api->invite.inviteeX25519PublicKey = "not base64url!"; }, VerifyGrantViewModel::kNoKeys},
    };
    for (const auto& c : cases) {
        SetUp();
        api->succeedOn("getInvite");
        c.script();
        auto model = loaded();
        EXPECT_EQ(model->state(), VerifyGrantViewModel::State::error);
        EXPECT_EQ(model->errorMessage(), std::optional<std::string>(c.message));
        EXPECT_TRUE(model->derivedFingerprint().empty());
        EXPECT_FALSE(model->fingerprintMatches());
        QCoro::waitFor(model->confirmAndGrant());
        EXPECT_EQ(model->errorMessage(), std::optional<std::string>(c.message));
    }
}

TEST_F(VerifyGrantFixture, OffersTheInvitesFoldersThatHaveKeys) {
    api->invite.folderIds = std::vector<Uuid>{kFolderC, kFolderB};
    auto model = loaded();
    EXPECT_EQ(model->grantableCollections(), std::vector<Uuid>{kFolderB});
    EXPECT_EQ(model->selectedCollectionIDs(), std::set<Uuid>{kFolderB});

    api->invite.folderIds = std::vector<Uuid>{};
    EXPECT_TRUE(loaded()->grantableCollections().empty());
    api->invite.folderIds = std::nullopt;
    EXPECT_EQ(loaded()->grantableCollections(), (std::vector<Uuid>{kFolderA, kFolderB}));
}

TEST_F(VerifyGrantFixture, GrantsSortedSealedAndSignedAfterPinning) {
    api->invite.folderIds = std::vector<Uuid>{kFolderB, kFolderA};
    auto model = loaded(7);
    ASSERT_EQ(model->state(), VerifyGrantViewModel::State::ready);
    EXPECT_EQ(model->derivedFingerprint(), invitee.fingerprint());

    model->setTypedFingerprint(invitee.fingerprint().substr(1));
    QCoro::waitFor(model->confirmAndGrant());
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(VerifyGrantViewModel::kMismatch));

    model->setTypedFingerprint("  " + QString::fromStdString(invitee.fingerprint()).toUpper().toStdString() + "\n");
    ASSERT_TRUE(model->fingerprintMatches());
    model->setCollectionSelected(kFolderA, false);
    model->setCollectionSelected(kFolderB, false);
    QCoro::waitFor(model->confirmAndGrant());
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(VerifyGrantViewModel::kNoFolder));
    EXPECT_EQ(pins->pinnedFingerprint(kAccount), std::nullopt);

    model->setCollectionSelected(kFolderB, true);
    model->setCollectionSelected(kFolderA, true);
    api->failOn("grantInvite");
    QCoro::waitFor(model->confirmAndGrant());
    EXPECT_EQ(model->state(), VerifyGrantViewModel::State::ready);
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(VerifyGrantViewModel::kGrantFailed));
    EXPECT_EQ(pins->pinnedFingerprint(kAccount), std::optional(invitee.fingerprint()));  // kept after the failure

    api->succeedOn("grantInvite");
    QCoro::waitFor(model->confirmAndGrant());
    ASSERT_EQ(model->state(), VerifyGrantViewModel::State::granted);
    ASSERT_EQ(api->grantedInvite.size(), 2u);
    EXPECT_EQ(api->grantedInvite[0].collectionId, kFolderA);
    EXPECT_EQ(api->grantedInvite[1].collectionId, kFolderB);
    for (const auto& grant : api->grantedInvite) {
        auto opened = invitee.vault->openSealedCollectionKey(*Base64URL::decode(grant.sealedKey));
        EXPECT_TRUE(sameGroupKey(*owner.vault, keys[grant.collectionId], *invitee.vault, opened));
        EXPECT_TRUE(invitee.vault->verifyGrant(*Base64URL::decode(grant.signature), grant.collectionId, 7, opened,
                                               invitee.keys.accountPublicKeys.x25519, kOrg,
                                               owner.keys.accountPublicKeys.ed25519));
    }
    QCoro::waitFor(model->confirmAndGrant());  // granted: nothing more is sent
    EXPECT_EQ(api->count("grantInvite"), 2);
}

TEST_F(VerifyGrantFixture, AnotherPinnedKeyOrNoClaimedAccountSendsNothing) {
    pins->pin("0000 1111", kAccount);
    auto model = loaded();
    model->setTypedFingerprint(invitee.fingerprint());
    QCoro::waitFor(model->confirmAndGrant());
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(VerifyGrantViewModel::kKeyChanged));
    EXPECT_EQ(pins->pinnedFingerprint(kAccount), std::optional<std::string>("0000 1111"));

    api->invite.claimedAccountId = std::nullopt;
    auto unclaimed = loaded();
    unclaimed->setTypedFingerprint(invitee.fingerprint());
    QCoro::waitFor(unclaimed->confirmAndGrant());
    EXPECT_EQ(unclaimed->errorMessage(), std::optional<std::string>(VerifyGrantViewModel::kNoAccount));
    EXPECT_EQ(api->count("grantInvite"), 0);
}

// --- add an existing member ---

struct AddExistingFixture : VerifyGrantFixture {
    std::shared_ptr<AddExistingMemberViewModel> model;
    void SetUp() override {
        VerifyGrantFixture::SetUp();
        api->account = AccountDTO{kAccount, "sam", invitee.x25519(), invitee.ed25519()};
        model = std::make_shared<AddExistingMemberViewModel>(api, owner.vault, pins, kOrg, keys);
    }
};

TEST_F(AddExistingFixture, TypedFingerprintPinsThenGrantsSortedKeys) {
    model->setCollectionSelected(kFolderC, true);  // no key: left out without a message
    model->setCollectionSelected(kFolderB, true);
    model->setCollectionSelected(kFolderA, true);
    model->setRole("viewer");
    QSignalSpy derived(model.get(), &AddExistingMemberViewModel::derivedFingerprintChanged);
    QCoro::waitFor(model->lookup("sam"));
    ASSERT_EQ(model->state(), AddExistingMemberViewModel::State::found);
    EXPECT_EQ(derived.count(), 1);
    QCoro::waitFor(model->lookup("sam"));  // the same keys: no change
    EXPECT_EQ(derived.count(), 1);
    EXPECT_FALSE(model->autoVerified());
    EXPECT_FALSE(model->canGrant());
    QCoro::waitFor(model->grant());
    EXPECT_EQ(api->count("addExistingMember"), 0);

    model->setTypedFingerprint(QString::fromStdString(invitee.fingerprint()).toUpper().toStdString() + " \n");
    ASSERT_TRUE(model->canGrant());
    api->failOn("addExistingMember");
    QCoro::waitFor(model->grant());
    EXPECT_EQ(model->state(), AddExistingMemberViewModel::State::found);
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(AddExistingMemberViewModel::kAddFailed));
    EXPECT_EQ(pins->pinnedFingerprint(kAccount), std::optional(invitee.fingerprint()));

    api->succeedOn("addExistingMember");
    QCoro::waitFor(model->grant());
    ASSERT_EQ(model->state(), AddExistingMemberViewModel::State::granted);
    EXPECT_EQ(api->addedRole, "viewer");
    ASSERT_EQ(api->addedGrants.size(), 2u);
    EXPECT_EQ(api->addedGrants[0].collectionId, kFolderA);
    EXPECT_EQ(api->addedGrants[1].collectionId, kFolderB);
    auto opened = invitee.vault->openSealedCollectionKey(*Base64URL::decode(api->addedGrants[1].sealedKey));
    EXPECT_TRUE(sameGroupKey(*owner.vault, keys[kFolderB], *invitee.vault, opened));
}

TEST_F(AddExistingFixture, PinnedKeysVerifyByThemselvesAndAChangedKeyIsRefused) {
    pins->pin(invitee.fingerprint(), kAccount);
    QCoro::waitFor(model->lookup("sam"));
    EXPECT_TRUE(model->autoVerified());
    model->setCollectionSelected(kFolderA, true);
    EXPECT_TRUE(model->canGrant());

    pins->pin("0000 1111", kAccount);
    QCoro::waitFor(model->lookup("sam"));
    EXPECT_FALSE(model->autoVerified());
    EXPECT_EQ(model->state(), AddExistingMemberViewModel::State::found);
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(AddExistingMemberViewModel::kPinDiffers));
    model->setTypedFingerprint(invitee.fingerprint());
    QCoro::waitFor(model->grant());
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(AddExistingMemberViewModel::kKeyChanged));
    EXPECT_EQ(api->count("addExistingMember"), 0);
}

TEST_F(AddExistingFixture, LookupFailuresHideTheAccountButKeepTheChoices) {
    model->setTypedFingerprint("typed");
    model->setRole("admin");
    api->failOn("lookupAccount");
    QCoro::waitFor(model->lookup("nobody"));
    EXPECT_EQ(model->state(), AddExistingMemberViewModel::State::error);
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(AddExistingMemberViewModel::kNotFound));

    api->succeedOn("lookupAccount");
    api->account.ed25519PublicKey = "***";
    QCoro::waitFor(model->lookup("sam"));
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(AddExistingMemberViewModel::kNoKeys));
    EXPECT_EQ(model->account(), std::nullopt);
    EXPECT_EQ(model->typedFingerprint(), "typed");
    EXPECT_EQ(model->role(), "admin");
    QCoro::waitFor(model->grant());
    EXPECT_EQ(api->count("addExistingMember"), 0);
}

// --- accepting an invite ---

TEST(AcceptInviteViewModelTest, ClaimsThenWaitsAndReportsFailures) {
    TestAccount me, owner;
    auto api = std::make_shared<ScriptedInviteAPI>();
    api->claim = InviteClaimDTO{kOrg, "member"};
    auto model = std::make_shared<AcceptInviteViewModel>(api, me.vault, "tok", "");
    // The server's refusal may mean an expired invite; no answer at all says so.
    const std::pair<APIError, const char*> failures[] = {
        {APIError::notFound(), AcceptInviteViewModel::kClaimFailed},
        {APIError::rejected(410, "gone"), AcceptInviteViewModel::kClaimFailed},
        {APIError::network(-1, "timed out"), AcceptInviteViewModel::kClaimUnreachable},
    };
    for (const auto& [error, sentence] : failures) {
        api->failOn("claimInvite", error);
        QCoro::waitFor(model->accept());
        EXPECT_EQ(model->state(), AcceptInviteViewModel::State::error);
        EXPECT_EQ(model->errorMessage(), std::optional<std::string>(sentence)) << error.what();
    }

    api->succeedOn("claimInvite");
    bool sawBoth = false;
    QObject::connect(model.get(), &AcceptInviteViewModel::stateChanged, [&] {
        if (model->state() == AcceptInviteViewModel::State::waitingForAccess)
            sawBoth = model->orgID() == kOrg && model->role() == "member";
    });
    QCoro::waitFor(model->accept());
    EXPECT_TRUE(sawBoth);
    EXPECT_EQ(model->errorMessage(), std::nullopt);

    QCoro::waitFor(model->receiveSealedKey(Bytes{1, 2, 3}));
    EXPECT_EQ(model->state(), AcceptInviteViewModel::State::waitingForAccess);
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(AcceptInviteViewModel::kOpenFailed));

    const auto key = owner.vault->newCollectionKey();
    QCoro::waitFor(model->receiveSealedKey(owner.vault->sealCollectionKey(key, me.keys.accountPublicKeys.x25519)));
    EXPECT_EQ(model->state(), AcceptInviteViewModel::State::accessGranted);
    ASSERT_TRUE(model->openedCollectionKey());
    EXPECT_TRUE(sameGroupKey(*owner.vault, key, *me.vault, *model->openedCollectionKey()));
}

// --- rotation ---

struct RotateFixture : ::testing::Test {
    TestAccount owner, alice, bob;
    std::shared_ptr<ScriptedInviteAPI> api = std::make_shared<ScriptedInviteAPI>();
    std::shared_ptr<InMemoryTrustedKeyStore> pins = std::make_shared<InMemoryTrustedKeyStore>();
    CollectionKey oldKey = owner.vault->newCollectionKey();
    const Uuid aliceID = uuid("A1000000-0000-0000-0000-000000000000");
    const Uuid bobID = uuid("B0000000-0000-0000-0000-000000000000");
    const Uuid item1 = uuid("11000000-0000-0000-0000-000000000000");
    const Uuid item2 = uuid("22000000-0000-0000-0000-000000000000");
    std::map<Uuid, Bytes> itemKeys;

    void SetUp() override {
        api->members = {MemberDTO{bobID, "viewer", "", bob.x25519(), bob.ed25519()},
                        MemberDTO{aliceID, "member", "", alice.x25519(), alice.ed25519()}};
        for (const auto& id : {item2, item1})
            itemKeys[id] = owner.vault->sealBlob(SecureBytes(std::string_view("secret")), id, oldKey).wrappedKey;
    }
    std::shared_ptr<RotateCollectionViewModel> rotation(std::uint32_t epoch) {
        return std::make_shared<RotateCollectionViewModel>(api, owner.vault, pins, kOrg, kFolderA, oldKey, epoch,
                                                           itemKeys);
    }
};

TEST_F(RotateFixture, SendsSortedGrantsAndItemKeysUnderTheNextEpoch) {
    auto model = rotation(7);
    QSignalSpy key(model.get(), &RotateCollectionViewModel::newCollectionKeyChanged);
    QSignalSpy epoch(model.get(), &RotateCollectionViewModel::newKeyEpochChanged);
    QCoro::waitFor(model->rotate());
    ASSERT_EQ(model->state(), RotateCollectionViewModel::State::rotated);
    EXPECT_EQ(model->newKeyEpoch(), 8u);
    EXPECT_EQ(key.count(), 1);
    EXPECT_EQ(epoch.count(), 1);
    EXPECT_EQ(api->rotatedEpoch, 8u);
    ASSERT_EQ(api->rotatedGrants.size(), 2u);
    EXPECT_EQ(api->rotatedGrants[0].accountId, aliceID);
    EXPECT_EQ(api->rotatedGrants[1].accountId, bobID);
    auto opened = bob.vault->openSealedCollectionKey(*Base64URL::decode(api->rotatedGrants[1].sealedKey));
    EXPECT_TRUE(sameGroupKey(*owner.vault, *model->newCollectionKey(), *bob.vault, opened));
    EXPECT_TRUE(bob.vault->verifyGrant(*Base64URL::decode(api->rotatedGrants[1].signature), kFolderA, 8, opened,
                                       bob.keys.accountPublicKeys.x25519, kOrg, owner.keys.accountPublicKeys.ed25519));
    ASSERT_EQ(api->rotatedItemKeys.size(), 2u);
    EXPECT_EQ(api->rotatedItemKeys[0].itemId, item1);
    EXPECT_EQ(api->rotatedItemKeys[1].itemId, item2);
    EXPECT_EQ(pins->pinnedFingerprint(bobID), std::optional(bob.fingerprint()));

    QCoro::waitFor(model->rotate());  // rotated is final
    EXPECT_EQ(api->count("listMembers"), 1);

    auto wrapping = rotation(4294967295u);
    QCoro::waitFor(wrapping->rotate());
    EXPECT_EQ(api->rotatedEpoch, 0u);
}

TEST_F(RotateFixture, AnyFailedCheckOrStepSendsNothing) {
    struct Case {
        std::function<void()> script;
        const char* message;
    };
    const std::vector<Case> cases{
        {[&] { api->members[0].ed25519PublicKey = std::nullopt; }, RotateCollectionViewModel::kNoKeys},
        {[&] { pins->pin("0000", bobID); }, RotateCollectionViewModel::kKeyChanged},
        {[&] { api->members.clear(); }, RotateCollectionViewModel::kNoMembers},
        {[&] { api->failOn("listMembers"); }, RotateCollectionViewModel::kFailed},
        {[&] { itemKeys[item1] = Bytes{1, 2, 3}; }, RotateCollectionViewModel::kFailed},
    };
    for (const auto& c : cases) {
        pins = std::make_shared<InMemoryTrustedKeyStore>();
        api = std::make_shared<ScriptedInviteAPI>();
        itemKeys.clear();
        SetUp();
        c.script();
        auto model = rotation(0);
        QCoro::waitFor(model->rotate());
        EXPECT_EQ(model->state(), RotateCollectionViewModel::State::error);
        EXPECT_EQ(model->errorMessage(), std::optional<std::string>(c.message));
        EXPECT_EQ(model->newCollectionKey(), std::nullopt);
        EXPECT_EQ(api->count("rotateCollectionKey"), 0);
        // The first member in id order was checked, and pinned, before the second one failed.
        if (c.message == RotateCollectionViewModel::kNoKeys) {
            EXPECT_EQ(pins->pinnedFingerprint(aliceID), std::optional(alice.fingerprint()));
        }
    }

    api = std::make_shared<ScriptedInviteAPI>();
    SetUp();
    api->failOn("rotateCollectionKey");
    auto model = rotation(0);
    QCoro::waitFor(model->rotate());
    EXPECT_EQ(model->errorMessage(), std::optional<std::string>(RotateCollectionViewModel::kFailed));
    EXPECT_EQ(model->newKeyEpoch(), 0u);
    api->succeedOn("rotateCollectionKey");
    QCoro::waitFor(model->rotate());  // after an error it runs again
    EXPECT_EQ(model->state(), RotateCollectionViewModel::State::rotated);
}

}  // namespace
}  // namespace vael::testing

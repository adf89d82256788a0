#include <gtest/gtest.h>

#include <fstream>

#include "app/model/sharing/AcceptInviteViewModel.h"
#include "app/model/sharing/RotateCollectionViewModel.h"
#include "model/ItemFixtures.h"
#include "model/SharingFixtures.h"
#include "store/RecordJson.h"

namespace vael::testing {
namespace {

// An unlocked model whose invite interface is scripted; a second connection peeks at the replica.
struct SharingVault : ::testing::Test {
    std::shared_ptr<ScriptedInviteAPI> invites = std::make_shared<ScriptedInviteAPI>();
    ModelHarness h{services(invites)};
    AppModel& m = *h.model;
    std::unique_ptr<VaelStore> peek;
    TestAccount member;

    static AppModelServices services(std::shared_ptr<ScriptedInviteAPI> invites) {
        AppModelServices s;
        s.syncAPI = std::make_shared<RecordingSyncAPI>();
        s.bootstrapAPI = std::make_shared<AcceptingBootstrapAPI>();
        s.inviteAPI = std::move(invites);
        s.serverBaseURL = "https://vael.example:8443/api/v1";
        return s;
    }
    void SetUp() override {
        h.create();
        ASSERT_TRUE(m.hasSession());
        peek = std::make_unique<VaelStore>(h.home.paths().replica);
        invites->members = {MemberDTO{Uuid::random(), "member", "", member.x25519(), member.ed25519()}};
    }
    std::vector<std::string> itemNames() {
        std::vector<std::string> names;
        for (const auto& row : await(m.listItems())) names.push_back(row.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> projectNames() {
        std::vector<std::string> names;
        for (const auto& project : await(m.vaultTree())) names.push_back(project.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    void execSQL(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(h.home.paths().replica.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
};

TEST_F(SharingVault, TheContextSharesTheDefaultGroupUnderTheOpenKey) {
    auto context = m.makeSharingContext();
    ASSERT_TRUE(context);
    EXPECT_EQ(context->api, m.inviteAPI());
    EXPECT_EQ(context->orgID, AppModel::localOrgID());
    EXPECT_EQ(context->callerRole, "owner");
    EXPECT_EQ(context->orgLabel, "Personal");
    EXPECT_EQ(context->inviterLabel, "You");
    EXPECT_EQ(context->publicBaseURL, "https://vael.example:8443");
    EXPECT_EQ(context->folders, (std::vector<SharingFolder>{{AppModel::localCollectionID(), "local"}}));
    ASSERT_EQ(context->collectionKeys.size(), 1u);
    EXPECT_TRUE(sameGroupKey(*m.vault(), *m.collectionKey(), *m.vault(),
                             context->collectionKeys.at(AppModel::localCollectionID())));

    EXPECT_EQ(m.makeAcceptInviteViewModel("tok")->ownFingerprint(),
              ModelHarness::sharedVault().accountPublicKeys.fingerprint());
    h.lock();
    EXPECT_FALSE(m.makeSharingContext());
    EXPECT_FALSE(m.makeRotateCollectionViewModel(0));
    std::filesystem::remove(h.home.paths().vaultConfig);
    EXPECT_EQ(m.makeAcceptInviteViewModel("tok")->ownFingerprint(), "");
}

TEST_F(SharingVault, RotationSwitchesTheGroupItemsAndProjectNamesTogether) {
    await(m.addItem("GitHub", "token", "ghp-1", "injectable", std::nullopt));
    await(m.addItem("AWS", "key", "aws-1", "injectable", std::nullopt));
    ASSERT_TRUE(await(m.createProject("Work")));
    const auto before = peek->collection(AppModel::localCollectionID())->wrappedKey;

    await(m.rotateLocalCollection(3));
    EXPECT_EQ(m.errorMessage(), std::nullopt);
    EXPECT_EQ(invites->rotatedEpoch, 4u);
    EXPECT_EQ(invites->rotatedItemKeys.size(), 2u);
    EXPECT_NE(peek->collection(AppModel::localCollectionID())->wrappedKey, before);
    EXPECT_EQ(itemNames(), (std::vector<std::string>{"AWS", "GitHub"}));
    EXPECT_EQ(projectNames(), (std::vector<std::string>{"Personal", "Work"}));

    // The stored group key is the new one: the next session opens everything.
    h.lock();
    h.unlock();
    EXPECT_EQ(itemNames(), (std::vector<std::string>{"AWS", "GitHub"}));
    EXPECT_EQ(projectNames(), (std::vector<std::string>{"Personal", "Work"}));
}

TEST_F(SharingVault, AFailedLocalUpdateWritesNothingAndKeepsTheOldKey) {
    await(m.addItem("GitHub", "token", "ghp-1", "injectable", std::nullopt));
    const auto group = peek->collection(AppModel::localCollectionID());
    const auto items = peek->items(AppModel::localCollectionID());
    execSQL("CREATE TRIGGER refuse BEFORE UPDATE ON projects BEGIN SELECT RAISE(ABORT, 'refused'); END;");

    await(m.rotateLocalCollection(0));
    EXPECT_EQ(invites->count("rotateCollectionKey"), 1);
    EXPECT_EQ(m.errorMessage(), std::optional<std::string>(AppModel::kLocalRotationFailed));
    EXPECT_EQ(peek->collection(AppModel::localCollectionID()), group);
    EXPECT_EQ(peek->items(AppModel::localCollectionID()), items);
    EXPECT_EQ(itemNames(), std::vector<std::string>{"GitHub"});
}

TEST_F(SharingVault, ServerRefusalsAndUnreadableItemsChangeNothingLocally) {
    invites->members.clear();
    await(m.rotateLocalCollection(0));
    EXPECT_EQ(m.errorMessage(), std::optional<std::string>(RotateCollectionViewModel::kNoMembers));

    invites->members = {MemberDTO{Uuid::random(), "member", "", member.x25519(), member.ed25519()}};
    const auto callsBefore = invites->calls().size();
    execSQL("DROP TABLE items;");
    await(m.rotateLocalCollection(0));
    EXPECT_EQ(m.errorMessage(), std::optional<std::string>(AppModel::kRotationFailed));
    EXPECT_EQ(invites->calls().size(), callsBefore);  // nothing asked, nothing sent
}

QCoro::Task<> addLate(AppModel* model, bool* added, std::exception_ptr* failure) {
    try {
        co_await model->addItem("Late", "token", "late-1", "injectable", std::nullopt);
        *added = true;
    } catch (...) {
        *failure = std::current_exception();
    }
}

TEST_F(SharingVault, WritesToTheDefaultGroupWaitForTheKeySwitch) {
    await(m.addItem("GitHub", "token", "ghp-1", "injectable", std::nullopt));
    invites->holdOn("rotateCollectionKey");
    auto rotating = m.rotateLocalCollection(0);
    ASSERT_TRUE(spinUntil([&] { return invites->waiting("rotateCollectionKey"); }));

    // Began under the key being retired: it waits, then fails rather than land under that key.
    std::exception_ptr failure;
    bool added = false;
    auto adding = addLate(&m, &added, &failure);
    for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(peek->items(AppModel::localCollectionID()).size(), 1u);

    invites->letGo();
    QCoro::waitFor(std::move(rotating));
    ASSERT_TRUE(spinUntil([&] { return added || failure; }));
    EXPECT_FALSE(added);
    EXPECT_EQ(invites->rotatedItemKeys.size(), 1u);
    EXPECT_EQ(itemNames(), std::vector<std::string>{"GitHub"});

    // Begun after the switch, under the new key.
    await(m.addItem("Later", "token", "later-1", "injectable", std::nullopt));
    EXPECT_EQ(itemNames(), (std::vector<std::string>{"GitHub", "Later"}));
}

// An item change still waiting for the server is sent as it was queued: its item key must open under
// the group key the server holds after the rotation.
TEST_F(SharingVault, RotationRewrapsTheItemKeysOfQueuedChanges) {
    ItemPayload payload;
    payload.name = "GitHub";
    const auto id = await(m.addItem(std::move(payload), "login", "injectable", std::nullopt));
    await(m.setOTPField(id, "JBSWY3DPEHPK3PXP"));
    ASSERT_EQ(peek->pendingOps(id).size(), 1u);

    await(m.rotateLocalCollection(0));
    ASSERT_EQ(m.errorMessage(), std::nullopt);
    const auto queued = itemBodyFromJson(textView(peek->pendingOps(id).front().payloadBlob));
    const auto opened = itemlayout::openPayload(*m.vault(), queued.toRecord(false), *m.collectionKey());
    EXPECT_EQ(opened.name, "GitHub");
    EXPECT_EQ(opened.fields.size(), 1u);
}

// Locked while the server takes the new key: the local copy still switches to it.
TEST_F(SharingVault, ALockDuringTheRotationsServerCallKeepsTheNewKey) {
    await(m.addItem("GitHub", "token", "ghp-1", "injectable", std::nullopt));
    const auto before = peek->collection(AppModel::localCollectionID())->wrappedKey;
    invites->holdOn("rotateCollectionKey");
    auto rotating = m.rotateLocalCollection(0);
    ASSERT_TRUE(spinUntil([&] { return invites->waiting("rotateCollectionKey"); }));
    auto locking = m.lock();
    invites->letGo();
    QCoro::waitFor(std::move(rotating));
    QCoro::waitFor(std::move(locking));
    EXPECT_EQ(m.phase(), AppModel::Phase::locked);
    EXPECT_NE(peek->collection(AppModel::localCollectionID())->wrappedKey, before);

    h.unlock();
    EXPECT_EQ(itemNames(), std::vector<std::string>{"GitHub"});
}

}  // namespace
}  // namespace vael::testing

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QAccessible>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "ui/UiFixtures.h"
#include "app/ui/sharing/AddExistingMemberSheet.h"
#include "app/ui/sharing/InviteAcceptScreen.h"
#include "app/ui/sharing/MembersScreen.h"
#include "app/ui/sharing/NewInviteSheet.h"
#include "app/ui/sharing/SharingWidgets.h"
#include "app/ui/sharing/VerifyGrantSheet.h"
#include "model/ItemFixtures.h"
#include "model/SharingFixtures.h"

namespace vael {
namespace {

using testing::child;
using testing::ModelHarness;
using testing::ScriptedInviteAPI;
using testing::settle;
using testing::spinUntil;
using testing::TestAccount;

const Uuid kFolder = AppModel::localCollectionID();
const Uuid kAccount = Uuid::fromText("AC000000-0000-0000-0000-000000000001");

// Saves what a user would see when VAEL_SHOTS names a folder; the test never depends on it.
void shoot(QWidget* widget, const QString& name) {
    const auto folder = qEnvironmentVariable("VAEL_SHOTS");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    settle();
    widget->grab().save(folder + "/" + name + ".png");
}

struct SharingScreens : ::testing::Test {
    TestAccount owner, invitee;
    std::shared_ptr<ScriptedInviteAPI> api = std::make_shared<ScriptedInviteAPI>();
    std::shared_ptr<InMemoryTrustedKeyStore> pins = std::make_shared<InMemoryTrustedKeyStore>();
    testing::ScriptedTimerSource timers;
    SharingContext context;

    void SetUp() override {
        context = SharingContext{api, owner.vault, pins, AppModel::localOrgID(), "owner", "Personal", "You",
                                 "https://vael.example", {{kFolder, "local"}}, {{kFolder, owner.vault->newCollectionKey()}}};
        api->members = {MemberDTO{kAccount, "admin", invitee.fingerprint(), {}, {}}};
        InviteDTO claimed;
        claimed.id = "I-CLAIMED";
        claimed.role = "member";
        claimed.status = "claimed";
        claimed.recipient = "robin@example.com";
        claimed.claimedAccountId = kAccount;
        claimed.inviteeX25519PublicKey = invitee.x25519();
        claimed.inviteeEd25519PublicKey = invitee.ed25519();
        InviteDTO pending;
        pending.id = "I-PENDING";
        pending.role = "viewer";
        pending.status = "pending";
        InviteDTO expired = pending;
        expired.id = "I-OTHER";
        expired.status = "Claimed";
        api->invites = {claimed, pending, expired};
        api->invite = claimed;
        api->account = AccountDTO{kAccount, "robin", invitee.x25519(), invitee.ed25519()};
    }
};

TEST_F(SharingScreens, MembersScreenListsMembersAndInvitesWithTheirButtons) {
    MembersScreen screen(context, timers);
    screen.show();
    ASSERT_TRUE(spinUntil([&] { return api->count("listInvites") == 1 && !screen.invitesModel()->invites().empty(); }));
    settle();
    EXPECT_TRUE(child<QWidget>(&screen, "members.member." + QString::fromStdString(kAccount.text())));
    EXPECT_TRUE(child<QPushButton>(&screen, "members.verify.I-CLAIMED"));
    EXPECT_TRUE(child<QPushButton>(&screen, "members.revoke.I-PENDING"));
    EXPECT_EQ(screen.findChild<QPushButton*>("members.verify.I-OTHER"), nullptr);
    EXPECT_EQ(screen.findChild<QPushButton*>("members.revoke.I-OTHER"), nullptr);
    shoot(&screen, "members");

    // The server goes away: the list stays, and the error line says both lists failed.
    api->failOn("listMembers");
    api->failOn("listInvites");
    screen.reload();
    ASSERT_TRUE(spinUntil([&] { return screen.invitesModel()->errorMessage().has_value(); }));
    settle();
    EXPECT_TRUE(child<QPushButton>(&screen, "members.revoke.I-PENDING"));
    EXPECT_EQ(child<ErrorBar>(&screen, "errorBar")->message(), "Could not load members. Could not load invites.");
    shoot(&screen, "members-offline");

    api->succeedOn("listMembers");
    api->succeedOn("listInvites");
    api->invites.clear();
    screen.reload();
    ASSERT_TRUE(spinUntil([&] { return screen.invitesModel()->invites().empty(); }));
    settle();
    EXPECT_FALSE(child<ErrorBar>(&screen, "errorBar")->isVisible());
    EXPECT_FALSE(screen.tree()->findItems("No invites yet", Qt::MatchRecursive).isEmpty());
}

// Folder names and the server's role, status and recipient texts show exactly as written, on one
// line: "&" is no mnemonic, line breaks, bidi controls and invisible characters go.
TEST_F(SharingScreens, StoredAndServerTextsShowPlainOnOneLine) {
    context.folders = {{kFolder, "R&D\nLab\u202E\u200B"}};
    api->members = {MemberDTO{kAccount, "ad&min\n\u2066x", invitee.fingerprint(), {}, {}}};
    api->invites.front().recipient = "robin\u202E@example.com\nnext line";
    MembersScreen screen(context, timers);
    screen.show();
    ASSERT_TRUE(spinUntil([&] { return api->count("listInvites") == 1 && !screen.invitesModel()->invites().empty(); }));
    settle();
    const auto id = QString::fromStdString(kAccount.text());
    auto* role = child<QToolButton>(&screen, "members.role." + id);
    EXPECT_EQ(role->text(), "ad&&min x");
    const auto texts = [](QWidget* box) {
        QStringList shown;
        for (auto* label : box->findChildren<QLabel*>()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            shown << label->text();
        }
        return shown;
    };
    EXPECT_TRUE(texts(child<QWidget>(&screen, "members.memberText." + id)).contains("ad&min x"));
    EXPECT_TRUE(texts(child<QWidget>(&screen, "members.inviteText.I-CLAIMED")).contains("robin@example.com next line"));
    shoot(&screen, "members-server-texts");

    auto vm = std::make_shared<VerifyGrantViewModel>(api, owner.vault, pins, context.orgID, "I-CLAIMED",
                                                     context.collectionKeys, 0);
    auto* sheet = new VerifyGrantSheet(context, vm, [] {});
    sheet->show();
    QCoro::waitFor(vm->load());
    settle();
    auto* folder = child<QCheckBox>(sheet, "verifyGrant.folder." + QString::fromStdString(kFolder.text()));
    EXPECT_EQ(folder->text(), "R&&D Lab");
    EXPECT_EQ(folder->accessibleName(), "R&D Lab");
    shoot(sheet, "verify-folder-names");
    sheet->close();
    settle();
}

TEST_F(SharingScreens, NewInviteSheetCreatesOnceThenShowsTheLink) {
    auto vm = std::make_shared<NewInviteViewModel>(api, context.orgID, context.publicBaseURL, "owner", "Personal",
                                                   "You", context.folders);
    auto* sheet = new NewInviteSheet(vm, timers);
    sheet->show();
    EXPECT_EQ(sheet->size(), QSize(460, 520));
    auto* expiry = child<QSpinBox>(sheet, "newInvite.expiry");
    EXPECT_EQ(expiry->text(), "Expires in 72 h");
    expiry->setValue(500);
    EXPECT_EQ(vm->ttlHours(), 168);
    EXPECT_EQ(child<QComboBox>(sheet, "newInvite.role")->currentText(), "member");
    shoot(sheet, "new-invite");
    // Return creates nothing, from the form or from a focused button.
    for (const char* name : {"newInvite.expiry", "newInvite.close", "newInvite.create"}) {
        child<QWidget>(sheet, name)->setFocus();
        QTest::keyClick(child<QWidget>(sheet, name), Qt::Key_Return);
    }
    settle();
    EXPECT_FALSE(vm->busy());
    EXPECT_EQ(api->count("createInvite"), 0);
    EXPECT_TRUE(sheet->isVisible());

    api->failOn("createInvite");
    QTest::mouseClick(child<QPushButton>(sheet, "newInvite.create"), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return vm->errorMessage().has_value(); }));
    EXPECT_TRUE(child<ErrorBar>(sheet, "errorBar")->isVisible());
    shoot(sheet, "new-invite-failed");

    api->succeedOn("createInvite");
    api->created.token = std::string(120, 'x');
    QTest::mouseClick(child<QPushButton>(sheet, "newInvite.create"), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return vm->inviteLink().has_value(); }));
    settle();
    EXPECT_FALSE(child<QPushButton>(sheet, "newInvite.create")->isVisible());
    EXPECT_TRUE(child<QLabel>(sheet, "newInvite.link")->text().contains(QChar(0x2026)));
    shoot(sheet, "new-invite-created");
    QTest::keyClick(sheet, Qt::Key_Escape);
    settle();
}

TEST_F(SharingScreens, VerifyGrantSheetEnablesGrantOnlyForTheMatchingFingerprint) {
    auto vm = std::make_shared<VerifyGrantViewModel>(api, owner.vault, pins, context.orgID, "I-CLAIMED",
                                                     context.collectionKeys, 0);
    int granted = 0;
    auto* sheet = new VerifyGrantSheet(context, vm, [&] { ++granted; });
    sheet->show();
    shoot(sheet, "verify-loading");
    QCoro::waitFor(vm->load());
    settle();
    auto* grant = child<QPushButton>(sheet, "verifyGrant.grant");
    EXPECT_FALSE(grant->isEnabled());
    EXPECT_TRUE(child<QCheckBox>(sheet, "verifyGrant.folder." + QString::fromStdString(kFolder.text()))->isChecked());
    auto* typed = child<QLineEdit>(sheet, "verifyGrant.typed");
    // A screen reader hears the fingerprint to compare, not only its caption.
    auto* shown = QAccessible::queryAccessibleInterface(child<QWidget>(sheet, "verifyGrant.fingerprint"));
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text(QAccessible::Name), "Fingerprint");
    EXPECT_EQ(shown->text(QAccessible::Value).toStdString(), invitee.fingerprint());
    QTest::keyClicks(typed, QString::fromStdString(invitee.fingerprint()).toUpper());
    EXPECT_TRUE(grant->isEnabled());
    typed->backspace();
    EXPECT_FALSE(grant->isEnabled());
    QTest::keyClicks(typed, QString::fromStdString(invitee.fingerprint()).right(1));
    shoot(sheet, "verify-ready");
    // Return neither cancels nor grants: the typed fingerprint stays.
    for (const char* name : {"verifyGrant.typed", "verifyGrant.cancel", "verifyGrant.grant"}) {
        child<QWidget>(sheet, name)->setFocus();
        QTest::keyClick(child<QWidget>(sheet, name), Qt::Key_Return);
    }
    settle();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(vm->state(), VerifyGrantViewModel::State::ready);
    EXPECT_FALSE(typed->text().isEmpty());

    QTest::mouseClick(grant, Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return vm->state() == VerifyGrantViewModel::State::granted; }));
    settle();
    EXPECT_EQ(granted, 1);
    EXPECT_EQ(child<QPushButton>(sheet, "verifyGrant.cancel")->text(), "Done");
    EXPECT_FALSE(grant->isVisible());
    shoot(sheet, "verify-granted");
    QTest::keyClick(sheet, Qt::Key_Escape);  // Done: onGranted once more
    settle();
    EXPECT_EQ(granted, 2);
}

TEST_F(SharingScreens, AVerifyGrantLoadFailureLeavesOnlyCancel) {
    api->failOn("getInvite");
    auto vm = std::make_shared<VerifyGrantViewModel>(api, owner.vault, pins, context.orgID, "I-CLAIMED",
                                                     context.collectionKeys, 0);
    auto* sheet = new VerifyGrantSheet(context, vm, {});
    sheet->show();
    QCoro::waitFor(vm->load());
    settle();
    EXPECT_EQ(child<ErrorBar>(sheet, "errorBar")->message(), "Could not load the invite.");
    EXPECT_FALSE(child<QPushButton>(sheet, "verifyGrant.grant")->isEnabled());
    shoot(sheet, "verify-error");
    sheet->close();
    settle();
}

TEST_F(SharingScreens, AddExistingMemberSheetFollowsLookupAndGrant) {
    auto* sheet = new AddExistingMemberSheet(context);
    sheet->show();
    EXPECT_FALSE(child<QWidget>(sheet, "addMember.found")->isVisible());
    EXPECT_FALSE(child<QPushButton>(sheet, "addMember.add")->isEnabled());
    EXPECT_FALSE(child<ErrorBar>(sheet, "errorBar")->isVisible());
    shoot(sheet, "add-member");

    QTest::keyClicks(child<QLineEdit>(sheet, "addMember.handle"), "robin");
    QTest::mouseClick(child<QPushButton>(sheet, "addMember.lookup"), Qt::LeftButton);
    auto vm = sheet->model();
    ASSERT_TRUE(spinUntil([&] { return vm->state() == AddExistingMemberViewModel::State::found; }));
    settle();
    EXPECT_TRUE(child<QWidget>(sheet, "addMember.found")->isVisible());
    EXPECT_EQ(child<QComboBox>(sheet, "addMember.role")->count(), 4);
    child<QCheckBox>(sheet, "addMember.folder." + QString::fromStdString(kFolder.text()))->setChecked(true);
    EXPECT_FALSE(child<QPushButton>(sheet, "addMember.add")->isEnabled());
    QTest::keyClicks(child<QLineEdit>(sheet, "addMember.typed"), QString::fromStdString(invitee.fingerprint()));
    EXPECT_TRUE(child<QPushButton>(sheet, "addMember.add")->isEnabled());
    shoot(sheet, "add-member-found");

    QTest::mouseClick(child<QPushButton>(sheet, "addMember.add"), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return vm->state() == AddExistingMemberViewModel::State::granted; }));
    settle();
    EXPECT_TRUE(child<QWidget>(sheet, "addMember.added")->isVisible());
    EXPECT_EQ(child<QPushButton>(sheet, "addMember.cancel")->text(), "Done");
    shoot(sheet, "add-member-added");
    sheet->close();
    settle();
}

TEST_F(SharingScreens, InviteAcceptScreenClaimsWaitsAndCancels) {
    ModelHarness h;
    h.create();
    h.model->handleInviteURL("vael://invite/tok-1");
    ASSERT_EQ(h.model->phase(), AppModel::Phase::acceptingInvite);
    InviteAcceptScreen screen(*h.model, *h.model->pendingInvite());
    screen.resize(540, 560);
    screen.show();
    EXPECT_TRUE(child<QWidget>(&screen, "acceptInvite.title")->isVisible());
    shoot(&screen, "accept-invite");

    // The card's own model (the model's invite interface would reach no server).
    auto scripted = std::make_shared<AcceptInviteViewModel>(api, invitee.vault, "tok-1", invitee.fingerprint());
    AcceptInviteCard card(scripted);
    card.show();
    api->failOn("claimInvite");
    QTest::mouseClick(child<QPushButton>(&card, "acceptInvite.accept"), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return scripted->state() == AcceptInviteViewModel::State::error; }));
    EXPECT_EQ(child<QLabel>(&card, "acceptInvite.errorText")->text(), "Could not accept the invite. The server is unreachable.");
    shoot(&card, "accept-invite-error");
    api->succeedOn("claimInvite");
    scripted->accept();
    ASSERT_TRUE(spinUntil([&] { return scripted->state() == AcceptInviteViewModel::State::waitingForAccess; }));
    settle();
    EXPECT_EQ(child<QLabel>(&card, "acceptInvite.fingerprint")->text(), QString::fromStdString(invitee.fingerprint()));
    shoot(&card, "accept-invite-waiting");

    QTest::keyClick(&screen, Qt::Key_Escape);
    EXPECT_EQ(h.model->phase(), AppModel::Phase::unlocked);
    EXPECT_FALSE(h.model->pendingInvite());
}

}  // namespace
}  // namespace vael

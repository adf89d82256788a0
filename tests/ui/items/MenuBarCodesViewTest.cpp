#include <gtest/gtest.h>

#include <QPushButton>
#include <QThreadPool>

#include <latch>

#include "ui/ItemUiFixtures.h"
#include "app/ui/ScreenFactory.h"
#include "app/ui/items/CodesList.h"
#include "app/ui/items/CodesTray.h"
#include "app/ui/items/MenuBarCodesView.h"
#include "model/ItemFixtures.h"

namespace vael {
namespace {

using namespace vael::testing;

const std::string kSeed = "JBSWY3DPEHPK3PXP";

bool showsLocked(MenuBarCodesView& view) {
    return view.size() == QSize(320, 200) && child(&view, "lockedTitle")->isVisible();
}

TEST(MenuBarCodesView, FollowsStoreChangesAndLocks) {
    OpenVault v;
    const auto id = v.item("Mail");
    MenuBarCodesView view(v.m);
    view.show();
    settle();
    EXPECT_EQ(view.size(), QSize(320, 380));
    EXPECT_TRUE(view.codes().empty());
    EXPECT_TRUE(child(&view, "emptyState.title")->isVisible());
    snapshot(view, "tray-empty");

    // A store change adds the code without reopening.
    await(v.m.setOTPField(id, kSeed));
    ASSERT_TRUE(spinUntil([&] { return view.codes().size() == 1; }));
    EXPECT_TRUE(child(&view, "codesList")->isVisible());
    snapshot(view, "tray-codes");

    // Lock: the locked layout at 200, no codes; without a server connection, "Open Vael".
    child<QPushButton>(&view, "lock")->click();
    ASSERT_TRUE(spinUntil([&] { return v.m.phase() == AppModel::Phase::locked; }));
    settle();
    EXPECT_TRUE(showsLocked(view));
    EXPECT_TRUE(view.codes().empty());
    EXPECT_TRUE(child(&view, "openVaelLocked")->isVisible());
    EXPECT_FALSE(child(&view, "unlockWithSecurityKey")->isVisible());
    snapshot(view, "tray-locked");

    // Connected to a server: the unlock button, held while its attempt runs.
    v.m.setServerConnected(true);
    auto* unlock = child<QPushButton>(&view, "unlockWithSecurityKey");
    ASSERT_TRUE(unlock->isVisible());
    unlock->click();
    EXPECT_TRUE(view.isUnlocking());
    EXPECT_FALSE(unlock->isEnabled());
    EXPECT_TRUE(child(&view, "unlockSpinner")->isVisible());
    ASSERT_TRUE(spinUntil([&] { return !view.isUnlocking(); }));
    EXPECT_TRUE(unlock->isEnabled());
    EXPECT_FALSE(child(&view, "unlockSpinner")->isVisible());
}

TEST(MenuBarCodesView, AnInviteShowsTheLockedLayoutAndAStaleListingNeverLands) {
    OpenVault v;
    const auto id = v.item("Mail");
    await(v.m.setOTPField(id, kSeed));
    MenuBarCodesView view(v.m);
    view.show();
    ASSERT_TRUE(spinUntil([&] { return view.codes().size() == 1; }));

    // Hold every worker so that a listing started now finishes only after the phase changed.
    auto* pool = QThreadPool::globalInstance();
    const int workers = pool->maxThreadCount();
    std::latch release(1);
    for (int i = 0; i < workers; ++i) pool->start([&] { release.wait(); });
    auto stale = view.refresh();

    v.m.handleInviteURL("https://h.example/invite#tok");
    ASSERT_EQ(v.m.phase(), AppModel::Phase::acceptingInvite);
    EXPECT_TRUE(showsLocked(view));
    EXPECT_TRUE(view.codes().empty());

    release.count_down();
    settle();
    EXPECT_TRUE(view.codes().empty());
    EXPECT_TRUE(showsLocked(view));
    v.m.dismissInvite();
}

// The tray's popup is as large as the view it holds, locked or unlocked, and follows a lock.
TEST(CodesTray, ThePopupFitsTheViewInIt) {
    OpenVault v;
    ScreenFactory screens(v.m);
    CodesTray tray(screens);
    tray.showPopup();
    settle();
    ASSERT_NE(tray.popup(), nullptr);
    EXPECT_EQ(tray.popup()->size(), QSize(320, 380));
    v.h.lock();
    settle();
    EXPECT_EQ(tray.popup()->size(), QSize(320, 200));
    tray.showPopup();
    settle();
    EXPECT_EQ(tray.popup()->size(), QSize(320, 200));
}

TEST(MenuBarCodesView, WritesInQuickSuccessionLeaveWhatAFullListingGives) {
    OpenVault v;
    const auto mail = v.item("Mail");
    const auto bank = v.item("bank");
    MenuBarCodesView view(v.m);
    view.show();
    settle();
    // Each write's store change starts a refresh while the one before may still be reading.
    await(v.m.setOTPField(mail, kSeed));
    await(v.m.setOTPField(bank, kSeed));
    v.item("Arcade", std::nullopt, {{"otp", ItemField::Kind::otp, kSeed, true}});
    await(v.m.deleteItem(mail));
    const auto expected = await(v.m.listCodes());
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_TRUE(spinUntil([&] { return view.codes() == expected; }));
    settle();
    EXPECT_EQ(view.codes(), expected);
}

}  // namespace
}  // namespace vael

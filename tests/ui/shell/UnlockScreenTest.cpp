#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <future>

#include "ui/UiFixtures.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/shell/UnlockScreen.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ScreenFactory.h"
#include "app/auth/AccountError.h"
#include "app/model/shell/UnlockScreenModel.h"
#include "model/ServerFixtures.h"

namespace vael {
namespace {

using testing::child;
using testing::ModelHarness;
using testing::spinUntil;

struct LockedVault {
    ModelHarness h;
    std::unique_ptr<UnlockScreen> screen;
    LockedVault() {
        h.create();
        h.lock();
        h.model->bootstrap();
        screen = std::make_unique<UnlockScreen>(*h.model);
        screen->show();
    }
    QLineEdit* field() { return child<QLineEdit>(screen.get(), "unlock.passphrase"); }
    QPushButton* unlock() { return child<QPushButton>(screen.get(), "unlock.unlock"); }
};

TEST(UnlockScreen, WithoutAPasskeyOnlyThePassphraseIsOffered) {
    LockedVault v;
    EXPECT_FALSE(child<QWidget>(v.screen.get(), "unlock.passkey")->isVisible());
    EXPECT_FALSE(child<QWidget>(v.screen.get(), "unlock.passphraseButton")->isVisible());
    EXPECT_TRUE(v.unlock()->isVisible());
    // An empty field does nothing, from the button or from Return.
    EXPECT_FALSE(v.unlock()->isEnabled());
    QTest::keyClick(v.field(), Qt::Key_Return);
    QTest::keyClick(v.screen.get(), Qt::Key_Return);
    testing::settle();
    EXPECT_EQ(v.h.model->phase(), AppModel::Phase::locked);
    EXPECT_FALSE(v.h.model->errorMessage());
}

TEST(UnlockScreen, AWrongPassphraseShowsTheSentenceAndKeepsTheText) {
    LockedVault v;
    QTest::keyClicks(v.field(), "wrong horse");
    EXPECT_TRUE(v.unlock()->isEnabled());
    v.unlock()->click();
    // While it runs the button shows progress and takes no second press.
    EXPECT_FALSE(v.unlock()->isEnabled());
    EXPECT_TRUE(child<QWidget>(v.screen.get(), "unlock.unlockBusy")->isVisible());
    ASSERT_TRUE(spinUntil([&] { return v.h.model->errorMessage().has_value(); }));
    testing::settle();
    EXPECT_TRUE(v.unlock()->isEnabled());
    EXPECT_FALSE(child<QWidget>(v.screen.get(), "unlock.unlockBusy")->isVisible());
    EXPECT_EQ(child<ErrorLabel>(v.screen.get(), "unlock.error")->message(),
              "Unlock failed \u2014 check your passphrase.");
    EXPECT_EQ(v.field()->text(), "wrong horse");
    EXPECT_EQ(v.h.model->phase(), AppModel::Phase::locked);
}

TEST(UnlockScreen, TwoPressesOpenOneSession) {
    LockedVault v;
    const auto sessionsBefore = v.h.contexts.size();
    QTest::keyClicks(v.field(), testing::kPassphrase);
    v.unlock()->click();
    QTest::keyClick(v.field(), Qt::Key_Return);
    ASSERT_TRUE(spinUntil([&] { return v.h.model->phase() == AppModel::Phase::unlocked; }));
    testing::settle();
    EXPECT_EQ(v.h.contexts.size(), sessionsBefore + 1);
    EXPECT_FALSE(v.h.model->errorMessage());
}

// With a passkey the security key is the default action; the field still submits the passphrase.
TEST(UnlockScreen, WithAPasskeyReturnInTheFieldStillUsesThePassphrase) {
    testing::ServerHarness s;
    s.h.create();
    s.connect("ana");
    s.h.lock();
    const auto before = s.passkey->assertions.size();
    s.passkey->failNextAssertion([] { throw AccountError::ceremonyCancelled(); });
    UnlockScreen screen(s.model());
    screen.show();
    ASSERT_TRUE(spinUntil([&] { return !screen.model().passkeyAttemptInFlight(); }));
    EXPECT_EQ(s.passkey->assertions.size(), before + 1);  // the automatic attempt
    EXPECT_FALSE(s.model().errorMessage());        // cancelled quietly
    EXPECT_TRUE(child<QWidget>(&screen, "unlock.passkey")->isVisible());
    EXPECT_TRUE(child<QWidget>(&screen, "unlock.passphraseButton")->isVisible());
    EXPECT_FALSE(child<QWidget>(&screen, "unlock.unlock")->isVisible());

    // Return away from the field is the security key: cancelled loudly this time.
    s.passkey->failNextAssertion([] { throw AccountError::ceremonyCancelled(); });
    child<QWidget>(&screen, "unlock.passkey")->setFocus();
    QTest::keyClick(&screen, Qt::Key_Return);
    ASSERT_TRUE(spinUntil([&] { return s.model().errorMessage().has_value(); }));
    EXPECT_EQ(child<ErrorLabel>(&screen, "unlock.error")->message(), "Security key was cancelled.");
    EXPECT_EQ(s.passkey->assertions.size(), before + 2);

    auto* field = child<QLineEdit>(&screen, "unlock.passphrase");
    QTest::keyClicks(field, testing::kPassphrase);
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(spinUntil([&] { return s.model().phase() == AppModel::Phase::unlocked; }));
    EXPECT_EQ(s.passkey->assertions.size(), before + 2);
}

// At launch the window learns of the security key before its unlock page first shows: one quiet
// attempt at once, the key's button holding focus, and a passphrase typed meanwhile still opens.
TEST(UnlockScreen, AtLaunchTheWindowTriesTheSecurityKeyAndThePassphraseMayOverlapIt) {
    testing::ServerHarness s;
    s.h.create();
    s.connect("ana");
    s.h.relaunch();
    ASSERT_FALSE(s.model().isPasskeyEnrolled());
    std::promise<void> touch;
    auto touched = touch.get_future().share();
    s.passkey->failNextAssertion([touched] {
        touched.wait();
        throw AccountError::ceremonyCancelled();
    });
    const auto asked = s.passkey->assertions.size();
    ScreenFactory screens(s.model());
    MainWindow window(s.model(), screens, /*hasTray=*/true);
    window.show();
    ASSERT_EQ(window.screen(), MainWindow::Screen::unlock);
    ASSERT_TRUE(spinUntil([&] { return s.passkey->assertions.size() == asked + 1; }));
    EXPECT_EQ(window.focusWidget(), child<QWidget>(window.page(), "unlock.passkey"));

    auto* field = child<QLineEdit>(window.page(), "unlock.passphrase");
    QTest::keyClicks(field, testing::kPassphrase);
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(spinUntil([&] { return s.model().phase() == AppModel::Phase::unlocked; }));
    touch.set_value();
    ASSERT_TRUE(spinUntil([&] { return !s.model().isOpening(); }));
    testing::settle();
    EXPECT_EQ(window.screen(), MainWindow::Screen::vault);
    EXPECT_FALSE(s.model().errorMessage());
}

}  // namespace
}  // namespace vael

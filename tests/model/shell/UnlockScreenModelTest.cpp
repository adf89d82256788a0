#include <gtest/gtest.h>

#include <QSignalSpy>

#include <latch>

#include "model/ServerFixtures.h"
#include "app/auth/AccountError.h"
#include "app/model/shell/UnlockScreenModel.h"

namespace vael {
namespace {

using namespace std::chrono_literals;
using testing::ServerHarness;

// The automatic quiet passkey attempt on scripted time, over a vault with an enrolled passkey.
TEST(UnlockScreenModel, AutoFireRule) {
    ServerHarness s;
    s.h.create();
    s.connect("ana");
    s.h.lock();
    ASSERT_TRUE(s.model().isPasskeyEnrolled());
    s.model().setErrorMessage(std::nullopt);

    UnlockScreenModel screen(s.model());
    QSignalSpy focus(&screen, &UnlockScreenModel::focusRequested);
    const auto attempts = [&] { return s.passkey->assertions.size(); };
    const auto cancelNext = [&] { s.passkey->failNextAssertion([] { throw AccountError::ceremonyCancelled(); }); };
    const auto settleAttempt = [&] {
        EXPECT_TRUE(testing::spinUntil([&] { return !screen.passkeyAttemptInFlight(); }));
    };
    std::size_t before = attempts();

    // Shown with a passkey enrolled: exactly one attempt. The user cancels it: no sentence, the
    // field asks for focus.
    cancelNext();
    screen.shown();
    EXPECT_TRUE(screen.passkeyAttemptInFlight());
    settleAttempt();
    EXPECT_EQ(attempts(), before + 1);
    EXPECT_FALSE(s.model().errorMessage());
    EXPECT_EQ(focus.count(), 1);

    // An activation without resigning first: nothing.
    before = attempts();
    screen.applicationBecameActive();
    EXPECT_FALSE(screen.passkeyAttemptInFlight());

    // Back within 1.5 s of the end: nothing, and the absence is forgotten all the same.
    screen.applicationResignedActive();
    s.h.timers->advance(1500ms);
    screen.applicationBecameActive();
    EXPECT_FALSE(screen.passkeyAttemptInFlight());
    EXPECT_FALSE(screen.wasAway());
    EXPECT_EQ(attempts(), before);

    // A moment later: one attempt. No key plugged in is as quiet as a cancel.
    s.passkey->failNextAssertion([] { throw AccountError::noSecurityKey(); });
    screen.applicationResignedActive();
    s.h.timers->advance(1ms);
    screen.applicationBecameActive();
    EXPECT_TRUE(screen.passkeyAttemptInFlight());

    // While it runs, another activation starts nothing.
    screen.applicationResignedActive();
    s.h.timers->advance(5s);
    screen.applicationBecameActive();
    settleAttempt();
    EXPECT_EQ(attempts(), before + 1);
    EXPECT_FALSE(s.model().errorMessage());

    // The button is loud and outside the spacing: it says the prompt was cancelled.
    cancelNext();
    QCoro::waitFor(screen.unlockWithPasskey());
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>("Security key was cancelled."));

    // A successful attempt opens the vault and asks for no focus.
    s.h.timers->advance(2s);
    const int focusBefore = focus.count();
    screen.applicationResignedActive();
    screen.applicationBecameActive();
    settleAttempt();
    EXPECT_EQ(s.model().phase(), AppModel::Phase::unlocked);
    EXPECT_EQ(focus.count(), focusBefore);
}

TEST(UnlockScreenModel, WithoutAPasskeyTheFieldTakesFocusAndNothingFires) {
    ServerHarness s;
    s.h.create();
    s.h.lock();
    UnlockScreenModel screen(s.model());
    QSignalSpy focus(&screen, &UnlockScreenModel::focusRequested);
    screen.shown();
    screen.applicationResignedActive();
    s.h.timers->advance(10s);
    screen.applicationBecameActive();
    EXPECT_EQ(focus.count(), 1);
    EXPECT_FALSE(screen.passkeyAttemptInFlight());
    EXPECT_TRUE(s.passkey->assertions.empty());

    // The passphrase action: an empty one does nothing; the text is passed as typed.
    QCoro::waitFor(screen.unlock(QString()));
    EXPECT_EQ(s.model().phase(), AppModel::Phase::locked);
    QCoro::waitFor(screen.unlock(QString(testing::kPassphrase) + " "));
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>("Unlock failed \u2014 check your passphrase."));
    QCoro::waitFor(screen.unlock(testing::kPassphrase));
    EXPECT_EQ(s.model().phase(), AppModel::Phase::unlocked);
}

}  // namespace
}  // namespace vael

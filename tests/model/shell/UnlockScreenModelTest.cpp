#include <gtest/gtest.h>

#include <QSignalSpy>

#include <future>
#include <latch>
#include <mutex>

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

// A security-key answer held back until the test releases it; releasing twice is harmless.
struct HeldKey {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::once_flag once;
    void let() {
        std::call_once(once, [this] { release.set_value(); });
    }
};

// The security key and the passphrase at once: whichever opens the vault wins, the other way's
// request ends, and the user's press is never lost.
TEST(UnlockScreenModel, TheKeyAndThePassphraseOverlap) {
    ServerHarness s;
    s.h.create();
    s.connect("ana");
    s.h.lock();
    s.model().setErrorMessage(std::nullopt);
    const auto attempts = [&] { return s.passkey->assertions.size(); };

    // The button while the automatic attempt waits joins it: its cancel is the user's, and said.
    {
        auto held = std::make_shared<HeldKey>();
        s.passkey->failNextAssertion([held] {
            held->released.wait();
            throw AccountError::ceremonyCancelled();
        });
        const auto before = attempts();
        UnlockScreenModel screen(s.model());
        screen.shown();
        ASSERT_TRUE(testing::spinUntil([&] { return attempts() == before + 1; }));
        QCoro::waitFor(screen.unlockWithPasskey());
        held->let();
        ASSERT_TRUE(testing::spinUntil([&] { return !screen.passkeyAttemptInFlight(); }));
        EXPECT_EQ(attempts(), before + 1);
        EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>("Security key was cancelled."));
    }

    // A key touched while a wrong passphrase is being checked opens the vault.
    {
        auto held = std::make_shared<HeldKey>();
        s.passkey->failNextAssertion([held] { held->released.wait(); });
        const auto before = attempts();
        auto key = s.model().unlockWithPasskey(false);
        ASSERT_TRUE(testing::spinUntil([&] { return attempts() == before + 1; }));
        UnlockScreenModel screen(s.model());
        auto wrong = screen.unlock(QString(testing::kPassphrase) + "x");
        held->let();
        QCoro::waitFor(std::move(key));
        QCoro::waitFor(std::move(wrong));
        ASSERT_TRUE(testing::spinUntil([&] { return !s.model().isOpening(); }));
        EXPECT_EQ(s.model().phase(), AppModel::Phase::unlocked);
        EXPECT_FALSE(s.model().errorMessage());
    }

    // The passphrase wins: the key's request is cancelled. The next lock's screen tries the key
    // again at once, even while the cancelled request is still winding down.
    s.h.lock();
    {
        auto held = std::make_shared<HeldKey>();
        s.passkey->failNextAssertion([held] {
            held->released.wait();
            throw AccountError::ceremonyCancelled();
        });
        const auto before = attempts();
        const int cancels = s.passkey->cancelCount();
        UnlockScreenModel screen(s.model());
        screen.shown();
        ASSERT_TRUE(testing::spinUntil([&] { return attempts() == before + 1; }));
        QCoro::waitFor(screen.unlock(testing::kPassphrase));
        EXPECT_EQ(s.model().phase(), AppModel::Phase::unlocked);
        EXPECT_EQ(s.passkey->cancelCount(), cancels + 1);

        s.h.lock();
        s.passkey->failNextAssertion([] { throw AccountError::ceremonyCancelled(); });
        UnlockScreenModel next(s.model());
        next.shown();
        EXPECT_TRUE(next.passkeyAttemptInFlight());
        held->let();
        ASSERT_TRUE(testing::spinUntil([&] { return !next.passkeyAttemptInFlight(); }));
        EXPECT_EQ(attempts(), before + 2);
        EXPECT_FALSE(s.model().errorMessage());
    }
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

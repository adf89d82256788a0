#include "app/platform/SystemLockEvents.h"
#include "app/platform/ModelBindings.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <functional>

namespace vael {
namespace {

// No bus at all: every event is fed to the handlers by hand.
QDBusConnection noBus() {
    return QDBusConnection(QStringLiteral("vael-no-such-connection"));
}

class CountingEvents : public SystemLockEvents {
public:
    CountingEvents() : SystemLockEvents(noBus(), noBus()) {
        QObject::connect(this, &SystemLockEvents::lockRequested, [this] {
            ++locks;
            if (onLock) onLock();
        });
    }
    int locks = 0;
    int inhibitorRequests = 0;
    std::function<void()> onLock;

protected:
    void requestSleepInhibitor() override { ++inhibitorRequests; }
};

// A pipe whose write end stands in for logind's inhibitor: the read end hangs up once every copy
// of the write end is closed, which is how logind learns that sleep may go on.
class FakeInhibitor {
public:
    FakeInhibitor() {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        readEnd_ = fds[0];
        descriptor = QDBusUnixFileDescriptor(fds[1]);  // takes a copy
        ::close(fds[1]);
    }
    ~FakeInhibitor() { ::close(readEnd_); }
    bool released() const {
        pollfd p{readEnd_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
    }
    QDBusUnixFileDescriptor descriptor;

private:
    int readEnd_ = -1;
};

TEST(SystemLockEvents, MissingBusesAreQuietlyTolerated) {
    CountingEvents events;
    events.start();
    events.start();
    EXPECT_TRUE(events.started());
    EXPECT_FALSE(events.holdsSleepInhibitor());
    EXPECT_TRUE(events.sessionPath().isEmpty());
    EXPECT_EQ(events.locks, 0);
}

TEST(SystemLockEvents, SessionAndScreensaverEventsThatMeanLocked) {
    const QString session = QStringLiteral("org.freedesktop.login1.Session");
    const auto hint = [](bool locked) { return QVariantMap{{QStringLiteral("LockedHint"), locked}}; };
    struct Step {
        const char* what;
        std::function<void(SystemLockEvents&)> event;
        int locks;
    };
    CountingEvents events;
    int expected = 0;
    for (const Step& step : std::initializer_list<Step>{
             {"session Lock", [](auto& e) { e.handleSessionLock(); }, 1},
             {"screensaver starts", [](auto& e) { e.handleScreenSaverActiveChanged(true); }, 1},
             {"screensaver stops", [](auto& e) { e.handleScreenSaverActiveChanged(false); }, 0},
             {"LockedHint turns true", [&](auto& e) { e.handleSessionPropertiesChanged(session, hint(true), {}); }, 1},
             {"LockedHint still true", [&](auto& e) { e.handleSessionPropertiesChanged(session, hint(true), {}); }, 0},
             {"LockedHint false", [&](auto& e) { e.handleSessionPropertiesChanged(session, hint(false), {}); }, 0},
             {"LockedHint true again", [&](auto& e) { e.handleSessionPropertiesChanged(session, hint(true), {}); }, 1},
             {"another interface", [&](auto& e) { e.handleSessionPropertiesChanged(QStringLiteral("x.Other"), hint(false), {}); }, 0},
             {"another property", [&](auto& e) {
                  e.handleSessionPropertiesChanged(session, {{QStringLiteral("Active"), true}}, {});
              }, 0},
             {"resume", [](auto& e) { e.handlePrepareForSleep(false); }, 0},
         }) {
        step.event(events);
        expected += step.locks;
        EXPECT_EQ(events.locks, expected) << step.what;
    }
}

TEST(SystemLockEvents, SleepWaitsForTheLockThenTakesANewInhibitorOnResume) {
    CountingEvents events;
    FakeInhibitor inhibitor;
    events.adoptSleepInhibitor(inhibitor.descriptor);
    inhibitor.descriptor = QDBusUnixFileDescriptor();
    ASSERT_TRUE(events.holdsSleepInhibitor());
    ASSERT_FALSE(inhibitor.released());

    bool heldDuringLock = false;
    events.onLock = [&] { heldDuringLock = !inhibitor.released(); };
    events.handlePrepareForSleep(true);
    EXPECT_EQ(events.locks, 1);
    EXPECT_TRUE(heldDuringLock) << "sleep must wait for the lock handler";
    EXPECT_TRUE(inhibitor.released()) << "and go on once it returned";
    EXPECT_FALSE(events.holdsSleepInhibitor());
    EXPECT_EQ(events.inhibitorRequests, 0);

    events.handlePrepareForSleep(false);
    EXPECT_EQ(events.inhibitorRequests, 1);
    EXPECT_EQ(events.locks, 1);
}

TEST(SystemLockEvents, ALockThatFinishesLaterHoldsSleepUntilItIsDone) {
    CountingEvents events;
    FakeInhibitor inhibitor;
    events.adoptSleepInhibitor(inhibitor.descriptor);
    inhibitor.descriptor = QDBusUnixFileDescriptor();

    EXPECT_FALSE(events.holdSleep()) << "no sleep under way";
    SystemLockEvents::SleepHold hold;
    events.onLock = [&] { hold = events.holdSleep(); };
    events.handlePrepareForSleep(true);
    EXPECT_TRUE(hold);
    EXPECT_FALSE(inhibitor.released());
    hold = {};
    EXPECT_TRUE(inhibitor.released());
}

TEST(SystemLockEvents, TheModelBindingKeepsSleepWaitingUntilTheModelIsDone) {
    auto events = std::make_shared<CountingEvents>();
    FakeInhibitor inhibitor;
    events->adoptSleepInhibitor(inhibitor.descriptor);
    inhibitor.descriptor = QDBusUnixFileDescriptor();

    DesktopLockEventSource source(events);
    std::function<void()> done;
    source.subscribe([&](std::function<void()> finished) { done = std::move(finished); });
    events->handlePrepareForSleep(true);
    ASSERT_TRUE(done);
    EXPECT_FALSE(inhibitor.released()) << "the model has not finished locking";
    done();
    done = nullptr;
    EXPECT_TRUE(inhibitor.released());
}

TEST(SystemLockEvents, SleepWithoutAnInhibitorStillLocks) {
    CountingEvents events;
    bool holdWasEmpty = false;
    events.onLock = [&] { holdWasEmpty = !events.holdSleep(); };
    events.handlePrepareForSleep(true);
    EXPECT_EQ(events.locks, 1);
    EXPECT_TRUE(holdWasEmpty);
    events.handlePrepareForSleep(false);
    EXPECT_EQ(events.inhibitorRequests, 1);
}

}  // namespace
}  // namespace vael

// Runs on a private session bus (dbus-run-session) that stands in for both buses: a fake logind
// on it hands out a real inhibitor descriptor, and the test emits the signals the desktop would.
#include "app/platform/SystemLockEvents.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <poll.h>
#include <unistd.h>

#include <functional>

namespace vael {

const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/_342");

class FakeLoginManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~FakeLoginManager() override { closeAll(); }
    QStringList lastInhibit;
    int inhibits = 0;
    std::vector<int> readEnds;  // one per inhibitor handed out

    // The newest inhibitor has been closed by every holder.
    bool released() const {
        pollfd p{readEnds.back(), POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
    }
    void closeAll() {
        for (int fd : readEnds) ::close(fd);
        readEnds.clear();
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode) {
        lastInhibit = {what, who, why, mode};
        ++inhibits;
        int fds[2];
        if (::pipe(fds) != 0) return {};
        readEnds.push_back(fds[0]);
        QDBusUnixFileDescriptor answer(fds[1]);
        ::close(fds[1]);
        return answer;
    }
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(kSessionPath); }
};

namespace {

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "platform_live_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

// Lets the buses deliver until DONE holds; false when it never does.
bool eventually(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void emitSignal(QDBusConnection& bus, const QString& path, const QString& interface, const QString& name,
                const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createSignal(path, interface, name);
    message.setArguments(arguments);
    ASSERT_TRUE(bus.send(message));
}

TEST(SystemLockEventsLive, EveryLockEventFromTheBusesReachesTheVault) {
    application();
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "no private session bus";
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected());

    QDBusConnection desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));
    ASSERT_TRUE(desktop.isConnected());
    FakeLoginManager manager;
    ASSERT_TRUE(desktop.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktop.registerService(QStringLiteral("org.freedesktop.login1")));

    SystemLockEvents events(bus, bus);
    int locks = 0;
    bool heldDuringLock = false;
    QObject::connect(&events, &SystemLockEvents::lockRequested, [&] {
        ++locks;
        heldDuringLock = !manager.readEnds.empty() && !manager.released();
    });
    events.start();
    ASSERT_TRUE(eventually([&] { return events.holdsSleepInhibitor() && events.sessionPath() == kSessionPath; }));
    EXPECT_EQ(manager.lastInhibit, (QStringList{"sleep", "Vael", "Lock the vault before sleep", "delay"}));

    const QString login1 = QStringLiteral("/org/freedesktop/login1");
    const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
    emitSignal(desktop, login1, managerInterface, QStringLiteral("PrepareForSleep"), {true});
    ASSERT_TRUE(eventually([&] { return locks == 1; }));
    EXPECT_TRUE(heldDuringLock);
    EXPECT_TRUE(manager.released());

    emitSignal(desktop, login1, managerInterface, QStringLiteral("PrepareForSleep"), {false});
    ASSERT_TRUE(eventually([&] { return manager.inhibits == 2 && events.holdsSleepInhibitor(); }));
    EXPECT_FALSE(manager.released());

    emitSignal(desktop, kSessionPath, QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Lock"), {});
    ASSERT_TRUE(eventually([&] { return locks == 2; }));

    emitSignal(desktop, kSessionPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
               {QStringLiteral("org.freedesktop.login1.Session"), QVariantMap{{QStringLiteral("LockedHint"), true}},
                QStringList{}});
    ASSERT_TRUE(eventually([&] { return locks == 3; }));

    emitSignal(desktop, QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
               QStringLiteral("ActiveChanged"), {true});
    ASSERT_TRUE(eventually([&] { return locks == 4; }));
    emitSignal(desktop, QStringLiteral("/org/gnome/ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver"),
               QStringLiteral("ActiveChanged"), {false});
    emitSignal(desktop, QStringLiteral("/org/gnome/ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver"),
               QStringLiteral("ActiveChanged"), {true});
    ASSERT_TRUE(eventually([&] { return locks == 5; }));
    // The false one came first and was ignored; nothing else is on its way.
    QCoreApplication::processEvents();
    EXPECT_EQ(locks, 5);
}

}  // namespace
}  // namespace vael

#include "SystemLockEventsLiveTest.moc"

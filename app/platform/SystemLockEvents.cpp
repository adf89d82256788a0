#include "app/platform/SystemLockEvents.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <unistd.h>

#include "core/Log.h"

namespace vael {

namespace {

const QString kLogin1Service = QStringLiteral("org.freedesktop.login1");
const QString kLogin1Path = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kLockedHint = QStringLiteral("LockedHint");

// Calls METHOD on logind's manager and hands the reply to DONE when it comes.
template <typename Done>
void callManager(QDBusConnection& bus, QObject* owner, const QString& method, const QVariantList& arguments, Done done) {
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin1Service, kLogin1Path, kManagerInterface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner, [watcher, done](QDBusPendingCallWatcher*) {
        watcher->deleteLater();
        done(watcher->reply());
    });
}

}  // namespace

SystemLockEvents::SystemLockEvents(QObject* parent)
    : SystemLockEvents(QDBusConnection::systemBus(), QDBusConnection::sessionBus(), parent) {}

SystemLockEvents::SystemLockEvents(QDBusConnection systemBus, QDBusConnection sessionBus, QObject* parent)
    : QObject(parent), system_(std::move(systemBus)), session_(std::move(sessionBus)) {}

SystemLockEvents::~SystemLockEvents() = default;

void SystemLockEvents::start() {
    if (started_) return;
    started_ = true;

    if (system_.isConnected()) {
        system_.connect(kLogin1Service, kLogin1Path, kManagerInterface, QStringLiteral("PrepareForSleep"), this,
                        SLOT(handlePrepareForSleep(bool)));
        requestSleepInhibitor();
        findSession();
    } else {
        noteOnce("no system bus: sleep and session locks are not watched");
    }

    if (session_.isConnected()) {
        // Any sender and any path: desktops publish these under different names. A stray signal can
        // only lock the vault, never open it.
        for (const auto& interface : {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver")})
            session_.connect(QString(), QString(), interface, QStringLiteral("ActiveChanged"), this,
                             SLOT(handleScreenSaverActiveChanged(bool)));
    } else {
        noteOnce("no session bus: screensavers are not watched");
    }
}

void SystemLockEvents::handlePrepareForSleep(bool starting) {
    if (!starting) {
        if (!inhibitor_) requestSleepInhibitor();
        return;
    }
    // The inhibitor moves to the sleep under way: receivers may extend it with holdSleep(), and it
    // is closed, letting the machine sleep, once the last of them lets go.
    pendingSleep_ = std::move(inhibitor_);
    inhibitor_.reset();
    emit lockRequested();
    pendingSleep_.reset();
}

void SystemLockEvents::handleSessionLock() {
    emit lockRequested();
}

void SystemLockEvents::handleSessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                      const QStringList& invalidated) {
    if (interface != kSessionInterface) return;
    if (const auto value = changed.find(kLockedHint); value != changed.end()) {
        const bool locked = value->toBool();
        const bool wasLocked = std::exchange(lockedHint_, locked);
        if (locked && !wasLocked) emit lockRequested();
    } else if (invalidated.contains(kLockedHint)) {
        fetchLockedHint();
    }
}

void SystemLockEvents::handleScreenSaverActiveChanged(bool active) {
    if (active) emit lockRequested();
}

void SystemLockEvents::adoptSleepInhibitor(const QDBusUnixFileDescriptor& inhibitor) {
    if (!inhibitor.isValid()) return;
    inhibitor_ = std::make_shared<QDBusUnixFileDescriptor>(inhibitor);
}

void SystemLockEvents::requestSleepInhibitor() {
    if (!system_.isConnected()) return;
    callManager(system_, this, QStringLiteral("Inhibit"),
                {QStringLiteral("sleep"), QStringLiteral("Vael"), QStringLiteral("Lock the vault before sleep"),
                 QStringLiteral("delay")},
                [this](const QDBusMessage& reply) {
                    const QDBusPendingReply<QDBusUnixFileDescriptor> answer(reply);
                    if (answer.isError()) {
                        noteOnce("logind gives no sleep inhibitor: the vault may lock only after resume");
                        return;
                    }
                    adoptSleepInhibitor(answer.value());
                });
}

void SystemLockEvents::findSession() {
    trySessionLookup(0);
}

// Our own session by process; else the one logind picks for us; else the one we were told.
void SystemLockEvents::trySessionLookup(int step) {
    QString method;
    QVariantList arguments;
    if (step == 0) {
        method = QStringLiteral("GetSessionByPID");
        arguments = {QVariant::fromValue(static_cast<uint>(::getpid()))};
    } else if (step == 1) {
        method = QStringLiteral("GetSession");
        arguments = {QStringLiteral("auto")};
    } else if (step == 2 && !qEnvironmentVariableIsEmpty("XDG_SESSION_ID")) {
        method = QStringLiteral("GetSession");
        arguments = {qEnvironmentVariable("XDG_SESSION_ID")};
    } else {
        noteOnce("no logind session: session locks are not watched");
        return;
    }
    callManager(system_, this, method, arguments, [this, step](const QDBusMessage& reply) {
        const QDBusPendingReply<QDBusObjectPath> answer(reply);
        if (answer.isError() || answer.value().path().isEmpty()) {
            trySessionLookup(step + 1);
            return;
        }
        watchSession(answer.value().path());
    });
}

void SystemLockEvents::watchSession(const QString& path) {
    sessionPath_ = path;
    system_.connect(kLogin1Service, path, kSessionInterface, QStringLiteral("Lock"), this, SLOT(handleSessionLock()));
    system_.connect(kLogin1Service, path, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                    SLOT(handleSessionPropertiesChanged(QString, QVariantMap, QStringList)));
}

void SystemLockEvents::fetchLockedHint() {
    if (sessionPath_.isEmpty() || !system_.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin1Service, sessionPath_, kPropertiesInterface,
                                                       QStringLiteral("Get"));
    call.setArguments({kSessionInterface, kLockedHint});
    auto* watcher = new QDBusPendingCallWatcher(system_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher](QDBusPendingCallWatcher*) {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusVariant> answer(*watcher);
        if (answer.isError()) return;
        handleSessionPropertiesChanged(kSessionInterface, {{kLockedHint, answer.value().variant()}}, {});
    });
}

void SystemLockEvents::noteOnce(const char* message) {
    if (std::exchange(noted_, true)) return;
    logMessage(LogLevel::Info, "platform", message);
}

}  // namespace vael

#include "app/platform/PolkitPresenceAuthority.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusMessage>
#include <QMap>
#include <QVariantMap>
#include <atomic>
#include <charconv>
#include <fstream>
#include <sstream>

namespace vael {

namespace {

const QString kService = QStringLiteral("org.freedesktop.PolicyKit1");
const QString kPath = QStringLiteral("/org/freedesktop/PolicyKit1/Authority");
const QString kInterface = QStringLiteral("org.freedesktop.PolicyKit1.Authority");
constexpr quint32 kAllowUserInteraction = 1;
// The owner may take a while to find the fingerprint reader; past this the check is withdrawn.
constexpr int kCheckTimeoutMs = 5 * 60 * 1000;
// Questions polkit answers from what it has loaded.
constexpr int kQuickCallTimeoutMs = 5 * 1000;

std::optional<std::uint64_t> ownStartTime() {
    std::ifstream in("/proc/self/stat");
    std::stringstream text;
    text << in.rdbuf();
    return processStartTime(text.str());
}

QDBusArgument unixProcessSubject(std::uint64_t startTime) {
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("unix-process");
    subject << QVariantMap{
        {QStringLiteral("pid"), QVariant::fromValue(static_cast<quint32>(::getpid()))},
        {QStringLiteral("start-time"), QVariant::fromValue(static_cast<quint64>(startTime))},
        {QStringLiteral("uid"), QVariant::fromValue(static_cast<qint32>(::getuid()))},
    };
    subject.endStructure();
    return subject;
}

QDBusArgument noDetails() {
    QDBusArgument details;
    details.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    details.endMap();
    return details;
}

}  // namespace

std::optional<std::uint64_t> processStartTime(std::string_view statLine) {
    const auto close = statLine.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = statLine.substr(close + 1);
    // After the command name come fields 3, 4, ...; the start time is field 22.
    for (int field = 3; field <= 22; ++field) {
        const auto start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(start);
        const auto end = std::min(rest.find(' '), rest.size());
        if (field == 22) {
            std::uint64_t value = 0;
            const auto [ptr, error] = std::from_chars(rest.data(), rest.data() + end, value);
            if (error != std::errc() || ptr != rest.data() + end) return std::nullopt;
            return value;
        }
        rest.remove_prefix(end);
    }
    return std::nullopt;
}

PolkitPresenceAuthority::PolkitPresenceAuthority(std::string actionID) : actionID_(std::move(actionID)) {}

bool PolkitPresenceAuthority::canAsk() {
    if (QCoreApplication::instance() == nullptr) return false;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return false;
    QDBusConnectionInterface* names = bus.interface();
    if (names == nullptr) return false;
    if (const QDBusReply<bool> running = names->isServiceRegistered(kService); running.isValid() && running.value())
        return true;
    const QDBusReply<QStringList> startable = names->call(QStringLiteral("ListActivatableNames"));
    return startable.isValid() && startable.value().contains(kService);
}

bool PolkitPresenceAuthority::knowsAction() {
    if (QCoreApplication::instance() == nullptr) return true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return true;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("EnumerateActions"));
    call << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kQuickCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QStringLiteral("a(ssssssuuua{ss})") ||
        reply.arguments().isEmpty())
        return true;
    const QString wanted = QString::fromStdString(actionID_);
    const QDBusArgument actions = reply.arguments().constFirst().value<QDBusArgument>();
    bool found = false;
    actions.beginArray();
    while (!actions.atEnd()) {
        QString id, description, message, vendor, vendorURL, icon;
        quint32 anyone = 0, inactive = 0, active = 0;
        QMap<QString, QString> annotations;
        actions.beginStructure();
        actions >> id >> description >> message >> vendor >> vendorURL >> icon >> anyone >> inactive >> active >> annotations;
        actions.endStructure();
        if (id == wanted) found = true;
    }
    actions.endArray();
    return found;
}

bool PolkitPresenceAuthority::authorize() { return check() == BiometricGate::Answer::confirmed; }

BiometricGate::Answer PolkitPresenceAuthority::check() {
    using Answer = BiometricGate::Answer;
    if (QCoreApplication::instance() == nullptr) return Answer::unavailable;  // the D-Bus module needs the application
    const auto startTime = ownStartTime();
    if (!startTime) return Answer::refused;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return Answer::unavailable;

    static std::atomic<unsigned> checks{0};
    const QString cancellationID = QStringLiteral("vael-%1-%2").arg(::getpid()).arg(++checks);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CheckAuthorization"));
    call << QVariant::fromValue(unixProcessSubject(*startTime)) << QString::fromStdString(actionID_)
         << QVariant::fromValue(noDetails()) << kAllowUserInteraction << cancellationID;

    const QDBusMessage reply = bus.call(call, QDBus::Block, kCheckTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        // Timed out or failed: make sure no agent dialog is left asking for nothing.
        bus.call(QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CancelCheckAuthorization"))
                     << cancellationID,
                 QDBus::NoBlock);
        return Answer::refused;
    }
    if (reply.signature() != QStringLiteral("(bba{ss})") || reply.arguments().isEmpty()) return Answer::refused;

    const QDBusArgument result = reply.arguments().constFirst().value<QDBusArgument>();
    bool isAuthorized = false;
    bool isChallenge = false;
    QMap<QString, QString> details;
    result.beginStructure();
    result >> isAuthorized >> isChallenge >> details;
    result.endStructure();
    if (isAuthorized) return Answer::confirmed;
    // Polkit answers "could be, after a challenge" when no agent is there to put one.
    return isChallenge ? Answer::unavailable : Answer::refused;
}

}  // namespace vael

#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

namespace vael {

// The desktop's reasons to lock the vault at once: the machine is about to sleep, the session is
// locked, or a screensaver starts. Each one emits lockRequested(); whether to lock is the receiver's
// call. A bus or service that is missing is no error: those events simply never come.
//
// Before sleep we hold a logind "delay" inhibitor so the vault is locked before the machine sleeps;
// it is released once the receivers of lockRequested() have returned (and any SleepHold taken
// meanwhile is gone), and taken again after resume.
class SystemLockEvents : public QObject {
    Q_OBJECT

public:
    // Keeps sleep waiting while it lives; empty when no sleep is waiting.
    class SleepHold {
    public:
        SleepHold() = default;
        explicit operator bool() const { return static_cast<bool>(inhibitor_); }

    private:
        friend class SystemLockEvents;
        explicit SleepHold(std::shared_ptr<QDBusUnixFileDescriptor> inhibitor) : inhibitor_(std::move(inhibitor)) {}
        std::shared_ptr<QDBusUnixFileDescriptor> inhibitor_;
    };

    // The system bus for logind, the session bus for the screensavers.
    explicit SystemLockEvents(QObject* parent = nullptr);
    SystemLockEvents(QDBusConnection systemBus, QDBusConnection sessionBus, QObject* parent = nullptr);
    ~SystemLockEvents() override;

    // Subscribes to every event; a second call does nothing.
    void start();
    bool started() const { return started_; }

    // Called by a receiver of lockRequested() whose lock finishes later (after the signal returns):
    // sleep waits until the returned hold is destroyed. Empty outside a sleep.
    SleepHold holdSleep() const { return SleepHold(pendingSleep_); }

    bool holdsSleepInhibitor() const { return static_cast<bool>(inhibitor_); }
    // Our session's object path in logind, once found.
    QString sessionPath() const { return sessionPath_; }

public slots:
    // What each event means; the bus delivers to these.
    void handlePrepareForSleep(bool starting);
    void handleSessionLock();
    void handleSessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                        const QStringList& invalidated);
    void handleScreenSaverActiveChanged(bool active);
    // A fresh inhibitor from logind; an invalid one is ignored.
    void adoptSleepInhibitor(const QDBusUnixFileDescriptor& inhibitor);

signals:
    void lockRequested();

protected:
    // Asks logind for a new delay inhibitor; the answer arrives through adoptSleepInhibitor().
    virtual void requestSleepInhibitor();

private:
    void findSession();
    void trySessionLookup(int step);
    void watchSession(const QString& path);
    void fetchLockedHint();
    void noteOnce(const char* message);

    QDBusConnection system_;
    QDBusConnection session_;
    bool started_ = false;
    bool noted_ = false;
    bool lockedHint_ = false;
    QString sessionPath_;
    std::shared_ptr<QDBusUnixFileDescriptor> inhibitor_;
    std::shared_ptr<QDBusUnixFileDescriptor> pendingSleep_;
};

}  // namespace vael

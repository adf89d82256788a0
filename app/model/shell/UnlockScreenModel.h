#pragma once

#include <QObject>
#include <QString>

#include <optional>

#include <qcoro/qcorotask.h>

#include "app/model/ModelTime.h"

namespace vael {

class AppModel;

// The unlock screen's rules: the two unlock actions, the automatic quiet passkey attempt and when
// the passphrase field asks for focus. One per shown screen; time comes from the model's source.
class UnlockScreenModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool passkeyAttemptInFlight READ passkeyAttemptInFlight NOTIFY passkeyAttemptInFlightChanged)

public:
    // An automatic attempt needs strictly more than this since the last one ended.
    static constexpr std::chrono::milliseconds kAutoFireSpacing{1500};

    explicit UnlockScreenModel(AppModel& app, QObject* parent = nullptr);

    bool passkeyAttemptInFlight() const { return inFlight_; }
    bool wasAway() const { return wasAway_; }

    // The screen appeared: focus the field when no passkey is enrolled, then the auto-fire rule.
    void shown();
    // The application lost the active state.
    void applicationResignedActive();
    // The application became active: after being away, the auto-fire rule.
    void applicationBecameActive();

    // The passphrase action; an empty passphrase does nothing. Failures are the model's sentence.
    QCoro::Task<> unlock(QString passphrase);
    // The passphrase field holds text: the vault's rows can be read ahead of its unlock.
    void passphraseTyped();
    // The security-key button: a loud attempt, outside the automatic spacing.
    QCoro::Task<> unlockWithPasskey();

signals:
    void passkeyAttemptInFlightChanged();
    // The passphrase field should take keyboard focus.
    void focusRequested();

private:
    void autoFire();
    QCoro::Task<> autoAttempt();
    void setInFlight(bool on);

    AppModel& app_;
    bool inFlight_ = false;
    bool wasAway_ = false;
    std::optional<BootTime> lastAttemptEnded_;  // none: the distant past
};

}  // namespace vael

#include "app/model/shell/UnlockScreenModel.h"

#include <QPointer>

#include "app/model/AppModel.h"

namespace vael {

UnlockScreenModel::UnlockScreenModel(AppModel& app, QObject* parent) : QObject(parent), app_(app) {}

void UnlockScreenModel::setInFlight(bool on) {
    if (on == inFlight_) return;
    inFlight_ = on;
    emit passkeyAttemptInFlightChanged();
}

void UnlockScreenModel::shown() {
    if (!app_.isPasskeyEnrolled()) emit focusRequested();
    autoFire();
}

void UnlockScreenModel::applicationResignedActive() { wasAway_ = true; }

void UnlockScreenModel::applicationBecameActive() {
    if (!wasAway_) return;
    wasAway_ = false;
    autoFire();
}

void UnlockScreenModel::autoFire() {
    if (!app_.isPasskeyEnrolled() || inFlight_) return;
    if (lastAttemptEnded_ && app_.timers().now() - *lastAttemptEnded_ <= kAutoFireSpacing) return;
    setInFlight(true);
    autoAttempt();
}

QCoro::Task<> UnlockScreenModel::autoAttempt() {
    QPointer<UnlockScreenModel> self(this);
    AppModel& app = app_;
    co_await app.unlockWithPasskey(true);
    // An attempt that opened the vault usually ended this screen too.
    if (!self) co_return;
    setInFlight(false);
    lastAttemptEnded_ = app.timers().now();
    if (app.phase() == AppModel::Phase::locked) emit focusRequested();
}

void UnlockScreenModel::passphraseTyped() { app_.readAheadForUnlock(); }

QCoro::Task<> UnlockScreenModel::unlock(QString passphrase) {
    if (passphrase.isEmpty()) co_return;
    QByteArray utf8 = passphrase.toUtf8();
    SecureBytes secret(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    utf8.fill('\0');
    co_await app_.unlock(std::move(secret));
}

QCoro::Task<> UnlockScreenModel::unlockWithPasskey() { co_await app_.unlockWithPasskey(false); }

}  // namespace vael

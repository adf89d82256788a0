#include "app/model/shell/SettingsViewModel.h"

#include <algorithm>

namespace vael {

SettingsViewModel::SettingsViewModel(std::vector<UnlockMethod> enabledMethods, QObject* parent)
    : QObject(parent), enabledMethods_(std::move(enabledMethods)) {}

void SettingsViewModel::markForRemoval(UnlockMethod method) {
    if (static_cast<std::uint8_t>(method) == 0) return;
    if (std::find(enabledMethods_.begin(), enabledMethods_.end(), method) == enabledMethods_.end()) return;
    if (std::find(pending_.begin(), pending_.end(), method) != pending_.end()) return;
    pending_.push_back(method);
    emit methodsPendingRemovalChanged();
}

void SettingsViewModel::setKillSwitchEnabled(bool on) {
    if (on == killSwitchEnabled_) return;
    killSwitchEnabled_ = on;
    emit killSwitchEnabledChanged();
}

std::function<bool()> SettingsViewModel::killSwitchProvider() const {
    return [box = killSwitchBox_] { return box->load(); };
}

void SettingsViewModel::syncKillSwitchBox() { killSwitchBox_->store(killSwitchEnabled_); }

}  // namespace vael

#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "crypto/KeyRecords.h"

namespace vael {

// The settings' unlock methods, a queue of methods to remove and a kill switch with its own cell
// for readers on other threads. The cell changes only through syncKillSwitchBox().
class SettingsViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool killSwitchEnabled READ isKillSwitchOn WRITE setKillSwitchEnabled NOTIFY killSwitchEnabledChanged)

public:
    explicit SettingsViewModel(std::vector<UnlockMethod> enabledMethods, QObject* parent = nullptr);

    const std::vector<UnlockMethod>& enabledMethods() const { return enabledMethods_; }
    const std::vector<UnlockMethod>& methodsPendingRemoval() const { return pending_; }
    // Queues an enabled method once; the passphrase method (raw value 0) never.
    void markForRemoval(UnlockMethod method);

    bool isKillSwitchOn() const { return killSwitchEnabled_; }
    void setKillSwitchEnabled(bool on);
    // Callable from any thread: the cell's value at each call.
    std::function<bool()> killSwitchProvider() const;
    void syncKillSwitchBox();

signals:
    void enabledMethodsChanged();
    void methodsPendingRemovalChanged();
    void killSwitchEnabledChanged();

private:
    std::vector<UnlockMethod> enabledMethods_;
    std::vector<UnlockMethod> pending_;
    bool killSwitchEnabled_ = false;
    std::shared_ptr<std::atomic<bool>> killSwitchBox_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace vael

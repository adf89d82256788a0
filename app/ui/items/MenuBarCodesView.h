#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/AppModel.h"

class QPushButton;
class QStackedLayout;

namespace vael {

class BusySpinner;
class CodesList;
class EmptyStateView;

// The tray's panel: every live code while the vault is unlocked (320 × 380), else "Vael is locked"
// with a way in (320 × 200). Follows every store change and every lock and unlock.
class MenuBarCodesView : public QWidget {
public:
    static constexpr int kWidth = 320;
    static constexpr int kUnlockedHeight = 380;
    static constexpr int kLockedHeight = 200;

    explicit MenuBarCodesView(AppModel& app, QWidget* parent = nullptr);

    // Reloads the codes: none unless unlocked. Only the newest refresh's listing is shown, so one
    // from before a lock never lands after the lock's empty one.
    QCoro::Task<> refresh();
    const std::vector<AppModel::CodeRow>& codes() const { return codes_; }
    bool isUnlocking() const { return unlocking_; }

    // Brings the application's main window forward.
    static void activateMainWindow();

private:
    void setCodes(std::vector<AppModel::CodeRow> codes);
    void refreshLayout();
    void unlock();

    AppModel& app_;
    std::vector<AppModel::CodeRow> codes_;
    bool unlocking_ = false;
    std::uint64_t ticket_ = 0;

    QStackedLayout* pages_;
    QWidget* unlockedPage_;
    QWidget* lockedPage_;
    QStackedLayout* codeArea_;
    EmptyStateView* empty_;
    CodesList* list_;
    QPushButton* unlock_;
    BusySpinner* unlockSpinner_;
    QPushButton* openWhenLocked_;
};

}  // namespace vael

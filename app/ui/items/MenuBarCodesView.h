#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/AppModel.h"
#include "app/model/VaultListing.h"

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

    // Brings the codes up to date (the items written since the last read): none unless unlocked. One
    // read runs at a time and reads again while refreshes came meanwhile; what it read is shown only
    // while still unlocked, so a listing from before a lock never lands after the lock's empty one.
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
    VaultListing listing_;
    bool reading_ = false;

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

#pragma once

#include <QWidget>

#include <memory>

#include "app/model/sharing/AcceptInviteViewModel.h"
#include "app/model/InviteLink.h"

class QLabel;
class QPushButton;

namespace vael {

class AppModel;
class BusySpinner;

// The acceptance card: claim the invite, then show the own fingerprint to read out while waiting.
class AcceptInviteCard : public QWidget {
public:
    explicit AcceptInviteCard(std::shared_ptr<AcceptInviteViewModel> vm, QWidget* parent = nullptr);
    const std::shared_ptr<AcceptInviteViewModel>& model() const { return vm_; }

private:
    void refresh();

    std::shared_ptr<AcceptInviteViewModel> vm_;
    QWidget* invited_;
    BusySpinner* claiming_;
    QWidget* waiting_;
    QLabel* fingerprint_;
    QWidget* granted_;
    QWidget* failed_;
    QLabel* failure_;
};

// The root page shown instead of the vault window while an invite is pending. Escape or "Cancel"
// dismisses the invite.
class InviteAcceptScreen : public QWidget {
public:
    InviteAcceptScreen(AppModel& app, PendingInvite invite, QWidget* parent = nullptr);
    AcceptInviteCard* card() const { return card_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void dismiss();

    AppModel& app_;
    AcceptInviteCard* card_;
};

}  // namespace vael

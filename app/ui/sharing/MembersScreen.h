#pragma once

#include <memory>

#include "app/model/sharing/InvitesModel.h"
#include "app/model/sharing/MembersViewModel.h"
#include "app/model/sharing/SharingContext.h"
#include "app/ui/widgets/Sheet.h"

class QToolBar;
class QTreeWidget;

namespace vael {

class ErrorBar;
class TimerSource;

// The sharing sheet: the project's members (role menu, remove) and invites ("Verify & grant" for a
// claimed one, "Revoke" for a pending one), with "Add User" and "Invite" in its toolbar.
class MembersScreen : public Sheet {
public:
    MembersScreen(SharingContext context, TimerSource& timers, QWidget* parent = nullptr);

    const std::shared_ptr<MembersViewModel>& membersModel() const { return members_; }
    const std::shared_ptr<InvitesModel>& invitesModel() const { return invites_; }
    QTreeWidget* tree() const { return tree_; }

    // Loads the members, then the invites (also done when the screen is first shown).
    void reload();
    void openNewInvite();
    void openAddExisting();
    void openVerifyGrant(const std::string& inviteID);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rebuild();
    void showErrors();

    SharingContext context_;
    TimerSource& timers_;
    std::shared_ptr<MembersViewModel> members_;
    std::shared_ptr<InvitesModel> invites_;
    QToolBar* toolbar_;
    QTreeWidget* tree_;
    ErrorBar* error_;
    bool loadedOnce_ = false;
};

}  // namespace vael

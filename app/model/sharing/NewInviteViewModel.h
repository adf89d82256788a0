#pragma once

#include <QObject>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/sharing/SharingContext.h"

namespace vael {

// What the new-invite sheet chooses and creates: role, folders, e-mail and expiry, then the link.
class NewInviteViewModel final : public QObject, public std::enable_shared_from_this<NewInviteViewModel> {
    Q_OBJECT

public:
    using Folder = SharingFolder;
    static constexpr const char* kCreateFailed = "Could not create the invite. Check the role and try again.";
    static constexpr std::int64_t kDefaultTTLHours = 72;

    static std::vector<std::string> assignableRoles(const std::string& callerRole) {
        return SharingRoles::assignableBy(callerRole);
    }

    NewInviteViewModel(std::shared_ptr<InviteAPI> api, Uuid orgID, std::string publicBaseURL, std::string callerRole,
                       std::string orgLabel, std::string inviterLabel, std::vector<Folder> folders);

    const std::vector<std::string>& assignableRoles() const { return assignableRoles_; }
    const std::vector<Folder>& folders() const { return folders_; }
    const std::string& role() const { return role_; }
    void setRole(std::string role);
    const std::set<Uuid>& selectedFolderIDs() const { return selectedFolderIDs_; }
    void setFolderSelected(const Uuid& id, bool selected);
    const std::string& email() const { return email_; }
    void setEmail(std::string email);
    std::int64_t ttlHours() const { return ttlHours_; }
    void setTTLHours(std::int64_t hours);
    const std::optional<InviteCreatedDTO>& created() const { return created_; }
    bool busy() const { return busy_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }

    std::optional<std::string> inviteLink() const;
    bool canCreate() const;

    QCoro::Task<> create();

signals:
    void roleChanged();
    void selectedFolderIDsChanged();
    void emailChanged();
    void ttlHoursChanged();
    void createdChanged();
    void busyChanged();
    void errorMessageChanged();

private:
    void setBusy(bool busy);
    void setErrorMessage(std::optional<std::string> message);

    std::shared_ptr<InviteAPI> api_;
    Uuid orgID_;
    std::string publicBaseURL_;
    std::string callerRole_;
    std::string orgLabel_;
    std::string inviterLabel_;
    std::vector<Folder> folders_;
    std::vector<std::string> assignableRoles_;
    std::string role_;
    std::set<Uuid> selectedFolderIDs_;
    std::string email_;
    std::string pinnedHandle_;  // nothing writes it: always sent as none
    std::int64_t ttlHours_ = kDefaultTTLHours;
    std::optional<InviteCreatedDTO> created_;
    bool busy_ = false;
    std::optional<std::string> errorMessage_;
};

}  // namespace vael

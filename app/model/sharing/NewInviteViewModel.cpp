#include "app/model/sharing/NewInviteViewModel.h"

#include <algorithm>

#include "app/model/Blocking.h"
#include "app/model/Observed.h"

namespace vael {

NewInviteViewModel::NewInviteViewModel(std::shared_ptr<InviteAPI> api, Uuid orgID, std::string publicBaseURL,
                                       std::string callerRole, std::string orgLabel, std::string inviterLabel,
                                       std::vector<Folder> folders)
    : api_(std::move(api)),
      orgID_(orgID),
      publicBaseURL_(std::move(publicBaseURL)),
      callerRole_(std::move(callerRole)),
      orgLabel_(std::move(orgLabel)),
      inviterLabel_(std::move(inviterLabel)),
      folders_(std::move(folders)),
      assignableRoles_(assignableRoles(callerRole_)) {
    const bool offersMember = std::find(assignableRoles_.begin(), assignableRoles_.end(), "member") != assignableRoles_.end();
    role_ = offersMember ? "member" : (assignableRoles_.empty() ? "viewer" : assignableRoles_.front());
}

void NewInviteViewModel::setRole(std::string role) {
    if (assignChanged(role_, std::move(role))) emit roleChanged();
}

void NewInviteViewModel::setFolderSelected(const Uuid& id, bool selected) {
    if (selected) {
        selectedFolderIDs_.insert(id);
    } else {
        selectedFolderIDs_.erase(id);
    }
    emit selectedFolderIDsChanged();
}

void NewInviteViewModel::setEmail(std::string email) {
    if (assignChanged(email_, std::move(email))) emit emailChanged();
}

void NewInviteViewModel::setTTLHours(std::int64_t hours) {
    if (assignChanged(ttlHours_, hours)) emit ttlHoursChanged();
}

void NewInviteViewModel::setBusy(bool busy) {
    if (assignChanged(busy_, busy)) emit busyChanged();
}

void NewInviteViewModel::setErrorMessage(std::optional<std::string> message) {
    if (assignChanged(errorMessage_, std::move(message))) emit errorMessageChanged();
}

std::optional<std::string> NewInviteViewModel::inviteLink() const {
    if (!created_) return std::nullopt;
    return publicBaseURL_ + "/invite#" + created_->token;
}

bool NewInviteViewModel::canCreate() const {
    return !busy_ && std::find(assignableRoles_.begin(), assignableRoles_.end(), role_) != assignableRoles_.end();
}

QCoro::Task<> NewInviteViewModel::create() {
    if (busy_) co_return;
    auto keep = weak_from_this().lock();
    setBusy(true);
    setErrorMessage(std::nullopt);
    std::vector<Uuid> folderIds(selectedFolderIDs_.begin(), selectedFolderIDs_.end());
    std::optional<std::string> email = email_.empty() ? std::nullopt : std::optional(email_);
    std::optional<std::string> handle = pinnedHandle_.empty() ? std::nullopt : std::optional(pinnedHandle_);
    try {
        auto request = runBlocking([api = api_, org = orgID_, role = role_, folderIds, orgLabel = orgLabel_,
                                    inviter = inviterLabel_, email, handle, ttl = ttlHours_] {
            return api->createInvite(org, role, folderIds, orgLabel, inviter, email, handle, ttl);
        });
        auto answer = co_await request;
        if (assignChanged(created_, std::optional(std::move(answer)))) emit createdChanged();
    } catch (...) {
        setErrorMessage(std::string(kCreateFailed));
    }
    setBusy(false);
}

}  // namespace vael

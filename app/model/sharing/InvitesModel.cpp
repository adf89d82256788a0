#include "app/model/sharing/InvitesModel.h"

#include "app/model/Blocking.h"
#include "app/model/Observed.h"

namespace vael {

InvitesModel::InvitesModel(std::shared_ptr<InviteAPI> api, Uuid orgId) : api_(std::move(api)), orgId_(orgId) {}

QCoro::Task<> InvitesModel::reload() {
    auto keep = weak_from_this().lock();
    std::optional<std::string> message;
    try {
        auto listed = runBlocking([api = api_, org = orgId_] { return api->listInvites(org); });
        auto answer = co_await listed;
        if (assignChanged(invites_, std::move(answer))) emit invitesChanged();
    } catch (...) {
        message = kLoadFailed;
    }
    if (assignChanged(errorMessage_, std::move(message))) emit errorMessageChanged();
}

QCoro::Task<> InvitesModel::revoke(std::string inviteId) {
    auto keep = weak_from_this().lock();
    try {
        auto revoked = runBlocking([api = api_, org = orgId_, inviteId] { api->revokeInvite(org, inviteId); });
        co_await revoked;
    } catch (...) {
        // The reload shows what the server still holds.
    }
    co_await reload();
}

}  // namespace vael

#include "app/model/sharing/MembersViewModel.h"

#include <algorithm>

#include "app/model/Blocking.h"
#include "app/model/Observed.h"
#include "app/model/sharing/SharingContext.h"

namespace vael {

const std::vector<std::string>& MembersViewModel::assignableRoles() { return SharingRoles::all(); }

MembersViewModel::MembersViewModel(std::vector<Member> members) : members_(std::move(members)) {}

MembersViewModel::MembersViewModel(std::shared_ptr<InviteAPI> api, Uuid orgId, std::vector<Member> members)
    : api_(std::move(api)), orgId_(orgId), members_(std::move(members)) {}

void MembersViewModel::setMembers(std::vector<Member> members) {
    if (assignChanged(members_, std::move(members))) emit membersChanged();
}

void MembersViewModel::setErrorMessage(std::optional<std::string> message) {
    if (assignChanged(errorMessage_, std::move(message))) emit errorMessageChanged();
}

void MembersViewModel::setLoading(bool loading) {
    if (assignChanged(isLoading_, loading)) emit isLoadingChanged();
}

QCoro::Task<> MembersViewModel::load() {
    if (!api_ || !orgId_) co_return;
    auto keep = weak_from_this().lock();
    setLoading(true);
    try {
        auto listed = runBlocking([api = api_, org = *orgId_] { return api->listMembers(org); });
        auto answer = co_await listed;
        std::vector<Member> members;
        members.reserve(answer.size());
        for (auto& dto : answer) members.push_back(Member{dto.accountId, std::move(dto.role), std::move(dto.fingerprint)});
        setMembers(std::move(members));
        setErrorMessage(std::nullopt);
    } catch (...) {
        setErrorMessage(std::string(kLoadFailed));
    }
    setLoading(false);
}

QCoro::Task<> MembersViewModel::setRole(Uuid accountId, std::string role) {
    if (!api_ || !orgId_) co_return;
    if (!SharingRoles::isRole(role)) co_return;
    auto keep = weak_from_this().lock();
    try {
        auto changed = runBlocking([api = api_, org = *orgId_, accountId, role] { api->setMemberRole(org, accountId, role); });
        co_await changed;
        auto members = members_;
        auto found = std::find_if(members.begin(), members.end(), [&](const Member& m) { return m.accountId == accountId; });
        if (found != members.end()) found->role = role;
        setMembers(std::move(members));
        setErrorMessage(std::nullopt);
    } catch (...) {
        setErrorMessage(std::string(kRoleFailed));
    }
}

void MembersViewModel::setRole(int index, const std::string& role) {
    if (index < 0 || index >= static_cast<int>(members_.size()) || !SharingRoles::isRole(role)) return;
    auto members = members_;
    members[static_cast<std::size_t>(index)].role = role;
    setMembers(std::move(members));
}

QCoro::Task<> MembersViewModel::remove(Uuid accountId) {
    if (!api_ || !orgId_) co_return;
    auto keep = weak_from_this().lock();
    try {
        auto removed = runBlocking([api = api_, org = *orgId_, accountId] { api->removeMember(org, accountId); });
        co_await removed;
        auto members = members_;
        std::erase_if(members, [&](const Member& m) { return m.accountId == accountId; });
        setMembers(std::move(members));
        setErrorMessage(std::nullopt);
    } catch (...) {
        setErrorMessage(std::string(kRemoveFailed));
    }
}

}  // namespace vael

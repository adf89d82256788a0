#pragma once

#include <algorithm>
#include <condition_variable>
#include <optional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "api/APIError.h"
#include "api/InviteAPI.h"

namespace vael::testing {

// An invite interface that answers what the test scripts, fails the operations it is told to, and
// records every call in order with what was sent. A hold keeps one operation waiting until let go.
class ScriptedInviteAPI final : public InviteAPI {
public:
    std::vector<MemberDTO> members;
    std::vector<InviteDTO> invites;
    InviteDTO invite;
    AccountDTO account;
    InviteClaimDTO claim;
    InviteCreatedDTO created{"INV-1", "tok-123"};

    struct CreateArgs {
        std::string role;
        std::vector<Uuid> folderIds;
        std::optional<std::string> email;
        std::optional<std::string> pinnedHandle;
        std::int64_t ttlHours = 0;
    };
    std::vector<CreateArgs> createArgs;
    std::vector<SignedCollectionGrant> grantedInvite;
    std::vector<CollectionGrant> addedGrants;
    std::string addedRole;
    std::uint32_t rotatedEpoch = 0;
    std::vector<RotateMemberGrant> rotatedGrants;
    std::vector<RotateItemKey> rotatedItemKeys;

    // By default as an unreachable server would.
    void failOn(const std::string& operation, APIError error = APIError::network(-1, "scripted failure")) {
        std::lock_guard lock(mutex_);
        failing_.insert_or_assign(operation, std::move(error));
    }
    void succeedOn(const std::string& operation) {
        std::lock_guard lock(mutex_);
        failing_.erase(operation);
    }
    void holdOn(const std::string& operation) {
        std::lock_guard lock(mutex_);
        held_.insert(operation);
    }
    void letGo() {
        {
            std::lock_guard lock(mutex_);
            held_.clear();
        }
        released_.notify_all();
    }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int count(const std::string& operation) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(calls_.begin(), calls_.end(), operation));
    }
    bool waiting(const std::string& operation) const {
        std::lock_guard lock(mutex_);
        return waiting_.contains(operation);
    }

    std::vector<MemberDTO> listMembers(const Uuid&) override {
        call("listMembers");
        return members;
    }
    void setMemberRole(const Uuid&, const Uuid&, const std::string&) override { call("setMemberRole"); }
    void removeMember(const Uuid&, const Uuid&) override { call("removeMember"); }
    void addExistingMember(const Uuid&, const Uuid&, const std::string& role,
                           const std::vector<CollectionGrant>& grants) override {
        call("addExistingMember");
        addedRole = role;
        addedGrants = grants;
    }
    InviteCreatedDTO createInvite(const Uuid&, const std::string& role, const std::vector<Uuid>& folderIds,
                                  const std::string&, const std::string&, const std::optional<std::string>& email,
                                  const std::optional<std::string>& pinnedHandle, std::int64_t ttlHours) override {
        call("createInvite");
        createArgs.push_back(CreateArgs{role, folderIds, email, pinnedHandle, ttlHours});
        return created;
    }
    std::vector<InviteDTO> listInvites(const Uuid&) override {
        call("listInvites");
        return invites;
    }
    InviteDTO getInvite(const Uuid&, const std::string&) override {
        call("getInvite");
        return invite;
    }
    void revokeInvite(const Uuid&, const std::string&) override { call("revokeInvite"); }
    void grantInvite(const Uuid&, const std::string&, const std::vector<SignedCollectionGrant>& grants) override {
        call("grantInvite");
        grantedInvite = grants;
    }
    void rotateCollectionKey(const Uuid&, std::uint32_t epoch, const std::vector<RotateMemberGrant>& grants,
                             const std::vector<RotateItemKey>& itemKeys) override {
        call("rotateCollectionKey");
        rotatedEpoch = epoch;
        rotatedGrants = grants;
        rotatedItemKeys = itemKeys;
    }
    AccountDTO lookupAccount(const Uuid&, const std::string&) override {
        call("lookupAccount");
        return account;
    }
    InviteClaimDTO claimInvite(const std::string&) override {
        call("claimInvite");
        return claim;
    }

private:
    void call(const std::string& operation) {
        std::unique_lock lock(mutex_);
        calls_.push_back(operation);
        if (held_.contains(operation)) {
            waiting_.insert(operation);
            released_.wait(lock, [&] { return !held_.contains(operation); });
            waiting_.erase(operation);
        }
        if (const auto failure = failing_.find(operation); failure != failing_.end()) throw failure->second;
    }

    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::vector<std::string> calls_;
    std::map<std::string, APIError> failing_;
    std::set<std::string> held_;
    std::set<std::string> waiting_;
};

}  // namespace vael::testing

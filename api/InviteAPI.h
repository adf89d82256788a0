#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api/Records.h"
#include "core/Uuid.h"

namespace vael {

// Members, invites, grants and group key rotation. Every call blocks and throws APIError.
class InviteAPI {
public:
    virtual ~InviteAPI() = default;

    virtual std::vector<MemberDTO> listMembers(const Uuid& orgId) = 0;
    virtual void setMemberRole(const Uuid& orgId, const Uuid& accountId, const std::string& role) = 0;
    virtual void removeMember(const Uuid& orgId, const Uuid& accountId) = 0;
    virtual void addExistingMember(const Uuid& orgId, const Uuid& accountId, const std::string& role,
                                   const std::vector<CollectionGrant>& grants) = 0;
    virtual InviteCreatedDTO createInvite(const Uuid& orgId, const std::string& role,
                                          const std::vector<Uuid>& folderIds, const std::string& orgLabel,
                                          const std::string& inviterLabel, const std::optional<std::string>& email,
                                          const std::optional<std::string>& pinnedHandle,
                                          std::int64_t ttlHours) = 0;
    virtual std::vector<InviteDTO> listInvites(const Uuid& orgId) = 0;
    virtual InviteDTO getInvite(const Uuid& orgId, const std::string& inviteId) = 0;
    virtual void revokeInvite(const Uuid& orgId, const std::string& inviteId) = 0;
    virtual void grantInvite(const Uuid& orgId, const std::string& inviteId,
                             const std::vector<SignedCollectionGrant>& grants) = 0;
    virtual void rotateCollectionKey(const Uuid& collectionId, std::uint32_t newKeyEpoch,
                                     const std::vector<RotateMemberGrant>& memberGrants,
                                     const std::vector<RotateItemKey>& itemKeys) = 0;
    virtual AccountDTO lookupAccount(const Uuid& orgId, const std::string& handle) = 0;
    virtual InviteClaimDTO claimInvite(const std::string& token) = 0;
};

}  // namespace vael

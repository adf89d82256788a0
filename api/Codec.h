#pragma once

// The JSON of the server's requests and answers. Readers are strict: a member of the wrong type, a
// missing required member or a value out of range rejects the whole answer with
// APIError::badResponse; null counts as absent; unknown members are ignored.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/APIError.h"
#include "api/Records.h"
#include "core/Bytes.h"
#include "core/Time.h"

namespace vael::wire {

// Dates travel as whole milliseconds since 1970-01-01 UTC.
std::int64_t toWireMillis(TimePoint time);
std::optional<TimePoint> fromWireMillis(std::int64_t millis);

ItemDTO decodeItem(std::string_view body);
CollectionDTO decodeCollection(std::string_view body);
OrgDTO decodeOrg(std::string_view body);
SyncResponseDTO decodeSyncResponse(std::string_view body);
AccountDTO decodeAccount(std::string_view body);
LoginFinishResponse decodeLoginFinish(std::string_view body);
MeResponse decodeMe(std::string_view body);
std::vector<MemberDTO> decodeMembers(std::string_view body);
std::vector<InviteDTO> decodeInvites(std::string_view body);
InviteDTO decodeInvite(std::string_view body);
InviteCreatedDTO decodeInviteCreated(std::string_view body);
InviteClaimDTO decodeInviteClaim(std::string_view body);

// The error of a non-success answer: 404 not found, 409 with a revision a conflict, 409 without one
// taken, anything else rejected. The server's text is cut short and kept to printable characters.
APIError errorFromAnswer(std::int64_t status, std::string_view body);

// Request bodies.
std::string encodeRegistrationBegin(std::string_view handle, const Bytes& x25519PublicKey,
                                    const Bytes& ed25519PublicKey, const Bytes& wrappedAccountPrivKeys);
std::string encodeLoginBegin(std::string_view handle);
// A name key left absent is not sent: the server keeps the one it holds.
std::string encodeOrgCreate(const std::optional<Uuid>& id, const Bytes& nameBlob,
                            const std::optional<Bytes>& nameWrappedKey);
std::string encodeCollectionCreate(const std::optional<Uuid>& id, const std::optional<Uuid>& parentId,
                                   const Bytes& nameBlob, const std::optional<Bytes>& nameWrappedKey,
                                   const Bytes& wrappedKey);
std::string encodeCollectionPatch(const Bytes& nameBlob, const std::optional<Bytes>& nameWrappedKey,
                                  const std::optional<Uuid>& parentId, std::int64_t sort);
std::string encodeItemWrite(const ItemWriteBody& body, std::optional<std::int64_t> expectedRevision);
std::string encodeMemberRole(std::string_view role);
std::string encodeAddMember(const Uuid& accountId, std::string_view role, const std::vector<CollectionGrant>& grants);
std::string encodeInviteCreate(std::string_view role, const std::vector<Uuid>& folderIds, std::string_view orgLabel,
                               std::string_view inviterLabel, const std::optional<std::string>& email,
                               const std::optional<std::string>& pinnedHandle, std::int64_t ttlHours);
std::string encodeInviteGrant(const std::vector<SignedCollectionGrant>& grants);
std::string encodeRotation(std::uint32_t keyEpoch, const std::vector<RotateMemberGrant>& memberGrants,
                           const std::vector<RotateItemKey>& itemKeys);
std::string encodeInviteClaim(std::string_view token);

}  // namespace vael::wire

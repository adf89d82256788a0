#pragma once

// The server's HTTP interface: every route under the API prefix and every JSON member name, in one
// place. The client and the test server both read them from here.

#include <string>
#include <string_view>

#include "core/Uuid.h"

namespace vael::wire {

inline constexpr std::string_view kApiPrefix = "/api/v1";

// Routes, relative to the prefix. Identifiers go in their upper-case text form.
namespace route {
inline constexpr std::string_view kRegisterBegin = "/auth/register/begin";
inline constexpr std::string_view kRegisterFinish = "/auth/register/finish";
inline constexpr std::string_view kLoginBegin = "/auth/login/begin";
inline constexpr std::string_view kLoginFinish = "/auth/login/finish";
inline constexpr std::string_view kMe = "/me";
inline constexpr std::string_view kOrgs = "/orgs";
inline constexpr std::string_view kSync = "/sync";
inline constexpr std::string_view kInviteClaim = "/invites/claim";

inline std::string org(const Uuid& org) { return std::string(kOrgs) + "/" + org.text(); }
inline std::string orgCollections(const Uuid& org) { return route::org(org) + "/collections"; }
inline std::string collection(const Uuid& id) { return "/collections/" + id.text(); }
inline std::string collectionItems(const Uuid& id) { return collection(id) + "/items"; }
inline std::string collectionRotate(const Uuid& id) { return collection(id) + "/rotate"; }
inline std::string item(const Uuid& id) { return "/items/" + id.text(); }
inline std::string orgMembers(const Uuid& org) { return route::org(org) + "/members"; }
inline std::string orgMember(const Uuid& org, const Uuid& account) {
    return orgMembers(org) + "/" + account.text();
}
inline std::string orgInvites(const Uuid& org) { return route::org(org) + "/invites"; }
// The invite id is the server's text: the caller passes it already escaped for a path.
inline std::string orgInvite(const Uuid& org, std::string_view escapedInviteId) {
    return orgInvites(org) + "/" + std::string(escapedInviteId);
}
inline std::string orgInviteGrant(const Uuid& org, std::string_view escapedInviteId) {
    return orgInvite(org, escapedInviteId) + "/grant";
}
inline std::string orgAccounts(const Uuid& org) { return route::org(org) + "/accounts"; }
}  // namespace route

// Query parameters.
namespace query {
inline constexpr std::string_view kSince = "since";    // milliseconds since 1970
inline constexpr std::string_view kHandle = "handle";
}  // namespace query

// JSON member names.
namespace key {
inline constexpr const char* kId = "id";
inline constexpr const char* kOrgId = "orgId";
inline constexpr const char* kCollectionId = "collectionId";
inline constexpr const char* kParentId = "parentId";
inline constexpr const char* kType = "type";
inline constexpr const char* kNameBlob = "nameBlob";
inline constexpr const char* kNameWrappedKey = "nameWrappedKey";
inline constexpr const char* kContentBlob = "contentBlob";
inline constexpr const char* kCryptoParams = "cryptoParams";
inline constexpr const char* kWrappedItemKey = "wrappedItemKey";
inline constexpr const char* kWrappedKey = "wrappedKey";
inline constexpr const char* kAiAccess = "aiAccess";
inline constexpr const char* kRevision = "revision";
inline constexpr const char* kExpectedRevision = "expectedRevision";
inline constexpr const char* kUpdatedAt = "updatedAt";
inline constexpr const char* kDeleted = "deleted";
inline constexpr const char* kSort = "sort";
inline constexpr const char* kNow = "now";
inline constexpr const char* kItems = "items";
inline constexpr const char* kCollections = "collections";

inline constexpr const char* kHandle = "handle";
inline constexpr const char* kX25519PublicKey = "x25519PublicKey";
inline constexpr const char* kEd25519PublicKey = "ed25519PublicKey";
inline constexpr const char* kWrappedAccountPrivKeys = "wrappedAccountPrivKeys";
inline constexpr const char* kToken = "token";
inline constexpr const char* kExpiresAt = "expiresAt";
inline constexpr const char* kAccount = "account";

inline constexpr const char* kAccountId = "accountId";
inline constexpr const char* kRole = "role";
inline constexpr const char* kFingerprint = "fingerprint";
inline constexpr const char* kMembers = "members";
inline constexpr const char* kInvites = "invites";
inline constexpr const char* kStatus = "status";
inline constexpr const char* kOrgLabel = "orgLabel";
inline constexpr const char* kInviterLabel = "inviterLabel";
inline constexpr const char* kFolderIds = "folderIds";
inline constexpr const char* kRecipient = "recipient";
inline constexpr const char* kCreatedAt = "createdAt";
inline constexpr const char* kClaimedAccountId = "claimedAccountId";
inline constexpr const char* kInviteeX25519PublicKey = "inviteeX25519PublicKey";
inline constexpr const char* kInviteeEd25519PublicKey = "inviteeEd25519PublicKey";
inline constexpr const char* kEmail = "email";
inline constexpr const char* kPinnedHandle = "pinnedHandle";
inline constexpr const char* kTtlHours = "ttlHours";
inline constexpr const char* kGrants = "grants";
inline constexpr const char* kSealedKey = "sealedKey";
inline constexpr const char* kSignature = "signature";
inline constexpr const char* kKeyEpoch = "keyEpoch";
inline constexpr const char* kMemberGrants = "memberGrants";
inline constexpr const char* kItemKeys = "itemKeys";
inline constexpr const char* kItemId = "itemId";

// Error answers: {"error": text} and, for a conflict with a revisioned object, "revision".
inline constexpr const char* kError = "error";
}  // namespace key

}  // namespace vael::wire

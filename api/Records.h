#pragma once

// The server's transfer records. Encrypted blobs and public keys travel as Base64URL text (see
// Base64URL.h); callers encode and decode them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Time.h"
#include "core/Uuid.h"

namespace vael {

// An item's crypto parameters, kept as the raw JSON text the item holds and sent verbatim.
struct CryptoParamsDTO {
    CryptoParamsDTO() = default;
    explicit CryptoParamsDTO(std::string rawJSON) : rawJSON(std::move(rawJSON)) {}
    std::string rawJSON;
    bool operator==(const CryptoParamsDTO&) const = default;
};

// --- items, groups and sync ---

// An item as the server answers it.
struct ItemDTO {
    Uuid id;
    Uuid collectionId;
    std::optional<std::string> type = std::nullopt;  // absent on records stored before clients sent one
    std::string nameBlob;
    std::string contentBlob;
    CryptoParamsDTO cryptoParams;
    std::string wrappedItemKey;
    std::string aiAccess;
    std::int64_t revision = 0;
    TimePoint updatedAt;
    bool operator==(const ItemDTO&) const = default;
};

// What is sent to create (with an id) or update (without one) an item.
struct ItemWriteBody {
    std::optional<Uuid> id;
    std::string type;
    std::string nameBlob;
    std::string contentBlob;
    CryptoParamsDTO cryptoParams;
    std::string wrappedItemKey;
    std::string aiAccess;
    bool operator==(const ItemWriteBody&) const = default;
};

// A group (the server calls groups collections) as the server answers it.
struct CollectionDTO {
    Uuid id;
    Uuid orgId;
    std::optional<Uuid> parentId;
    std::string nameBlob;
    std::string wrappedKey;
    std::int64_t sort = 0;
    TimePoint updatedAt;
    std::optional<std::string> nameWrappedKey = std::nullopt;  // the name's key, wrapped by the group key
    bool operator==(const CollectionDTO&) const = default;
};

// A project (the server calls projects organisations) as the server answers it.
struct OrgDTO {
    Uuid id;
    std::string nameBlob;
    TimePoint updatedAt;
    std::optional<std::string> nameWrappedKey = std::nullopt;  // the name's key, wrapped by the default group key
    bool operator==(const OrgDTO&) const = default;
};

struct ItemDelta {
    Uuid id;
    Uuid collectionId;
    std::int64_t revision = 0;
    TimePoint updatedAt;
    bool deleted = false;
    bool operator==(const ItemDelta&) const = default;
};

struct CollectionDelta {
    Uuid id;
    Uuid orgId;
    std::optional<Uuid> parentId;
    std::string nameBlob;
    std::int64_t sort = 0;
    std::string wrappedKey;
    TimePoint updatedAt;
    bool deleted = false;
    std::optional<std::string> nameWrappedKey = std::nullopt;
    bool operator==(const CollectionDelta&) const = default;
};

// The answer of one sync call: the changes after the given time, in the server's order.
struct SyncResponseDTO {
    TimePoint now;
    std::vector<ItemDelta> items;
    std::vector<CollectionDelta> collections;
    bool operator==(const SyncResponseDTO&) const = default;
};

// --- accounts ---

struct AccountDTO {
    Uuid id;
    std::string handle;
    std::string x25519PublicKey;
    std::string ed25519PublicKey;
    bool operator==(const AccountDTO&) const = default;
};

// The session token is a credential: never log it.
struct LoginFinishResponse {
    std::string token;
    TimePoint expiresAt;
    AccountDTO account;
};

struct MeResponse {
    AccountDTO account;
    bool operator==(const MeResponse&) const = default;
};

// --- members, invites and grants ---

struct MemberDTO {
    Uuid accountId;
    std::string role;
    std::string fingerprint;  // as the server reports it; shown, never trusted
    std::optional<std::string> x25519PublicKey;
    std::optional<std::string> ed25519PublicKey;
    bool operator==(const MemberDTO&) const = default;
};

struct InviteDTO {
    std::string id;
    std::string role;
    std::string status;  // "pending" or "claimed"
    std::string orgLabel;
    std::string inviterLabel;
    std::optional<std::vector<Uuid>> folderIds;
    std::optional<std::string> recipient;
    TimePoint createdAt;
    TimePoint expiresAt;
    std::optional<Uuid> claimedAccountId;
    std::optional<std::string> inviteeX25519PublicKey;
    std::optional<std::string> inviteeEd25519PublicKey;
    bool operator==(const InviteDTO&) const = default;
};

// The invite token is a credential: never log it.
struct InviteCreatedDTO {
    std::string id;
    std::string token;
    bool operator==(const InviteCreatedDTO&) const = default;
};

struct InviteClaimDTO {
    Uuid orgId;
    std::string role;
    bool operator==(const InviteClaimDTO&) const = default;
};

struct CollectionGrant {
    Uuid collectionId;
    std::string sealedKey;
    bool operator==(const CollectionGrant&) const = default;
};

struct SignedCollectionGrant {
    Uuid collectionId;
    std::string sealedKey;
    std::string signature;
    bool operator==(const SignedCollectionGrant&) const = default;
};

struct RotateMemberGrant {
    Uuid accountId;
    std::string sealedKey;
    std::string signature;
    bool operator==(const RotateMemberGrant&) const = default;
};

struct RotateItemKey {
    Uuid itemId;
    std::string wrappedKey;
    bool operator==(const RotateItemKey&) const = default;
};

}  // namespace vael

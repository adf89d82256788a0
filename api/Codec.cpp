#include "api/Codec.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <limits>
#include <stdexcept>

#include "api/Base64URL.h"
#include "api/Routes.h"

namespace vael::wire {

namespace {

using json = nlohmann::json;
using ordered = nlohmann::ordered_json;

// Keeps the nanosecond clock from overflowing: about year 1685 to 2255.
constexpr std::int64_t kMaxWireMillis = 9'000'000'000'000;
constexpr std::size_t kMaxServerText = 200;

[[noreturn]] void malformed(const std::string& what) { throw APIError::badResponse(what); }

std::string quoted(const char* key) { return std::string("\"") + key + "\""; }

json parseObject(std::string_view body, const char* what) {
    json value = json::parse(body.begin(), body.end(), nullptr, false);
    if (value.is_discarded() || !value.is_object()) malformed(std::string(what) + " is not a JSON object");
    return value;
}

// Null and absent are the same.
const json* member(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

const json& required(const json& object, const char* key) {
    const json* value = member(object, key);
    if (!value) malformed("missing " + quoted(key));
    return *value;
}

std::string stringValue(const json& value, const char* key) {
    if (!value.is_string()) malformed(quoted(key) + " is not a string");
    return value.get<std::string>();
}

std::string requireString(const json& object, const char* key) { return stringValue(required(object, key), key); }

std::optional<std::string> optionalString(const json& object, const char* key) {
    const json* value = member(object, key);
    if (!value) return std::nullopt;
    return stringValue(*value, key);
}

std::int64_t requireInt64(const json& object, const char* key) {
    const json& value = required(object, key);
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            malformed(quoted(key) + " is out of range");
        return static_cast<std::int64_t>(n);
    }
    if (!value.is_number_integer()) malformed(quoted(key) + " is not an integer");
    return value.get<std::int64_t>();
}

bool requireBool(const json& object, const char* key) {
    const json& value = required(object, key);
    if (!value.is_boolean()) malformed(quoted(key) + " is not a boolean");
    return value.get<bool>();
}

Uuid uuidValue(const json& value, const char* key) {
    const auto id = Uuid::parse(stringValue(value, key));
    if (!id) malformed(quoted(key) + " is not an identifier");
    return *id;
}

Uuid requireUuid(const json& object, const char* key) { return uuidValue(required(object, key), key); }

std::optional<Uuid> optionalUuid(const json& object, const char* key) {
    const json* value = member(object, key);
    if (!value) return std::nullopt;
    return uuidValue(*value, key);
}

TimePoint requireTime(const json& object, const char* key) {
    const auto time = fromWireMillis(requireInt64(object, key));
    if (!time) malformed(quoted(key) + " is out of range");
    return *time;
}

const json& requireArray(const json& object, const char* key) {
    const json& value = required(object, key);
    if (!value.is_array()) malformed(quoted(key) + " is not an array");
    return value;
}

const json& objectValue(const json& value, const char* key) {
    if (!value.is_object()) malformed(quoted(key) + " holds something that is not an object");
    return value;
}

ItemDTO itemFrom(const json& o) {
    ItemDTO item;
    item.id = requireUuid(o, key::kId);
    item.collectionId = requireUuid(o, key::kCollectionId);
    item.type = optionalString(o, key::kType);
    item.nameBlob = requireString(o, key::kNameBlob);
    item.contentBlob = requireString(o, key::kContentBlob);
    item.cryptoParams = CryptoParamsDTO(requireString(o, key::kCryptoParams));
    item.wrappedItemKey = requireString(o, key::kWrappedItemKey);
    item.aiAccess = requireString(o, key::kAiAccess);
    item.revision = requireInt64(o, key::kRevision);
    item.updatedAt = requireTime(o, key::kUpdatedAt);
    return item;
}

CollectionDTO collectionFrom(const json& o) {
    CollectionDTO collection;
    collection.id = requireUuid(o, key::kId);
    collection.orgId = requireUuid(o, key::kOrgId);
    collection.parentId = optionalUuid(o, key::kParentId);
    collection.nameBlob = requireString(o, key::kNameBlob);
    collection.nameWrappedKey = optionalString(o, key::kNameWrappedKey);
    collection.wrappedKey = requireString(o, key::kWrappedKey);
    collection.sort = requireInt64(o, key::kSort);
    collection.updatedAt = requireTime(o, key::kUpdatedAt);
    return collection;
}

AccountDTO accountFrom(const json& o) {
    AccountDTO account;
    account.id = requireUuid(o, key::kId);
    account.handle = requireString(o, key::kHandle);
    account.x25519PublicKey = requireString(o, key::kX25519PublicKey);
    account.ed25519PublicKey = requireString(o, key::kEd25519PublicKey);
    return account;
}

MemberDTO memberFrom(const json& o) {
    MemberDTO m;
    m.accountId = requireUuid(o, key::kAccountId);
    m.role = requireString(o, key::kRole);
    m.fingerprint = requireString(o, key::kFingerprint);
    m.x25519PublicKey = optionalString(o, key::kX25519PublicKey);
    m.ed25519PublicKey = optionalString(o, key::kEd25519PublicKey);
    return m;
}

InviteDTO inviteFrom(const json& o) {
    InviteDTO invite;
    invite.id = requireString(o, key::kId);
    invite.role = requireString(o, key::kRole);
    invite.status = requireString(o, key::kStatus);
    invite.orgLabel = requireString(o, key::kOrgLabel);
    invite.inviterLabel = requireString(o, key::kInviterLabel);
    if (const json* folders = member(o, key::kFolderIds)) {
        if (!folders->is_array()) malformed(quoted(key::kFolderIds) + " is not an array");
        std::vector<Uuid> ids;
        ids.reserve(folders->size());
        for (const json& id : *folders) ids.push_back(uuidValue(id, key::kFolderIds));
        invite.folderIds = std::move(ids);
    }
    invite.recipient = optionalString(o, key::kRecipient);
    invite.createdAt = requireTime(o, key::kCreatedAt);
    invite.expiresAt = requireTime(o, key::kExpiresAt);
    invite.claimedAccountId = optionalUuid(o, key::kClaimedAccountId);
    invite.inviteeX25519PublicKey = optionalString(o, key::kInviteeX25519PublicKey);
    invite.inviteeEd25519PublicKey = optionalString(o, key::kInviteeEd25519PublicKey);
    return invite;
}

template <typename Record, typename From>
std::vector<Record> listFrom(std::string_view body, const char* what, const char* listKey, From from) {
    const json o = parseObject(body, what);
    const json& list = requireArray(o, listKey);
    std::vector<Record> records;
    records.reserve(list.size());
    for (const json& entry : list) records.push_back(from(objectValue(entry, listKey)));
    return records;
}

// Printable ASCII only, cut short: the text ends up in messages and logs.
std::string serverText(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (out.size() >= kMaxServerText) break;
        out.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return out;
}

std::string dumped(const ordered& value) {
    try {
        return value.dump();
    } catch (const nlohmann::json::exception&) {
        throw std::invalid_argument("a text for the server is not valid UTF-8");
    }
}

ordered uuidOrNull(const std::optional<Uuid>& id) { return id ? ordered(id->text()) : ordered(nullptr); }

}  // namespace

std::int64_t toWireMillis(TimePoint time) {
    return std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

std::optional<TimePoint> fromWireMillis(std::int64_t millis) {
    if (millis > kMaxWireMillis || millis < -kMaxWireMillis) return std::nullopt;
    return TimePoint(std::chrono::duration_cast<TimePoint::duration>(std::chrono::milliseconds(millis)));
}

ItemDTO decodeItem(std::string_view body) { return itemFrom(parseObject(body, "item")); }

CollectionDTO decodeCollection(std::string_view body) { return collectionFrom(parseObject(body, "collection")); }

OrgDTO decodeOrg(std::string_view body) {
    const json o = parseObject(body, "organisation");
    OrgDTO org;
    org.id = requireUuid(o, key::kId);
    org.nameBlob = requireString(o, key::kNameBlob);
    org.nameWrappedKey = optionalString(o, key::kNameWrappedKey);
    org.updatedAt = requireTime(o, key::kUpdatedAt);
    return org;
}

SyncResponseDTO decodeSyncResponse(std::string_view body) {
    const json o = parseObject(body, "sync answer");
    SyncResponseDTO answer;
    answer.now = requireTime(o, key::kNow);
    const json& items = requireArray(o, key::kItems);
    answer.items.reserve(items.size());
    for (const json& entry : items) {
        const json& d = objectValue(entry, key::kItems);
        answer.items.push_back(ItemDelta{requireUuid(d, key::kId), requireUuid(d, key::kCollectionId),
                                         requireInt64(d, key::kRevision), requireTime(d, key::kUpdatedAt),
                                         requireBool(d, key::kDeleted)});
    }
    const json& collections = requireArray(o, key::kCollections);
    answer.collections.reserve(collections.size());
    for (const json& entry : collections) {
        const json& d = objectValue(entry, key::kCollections);
        CollectionDelta delta;
        delta.id = requireUuid(d, key::kId);
        delta.orgId = requireUuid(d, key::kOrgId);
        delta.parentId = optionalUuid(d, key::kParentId);
        delta.nameBlob = requireString(d, key::kNameBlob);
        delta.nameWrappedKey = optionalString(d, key::kNameWrappedKey);
        delta.sort = requireInt64(d, key::kSort);
        delta.wrappedKey = requireString(d, key::kWrappedKey);
        delta.updatedAt = requireTime(d, key::kUpdatedAt);
        delta.deleted = requireBool(d, key::kDeleted);
        answer.collections.push_back(std::move(delta));
    }
    return answer;
}

AccountDTO decodeAccount(std::string_view body) { return accountFrom(parseObject(body, "account")); }

LoginFinishResponse decodeLoginFinish(std::string_view body) {
    const json o = parseObject(body, "login answer");
    LoginFinishResponse answer;
    answer.token = requireString(o, key::kToken);
    if (answer.token.empty()) malformed("empty " + quoted(key::kToken));
    answer.expiresAt = requireTime(o, key::kExpiresAt);
    answer.account = accountFrom(objectValue(required(o, key::kAccount), key::kAccount));
    return answer;
}

MeResponse decodeMe(std::string_view body) {
    const json o = parseObject(body, "current account");
    return MeResponse{accountFrom(objectValue(required(o, key::kAccount), key::kAccount))};
}

std::vector<MemberDTO> decodeMembers(std::string_view body) {
    return listFrom<MemberDTO>(body, "member list", key::kMembers, memberFrom);
}

std::vector<InviteDTO> decodeInvites(std::string_view body) {
    return listFrom<InviteDTO>(body, "invite list", key::kInvites, inviteFrom);
}

InviteDTO decodeInvite(std::string_view body) { return inviteFrom(parseObject(body, "invite")); }

InviteCreatedDTO decodeInviteCreated(std::string_view body) {
    const json o = parseObject(body, "new invite");
    InviteCreatedDTO created{requireString(o, key::kId), requireString(o, key::kToken)};
    if (created.id.empty() || created.token.empty()) malformed("empty invite id or token");
    return created;
}

InviteClaimDTO decodeInviteClaim(std::string_view body) {
    const json o = parseObject(body, "invite claim");
    return InviteClaimDTO{requireUuid(o, key::kOrgId), requireString(o, key::kRole)};
}

APIError errorFromAnswer(std::int64_t status, std::string_view body) {
    std::string text;
    std::optional<std::int64_t> revision;
    const json o = json::parse(body.begin(), body.end(), nullptr, false);
    if (!o.is_discarded() && o.is_object()) {
        if (const json* message = member(o, key::kError); message && message->is_string())
            text = serverText(message->get<std::string>());
        if (const json* rev = member(o, key::kRevision); rev && rev->is_number_integer()) {
            try {
                revision = requireInt64(o, key::kRevision);
            } catch (const APIError&) {
                // A revision out of range is no revision.
            }
        }
    }
    if (status == 404) return APIError::notFound();
    if (status == 409) return revision ? APIError::conflict(*revision) : APIError::taken(text);
    return APIError::rejected(status, text);
}

std::string encodeRegistrationBegin(std::string_view handle, const Bytes& x25519PublicKey,
                                    const Bytes& ed25519PublicKey, const Bytes& wrappedAccountPrivKeys) {
    ordered o;
    o[key::kHandle] = handle;
    o[key::kX25519PublicKey] = Base64URL::encode(x25519PublicKey);
    o[key::kEd25519PublicKey] = Base64URL::encode(ed25519PublicKey);
    o[key::kWrappedAccountPrivKeys] = Base64URL::encode(wrappedAccountPrivKeys);
    return dumped(o);
}

std::string encodeLoginBegin(std::string_view handle) {
    ordered o;
    o[key::kHandle] = handle;
    return dumped(o);
}

std::string encodeOrgCreate(const std::optional<Uuid>& id, const Bytes& nameBlob,
                            const std::optional<Bytes>& nameWrappedKey) {
    ordered o;
    if (id) o[key::kId] = id->text();
    o[key::kNameBlob] = Base64URL::encode(nameBlob);
    if (nameWrappedKey) o[key::kNameWrappedKey] = Base64URL::encode(*nameWrappedKey);
    return dumped(o);
}

std::string encodeCollectionCreate(const std::optional<Uuid>& id, const std::optional<Uuid>& parentId,
                                   const Bytes& nameBlob, const std::optional<Bytes>& nameWrappedKey,
                                   const Bytes& wrappedKey) {
    ordered o;
    if (id) o[key::kId] = id->text();
    if (parentId) o[key::kParentId] = parentId->text();
    o[key::kNameBlob] = Base64URL::encode(nameBlob);
    if (nameWrappedKey) o[key::kNameWrappedKey] = Base64URL::encode(*nameWrappedKey);
    o[key::kWrappedKey] = Base64URL::encode(wrappedKey);
    return dumped(o);
}

std::string encodeCollectionPatch(const Bytes& nameBlob, const std::optional<Bytes>& nameWrappedKey,
                                  const std::optional<Uuid>& parentId, std::int64_t sort) {
    ordered o;
    o[key::kNameBlob] = Base64URL::encode(nameBlob);
    if (nameWrappedKey) o[key::kNameWrappedKey] = Base64URL::encode(*nameWrappedKey);
    o[key::kParentId] = uuidOrNull(parentId);  // null moves the group to the top level
    o[key::kSort] = sort;
    return dumped(o);
}

std::string encodeItemWrite(const ItemWriteBody& body, std::optional<std::int64_t> expectedRevision) {
    ordered o;
    if (body.id) o[key::kId] = body.id->text();
    o[key::kType] = body.type;
    o[key::kNameBlob] = body.nameBlob;
    o[key::kContentBlob] = body.contentBlob;
    o[key::kCryptoParams] = body.cryptoParams.rawJSON;
    o[key::kWrappedItemKey] = body.wrappedItemKey;
    o[key::kAiAccess] = body.aiAccess;
    if (expectedRevision) o[key::kExpectedRevision] = *expectedRevision;
    return dumped(o);
}

std::string encodeMemberRole(std::string_view role) {
    ordered o;
    o[key::kRole] = role;
    return dumped(o);
}

std::string encodeAddMember(const Uuid& accountId, std::string_view role, const std::vector<CollectionGrant>& grants) {
    ordered o;
    o[key::kAccountId] = accountId.text();
    o[key::kRole] = role;
    ordered list = ordered::array();
    for (const auto& g : grants) {
        ordered entry;
        entry[key::kCollectionId] = g.collectionId.text();
        entry[key::kSealedKey] = g.sealedKey;
        list.push_back(std::move(entry));
    }
    o[key::kGrants] = std::move(list);
    return dumped(o);
}

std::string encodeInviteCreate(std::string_view role, const std::vector<Uuid>& folderIds, std::string_view orgLabel,
                               std::string_view inviterLabel, const std::optional<std::string>& email,
                               const std::optional<std::string>& pinnedHandle, std::int64_t ttlHours) {
    ordered o;
    o[key::kRole] = role;
    ordered folders = ordered::array();
    for (const auto& id : folderIds) folders.push_back(id.text());
    o[key::kFolderIds] = std::move(folders);
    o[key::kOrgLabel] = orgLabel;
    o[key::kInviterLabel] = inviterLabel;
    if (email) o[key::kEmail] = *email;
    if (pinnedHandle) o[key::kPinnedHandle] = *pinnedHandle;
    o[key::kTtlHours] = ttlHours;
    return dumped(o);
}

std::string encodeInviteGrant(const std::vector<SignedCollectionGrant>& grants) {
    ordered list = ordered::array();
    for (const auto& g : grants) {
        ordered entry;
        entry[key::kCollectionId] = g.collectionId.text();
        entry[key::kSealedKey] = g.sealedKey;
        entry[key::kSignature] = g.signature;
        list.push_back(std::move(entry));
    }
    ordered o;
    o[key::kGrants] = std::move(list);
    return dumped(o);
}

std::string encodeRotation(std::uint32_t keyEpoch, const std::vector<RotateMemberGrant>& memberGrants,
                           const std::vector<RotateItemKey>& itemKeys) {
    ordered grants = ordered::array();
    for (const auto& g : memberGrants) {
        ordered entry;
        entry[key::kAccountId] = g.accountId.text();
        entry[key::kSealedKey] = g.sealedKey;
        entry[key::kSignature] = g.signature;
        grants.push_back(std::move(entry));
    }
    ordered keys = ordered::array();
    for (const auto& k : itemKeys) {
        ordered entry;
        entry[key::kItemId] = k.itemId.text();
        entry[key::kWrappedKey] = k.wrappedKey;
        keys.push_back(std::move(entry));
    }
    ordered o;
    o[key::kKeyEpoch] = keyEpoch;
    o[key::kMemberGrants] = std::move(grants);
    o[key::kItemKeys] = std::move(keys);
    return dumped(o);
}

std::string encodeInviteClaim(std::string_view token) {
    ordered o;
    o[key::kToken] = token;
    return dumped(o);
}

}  // namespace vael::wire

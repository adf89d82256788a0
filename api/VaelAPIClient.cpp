#include "api/VaelAPIClient.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <sodium.h>

#include <stdexcept>

#include "api/Codec.h"
#include "api/HttpTransport.h"
#include "api/Routes.h"
#include "core/Log.h"

namespace vael {

namespace {

constexpr std::string_view kLogCategory = "api";

struct Url {
    CURLU* handle = curl_url();
    ~Url() { curl_url_cleanup(handle); }

    std::optional<std::string> part(CURLUPart which) const {
        char* text = nullptr;
        if (curl_url_get(handle, which, &text, 0) != CURLUE_OK || !text) return std::nullopt;
        std::string out(text);
        curl_free(text);
        return out;
    }
};

bool isLoopbackHost(const std::string& host) {
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return (ntohl(address.s_addr) >> 24) == 127;
    return host == "localhost" || host == "[::1]";
}

// Checks the server address and gives it the API path exactly once.
std::string endpointFor(const std::string& baseURL) {
    Url url;
    if (!url.handle) throw std::bad_alloc();
    if (curl_url_set(url.handle, CURLUPART_URL, baseURL.c_str(), 0) != CURLUE_OK)
        throw std::invalid_argument("the server address is not a URL");
    const auto scheme = url.part(CURLUPART_SCHEME);
    const auto host = url.part(CURLUPART_HOST);
    if (!scheme || !host || host->empty()) throw std::invalid_argument("the server address has no host");
    if (*scheme != "https" && !(*scheme == "http" && isLoopbackHost(*host)))
        throw std::invalid_argument("the server address must use https");
    if (url.part(CURLUPART_USER) || url.part(CURLUPART_PASSWORD))
        throw std::invalid_argument("the server address must not carry credentials");
    if (url.part(CURLUPART_QUERY) || url.part(CURLUPART_FRAGMENT))
        throw std::invalid_argument("the server address must not carry a query or fragment");

    std::string path = url.part(CURLUPART_PATH).value_or("");
    while (!path.empty() && path.back() == '/') path.pop_back();
    if (path.size() < wire::kApiPrefix.size() ||
        path.compare(path.size() - wire::kApiPrefix.size(), wire::kApiPrefix.size(), wire::kApiPrefix) != 0)
        path += wire::kApiPrefix;
    if (curl_url_set(url.handle, CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK)
        throw std::invalid_argument("the server address has an unusable path");
    auto full = url.part(CURLUPART_URL);
    if (!full) throw std::invalid_argument("the server address is not a URL");
    return *full;
}

std::string textOfBytes(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Texts that hold a credential (a session or invite token) are wiped however the call ends.
struct WipedOnExit {
    std::string& text;
    ~WipedOnExit() { sodium_memzero(text.data(), text.size()); }
};

}  // namespace

VaelAPIClient::VaelAPIClient(const std::string& baseURL, VaelAPIClientOptions options)
    : transport_(std::make_unique<HttpTransport>(options.connectTimeout, options.totalTimeout,
                                                 options.maxAnswerBytes)) {
    endpoint_ = endpointFor(baseURL);
}

VaelAPIClient::~VaelAPIClient() = default;

void VaelAPIClient::setSessionToken(std::string_view token) {
    std::lock_guard lock(tokenMutex_);
    token_ = SecureBytes(token);
}

void VaelAPIClient::clearSessionToken() {
    std::lock_guard lock(tokenMutex_);
    token_.wipe();
}

bool VaelAPIClient::hasSessionToken() const {
    std::lock_guard lock(tokenMutex_);
    return !token_.empty();
}

std::string VaelAPIClient::call(std::string_view operation, HttpMethod method, const std::string& route,
                                const std::string* body) const {
    SecureBytes token;
    {
        std::lock_guard lock(tokenMutex_);
        token = token_;
    }
    try {
        HttpAnswer answer = transport_->perform(method, endpoint_ + route, body, token);
        if (answer.status >= 200 && answer.status < 300) return std::move(answer.body);
        if (answer.status < 100 || answer.status > 599) throw APIError::badResponse("no HTTP status");
        throw wire::errorFromAnswer(answer.status, answer.body);
    } catch (const APIError& error) {
        // Absent objects and conflicts are ordinary answers; the rest is worth a line in the log.
        if (error.kind() != APIError::Kind::NotFound && error.kind() != APIError::Kind::Conflict)
            logMessage(LogLevel::Info, kLogCategory, std::string(operation) + ": " + error.what());
        throw;
    }
}

template <typename Decode>
auto VaelAPIClient::decoded(std::string_view operation, const std::string& body, Decode decode) const {
    try {
        return decode(body);
    } catch (const APIError& error) {
        logMessage(LogLevel::Warning, kLogCategory, std::string(operation) + ": " + error.what());
        throw;
    }
}

// --- AuthAPI ---

Bytes VaelAPIClient::beginRegistration(const std::string& handle, const Bytes& x25519PublicKey,
                                       const Bytes& ed25519PublicKey, const Bytes& wrappedAccountPrivKeys) {
    const std::string body =
        wire::encodeRegistrationBegin(handle, x25519PublicKey, ed25519PublicKey, wrappedAccountPrivKeys);
    return bytesOf(call("beginRegistration", HttpMethod::Post, std::string(wire::route::kRegisterBegin), &body));
}

AccountDTO VaelAPIClient::finishRegistration(const Bytes& registrationResponseJSON) {
    const std::string body = textOfBytes(registrationResponseJSON);
    const std::string answer =
        call("finishRegistration", HttpMethod::Post, std::string(wire::route::kRegisterFinish), &body);
    return decoded("finishRegistration", answer, wire::decodeAccount);
}

Bytes VaelAPIClient::beginLogin(const std::string& handle) {
    const std::string body = wire::encodeLoginBegin(handle);
    return bytesOf(call("beginLogin", HttpMethod::Post, std::string(wire::route::kLoginBegin), &body));
}

LoginFinishResponse VaelAPIClient::finishLogin(const Bytes& assertionResponseJSON) {
    const std::string body = textOfBytes(assertionResponseJSON);
    std::string answer = call("finishLogin", HttpMethod::Post, std::string(wire::route::kLoginFinish), &body);
    const WipedOnExit wipeAnswer{answer};
    LoginFinishResponse login = decoded("finishLogin", answer, wire::decodeLoginFinish);
    setSessionToken(login.token);
    return login;
}

MeResponse VaelAPIClient::me() {
    return decoded("me", call("me", HttpMethod::Get, std::string(wire::route::kMe)), wire::decodeMe);
}

// --- BootstrapAPI and SyncClientAPI ---

OrgDTO VaelAPIClient::createOrg(const std::optional<Uuid>& id, const Bytes& nameBlob,
                                const std::optional<Bytes>& nameWrappedKey) {
    const std::string body = wire::encodeOrgCreate(id, nameBlob, nameWrappedKey);
    return decoded("createOrg", call("createOrg", HttpMethod::Post, std::string(wire::route::kOrgs), &body),
                   wire::decodeOrg);
}

CollectionDTO VaelAPIClient::createCollection(const Uuid& orgId, const std::optional<Uuid>& id,
                                              const std::optional<Uuid>& parentId, const Bytes& nameBlob,
                                              const std::optional<Bytes>& nameWrappedKey, const Bytes& wrappedKey) {
    const std::string body = wire::encodeCollectionCreate(id, parentId, nameBlob, nameWrappedKey, wrappedKey);
    return decoded("createCollection",
                   call("createCollection", HttpMethod::Post, wire::route::orgCollections(orgId), &body),
                   wire::decodeCollection);
}

void VaelAPIClient::patchCollection(const Uuid& id, const Bytes& nameBlob, const std::optional<Bytes>& nameWrappedKey,
                                    const std::optional<Uuid>& parentId, std::int64_t sort) {
    const std::string body = wire::encodeCollectionPatch(nameBlob, nameWrappedKey, parentId, sort);
    call("patchCollection", HttpMethod::Patch, wire::route::collection(id), &body);
}

void VaelAPIClient::deleteCollection(const Uuid& id) {
    call("deleteCollection", HttpMethod::Delete, wire::route::collection(id));
}

ItemDTO VaelAPIClient::fetchItem(const Uuid& id) {
    return decoded("fetchItem", call("fetchItem", HttpMethod::Get, wire::route::item(id)), wire::decodeItem);
}

ItemDTO VaelAPIClient::createItem(const Uuid& collectionId, const ItemWriteBody& body) {
    const std::string json = wire::encodeItemWrite(body, std::nullopt);
    return decoded("createItem",
                   call("createItem", HttpMethod::Post, wire::route::collectionItems(collectionId), &json),
                   wire::decodeItem);
}

ItemDTO VaelAPIClient::putItem(const Uuid& id, const ItemWriteBody& body, std::int64_t expectedRevision) {
    const std::string json = wire::encodeItemWrite(body, expectedRevision);
    return decoded("putItem", call("putItem", HttpMethod::Put, wire::route::item(id), &json), wire::decodeItem);
}

void VaelAPIClient::deleteItem(const Uuid& id) { call("deleteItem", HttpMethod::Delete, wire::route::item(id)); }

SyncResponseDTO VaelAPIClient::sync(const std::optional<TimePoint>& since) {
    std::string route(wire::route::kSync);
    if (since) route += "?" + std::string(wire::query::kSince) + "=" + std::to_string(wire::toWireMillis(*since));
    return decoded("sync", call("sync", HttpMethod::Get, route), wire::decodeSyncResponse);
}

// --- InviteAPI ---

std::vector<MemberDTO> VaelAPIClient::listMembers(const Uuid& orgId) {
    return decoded("listMembers", call("listMembers", HttpMethod::Get, wire::route::orgMembers(orgId)),
                   wire::decodeMembers);
}

void VaelAPIClient::setMemberRole(const Uuid& orgId, const Uuid& accountId, const std::string& role) {
    const std::string body = wire::encodeMemberRole(role);
    call("setMemberRole", HttpMethod::Patch, wire::route::orgMember(orgId, accountId), &body);
}

void VaelAPIClient::removeMember(const Uuid& orgId, const Uuid& accountId) {
    call("removeMember", HttpMethod::Delete, wire::route::orgMember(orgId, accountId));
}

void VaelAPIClient::addExistingMember(const Uuid& orgId, const Uuid& accountId, const std::string& role,
                                      const std::vector<CollectionGrant>& grants) {
    const std::string body = wire::encodeAddMember(accountId, role, grants);
    call("addExistingMember", HttpMethod::Post, wire::route::orgMembers(orgId), &body);
}

InviteCreatedDTO VaelAPIClient::createInvite(const Uuid& orgId, const std::string& role,
                                             const std::vector<Uuid>& folderIds, const std::string& orgLabel,
                                             const std::string& inviterLabel, const std::optional<std::string>& email,
                                             const std::optional<std::string>& pinnedHandle, std::int64_t ttlHours) {
    const std::string body =
        wire::encodeInviteCreate(role, folderIds, orgLabel, inviterLabel, email, pinnedHandle, ttlHours);
    return decoded("createInvite", call("createInvite", HttpMethod::Post, wire::route::orgInvites(orgId), &body),
                   wire::decodeInviteCreated);
}

std::vector<InviteDTO> VaelAPIClient::listInvites(const Uuid& orgId) {
    return decoded("listInvites", call("listInvites", HttpMethod::Get, wire::route::orgInvites(orgId)),
                   wire::decodeInvites);
}

InviteDTO VaelAPIClient::getInvite(const Uuid& orgId, const std::string& inviteId) {
    const std::string route = wire::route::orgInvite(orgId, HttpTransport::escape(inviteId));
    return decoded("getInvite", call("getInvite", HttpMethod::Get, route), wire::decodeInvite);
}

void VaelAPIClient::revokeInvite(const Uuid& orgId, const std::string& inviteId) {
    call("revokeInvite", HttpMethod::Delete, wire::route::orgInvite(orgId, HttpTransport::escape(inviteId)));
}

void VaelAPIClient::grantInvite(const Uuid& orgId, const std::string& inviteId,
                                const std::vector<SignedCollectionGrant>& grants) {
    const std::string body = wire::encodeInviteGrant(grants);
    call("grantInvite", HttpMethod::Post, wire::route::orgInviteGrant(orgId, HttpTransport::escape(inviteId)),
         &body);
}

void VaelAPIClient::rotateCollectionKey(const Uuid& collectionId, std::uint32_t newKeyEpoch,
                                        const std::vector<RotateMemberGrant>& memberGrants,
                                        const std::vector<RotateItemKey>& itemKeys) {
    const std::string body = wire::encodeRotation(newKeyEpoch, memberGrants, itemKeys);
    call("rotateCollectionKey", HttpMethod::Post, wire::route::collectionRotate(collectionId), &body);
}

AccountDTO VaelAPIClient::lookupAccount(const Uuid& orgId, const std::string& handle) {
    const std::string route = wire::route::orgAccounts(orgId) + "?" + std::string(wire::query::kHandle) + "=" +
                              HttpTransport::escape(handle);
    return decoded("lookupAccount", call("lookupAccount", HttpMethod::Get, route), wire::decodeAccount);
}

InviteClaimDTO VaelAPIClient::claimInvite(const std::string& token) {
    std::string body = wire::encodeInviteClaim(token);
    const WipedOnExit wipeBody{body};
    return decoded("claimInvite", call("claimInvite", HttpMethod::Post, std::string(wire::route::kInviteClaim), &body),
                   wire::decodeInviteClaim);
}

}  // namespace vael

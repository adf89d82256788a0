#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "api/AuthAPI.h"
#include "api/BootstrapAPI.h"
#include "api/InviteAPI.h"
#include "api/SyncClientAPI.h"
#include "core/SecureBytes.h"

namespace vael {

class HttpTransport;
enum class HttpMethod;

struct VaelAPIClientOptions {
    // A server that does not answer within these becomes APIError::network with a negative code.
    std::chrono::milliseconds connectTimeout{10'000};
    std::chrono::milliseconds totalTimeout{60'000};
    std::size_t maxAnswerBytes = std::size_t{64} << 20;
};

// The server client: HTTP + JSON under "/api/v1". Thread safe; every call blocks.
class VaelAPIClient final : public AuthAPI, public BootstrapAPI, public SyncClientAPI, public InviteAPI {
public:
    // baseURL: the server's address ("https://host[:port][/prefix]"), with or without the trailing
    // "/api/v1". Plain http is accepted for a loopback host only, so the session token never crosses
    // a network in the clear. Throws std::invalid_argument for anything else.
    explicit VaelAPIClient(const std::string& baseURL, VaelAPIClientOptions options = {});
    ~VaelAPIClient() override;

    // The base URL with the "/api/v1" path.
    const std::string& endpoint() const { return endpoint_; }

    // The bearer token sent with every request; finishLogin sets it too.
    void setSessionToken(std::string_view token);
    void clearSessionToken();
    bool hasSessionToken() const;

    // AuthAPI
    Bytes beginRegistration(const std::string& handle, const Bytes& x25519PublicKey, const Bytes& ed25519PublicKey,
                            const Bytes& wrappedAccountPrivKeys) override;
    AccountDTO finishRegistration(const Bytes& registrationResponseJSON) override;
    Bytes beginLogin(const std::string& handle) override;
    LoginFinishResponse finishLogin(const Bytes& assertionResponseJSON) override;
    MeResponse me() override;

    // BootstrapAPI and SyncClientAPI
    OrgDTO createOrg(const std::optional<Uuid>& id, const Bytes& nameBlob,
                     const std::optional<Bytes>& nameWrappedKey) override;
    CollectionDTO createCollection(const Uuid& orgId, const std::optional<Uuid>& id,
                                   const std::optional<Uuid>& parentId, const Bytes& nameBlob,
                                   const std::optional<Bytes>& nameWrappedKey, const Bytes& wrappedKey) override;
    void patchCollection(const Uuid& id, const Bytes& nameBlob, const std::optional<Bytes>& nameWrappedKey,
                         const std::optional<Uuid>& parentId, std::int64_t sort) override;
    void deleteCollection(const Uuid& id) override;
    ItemDTO fetchItem(const Uuid& id) override;
    ItemDTO createItem(const Uuid& collectionId, const ItemWriteBody& body) override;
    ItemDTO putItem(const Uuid& id, const ItemWriteBody& body, std::int64_t expectedRevision) override;
    void deleteItem(const Uuid& id) override;
    SyncResponseDTO sync(const std::optional<TimePoint>& since) override;

    // InviteAPI
    std::vector<MemberDTO> listMembers(const Uuid& orgId) override;
    void setMemberRole(const Uuid& orgId, const Uuid& accountId, const std::string& role) override;
    void removeMember(const Uuid& orgId, const Uuid& accountId) override;
    void addExistingMember(const Uuid& orgId, const Uuid& accountId, const std::string& role,
                           const std::vector<CollectionGrant>& grants) override;
    InviteCreatedDTO createInvite(const Uuid& orgId, const std::string& role, const std::vector<Uuid>& folderIds,
                                  const std::string& orgLabel, const std::string& inviterLabel,
                                  const std::optional<std::string>& email,
                                  const std::optional<std::string>& pinnedHandle, std::int64_t ttlHours) override;
    std::vector<InviteDTO> listInvites(const Uuid& orgId) override;
    InviteDTO getInvite(const Uuid& orgId, const std::string& inviteId) override;
    void revokeInvite(const Uuid& orgId, const std::string& inviteId) override;
    void grantInvite(const Uuid& orgId, const std::string& inviteId,
                     const std::vector<SignedCollectionGrant>& grants) override;
    void rotateCollectionKey(const Uuid& collectionId, std::uint32_t newKeyEpoch,
                             const std::vector<RotateMemberGrant>& memberGrants,
                             const std::vector<RotateItemKey>& itemKeys) override;
    AccountDTO lookupAccount(const Uuid& orgId, const std::string& handle) override;
    InviteClaimDTO claimInvite(const std::string& token) override;

private:
    // A success answer's body; any other status becomes the matching APIError.
    std::string call(std::string_view operation, HttpMethod method, const std::string& route,
                     const std::string* body = nullptr) const;
    // Runs a decoder over an answer, logging what could not be read.
    template <typename Decode>
    auto decoded(std::string_view operation, const std::string& body, Decode decode) const;

    std::string endpoint_;
    std::unique_ptr<HttpTransport> transport_;
    mutable std::mutex tokenMutex_;
    SecureBytes token_;
};

}  // namespace vael

#pragma once

// An in-process server on 127.0.0.1 that speaks the client's routes over real HTTP, for the tests of
// the client and of everything built on it. It keeps revisions, answers conflicts (409 with the
// current revision), absent objects (404) and existing objects, and runs the passkey ceremonies far
// enough for an account flow: it checks no WebAuthn signature, it records what it is sent.
//
// Operations are named as the client's methods ("sync", "putItem", "beginLogin", ...); "*" in a hook
// matches any operation. Every member is thread safe.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/Records.h"
#include "core/Time.h"
#include "core/Uuid.h"

namespace vael::fake {

class FakeVaelServer {
public:
    // Blobs and keys are held as the Base64URL text the client sent.
    struct Item {
        Uuid id;
        Uuid collectionId;
        std::string type = "item";  // as sent; empty: a record stored without one, answered without one
        std::string nameBlob;
        std::string contentBlob;
        std::string cryptoParams = "{}";
        std::string wrappedItemKey;
        std::string aiAccess = "injectable";
        std::int64_t revision = 1;
        TimePoint updatedAt{};  // the epoch when seeding means "now"
        bool deleted = false;
    };
    struct Collection {
        Uuid id;
        Uuid orgId;
        std::optional<Uuid> parentId;
        std::string nameBlob;
        std::string wrappedKey;
        std::int64_t sort = 0;
        std::int64_t revision = 1;
        TimePoint updatedAt{};
        bool deleted = false;
        std::uint32_t keyEpoch = 0;
        std::optional<std::string> nameWrappedKey = std::nullopt;
    };
    struct Org {
        Uuid id;
        std::string nameBlob;
        std::int64_t revision = 1;
        TimePoint updatedAt{};
        std::optional<std::string> nameWrappedKey = std::nullopt;
    };
    struct Account {
        Uuid id;
        std::string handle;
        std::string x25519PublicKey;
        std::string ed25519PublicKey;
        std::string wrappedAccountPrivKeys;
        std::string prfSalt;                   // the same for every login of the account
        std::vector<std::string> credentials;  // registration responses, as sent
        std::vector<std::string> assertions;   // login responses, as sent
    };
    struct Member {
        Uuid accountId;
        std::string role;
        std::string fingerprint;
        std::vector<CollectionGrant> grants;  // as sent when added
    };
    struct Invite {
        std::string id;
        std::string token;
        std::string role = "member";
        std::string status = "pending";
        std::string orgLabel;
        std::string inviterLabel;
        std::optional<std::vector<Uuid>> folderIds;
        std::optional<std::string> email;
        std::optional<std::string> pinnedHandle;
        std::int64_t ttlHours = 72;
        TimePoint createdAt{};
        std::optional<Uuid> claimedAccountId;
        std::vector<SignedCollectionGrant> grants;
    };
    struct Rotation {
        Uuid collectionId;
        std::uint32_t keyEpoch = 0;
        std::vector<RotateMemberGrant> memberGrants;
        std::vector<RotateItemKey> itemKeys;
    };
    struct Call {
        std::string operation;
        std::string method;
        std::string path;    // without the query
        std::string query;   // as received, without "?"
        std::string body;
        std::string bearer;  // the Authorization header's token, empty when none came
    };

    // Listens on 127.0.0.1 at a free port until destroyed. Destroy clients first, so that their
    // kept-alive connections close before the server waits for its workers.
    FakeVaelServer();
    ~FakeVaelServer();
    FakeVaelServer(const FakeVaelServer&) = delete;
    FakeVaelServer& operator=(const FakeVaelServer&) = delete;

    int port() const;
    std::string baseURL() const;  // "http://127.0.0.1:<port>", without the API path

    // The server's clock: every change is stamped with it and moves it on by one millisecond, so
    // changes after a sync answer's "now" are always later than it. Starts at 2025-01-01 UTC.
    void setNow(TimePoint now);
    TimePoint now() const;

    // Seeding; an object with the same id is replaced. A default updatedAt takes the clock.
    void addOrg(Org org);
    void addCollection(Collection collection);
    void addItem(Item item);
    Account addAccount(Account account);  // fills an absent prfSalt
    void addMember(const Uuid& orgId, Member member);
    Invite addInvite(const Uuid& orgId, Invite invite);  // fills an absent id, token and createdAt
    // A session token the server accepts for the account.
    std::string issueSessionToken(const Uuid& accountId);

    // Inspection.
    std::optional<Item> item(const Uuid& id) const;
    std::vector<Item> items() const;
    std::optional<Collection> collection(const Uuid& id) const;
    std::vector<Collection> collections() const;
    std::optional<Org> org(const Uuid& id) const;
    std::vector<Org> orgs() const;
    std::optional<Account> account(std::string_view handle) const;
    std::vector<Member> members(const Uuid& orgId) const;
    std::optional<Invite> invite(const std::string& inviteId) const;
    std::vector<Rotation> rotations() const;

    // Requests received, in order (hung and scripted ones included).
    std::vector<Call> calls() const;
    int callCount(std::string_view operation) const;
    void clearCalls();

    // The next `times` requests of the operation get this status and body instead of an answer.
    void answerNext(std::string_view operation, int status, std::string body, int times = 1);
    // The next `times` requests of the operation get no answer until releaseHangs() or destruction.
    void hangNext(std::string_view operation, int times = 1);
    void releaseHangs();
    // The next `times` requests of the operation are carried out, but their answers break off a few
    // bytes into the body, as on a flaky network: the client sees a failure the server never had.
    void cutNext(std::string_view operation, int times = 1);
    int cutsLeft() const;  // armed cuts not yet spent
    // When set, every call but the login ceremony needs a session token (401 otherwise). The
    // current-account and invite-claim calls always need one.
    void setRequireSession(bool required);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vael::fake

#include "FakeVaelServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sodium.h>
#include <sys/socket.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "api/Base64URL.h"
#include "api/Codec.h"
#include "api/Routes.h"

namespace vael::fake {

namespace {

using json = nlohmann::ordered_json;
namespace key = wire::key;
namespace route = wire::route;

constexpr std::string_view kUuidPattern = "([0-9A-Fa-f-]{36})";
constexpr auto kStartOfClock = std::chrono::sys_days{std::chrono::year{2025} / 1 / 1};

struct Reply {
    int status = 200;
    std::string body;
};

Reply ok(const json& value, int status = 200) { return {status, value.dump()}; }
Reply noContent() { return {204, {}}; }
Reply fail(int status, std::string_view message) { return {status, json{{key::kError, message}}.dump()}; }
Reply conflict(std::int64_t revision, std::string_view message) {
    return {409, json{{key::kError, message}, {key::kRevision, revision}}.dump()};
}

std::string randomText(std::size_t bytes) {
    Bytes raw(bytes);
    randombytes_buf(raw.data(), raw.size());
    return Base64URL::encode(raw);
}

// A request's JSON body as an object, or nothing.
std::optional<json> objectBody(const httplib::Request& req) {
    json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) return std::nullopt;
    return body;
}

std::optional<std::string> stringAt(const json& o, const char* k) {
    const auto it = o.find(k);
    if (it == o.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<Uuid> uuidAt(const json& o, const char* k) {
    const auto text = stringAt(o, k);
    return text ? Uuid::parse(*text) : std::nullopt;
}

std::optional<std::int64_t> intAt(const json& o, const char* k) {
    const auto it = o.find(k);
    if (it == o.end() || !it->is_number_integer()) return std::nullopt;
    return it->get<std::int64_t>();
}

bool isNull(const json& o, const char* k) {
    const auto it = o.find(k);
    return it == o.end() || it->is_null();
}

std::string pattern(std::string_view prefixFree) { return std::string(wire::kApiPrefix) + std::string(prefixFree); }

}  // namespace

constexpr std::size_t kServerThreads = 64;

struct FakeVaelServer::Impl {
    httplib::Server server;
    std::thread listener;
    int port = 0;
    int listenSocket = -1;

    mutable std::mutex mutex;
    std::condition_variable released;
    bool stopping = false;
    std::uint64_t releaseGeneration = 0;

    struct Script {
        std::string operation;
        bool hang = false;
        int status = 0;
        std::string body;
        bool cut = false;  // the request is applied, its answer broken off a few bytes in
    };
    std::deque<Script> scripts;
    std::vector<Call> calls;
    bool requireSession = false;

    TimePoint clock = kStartOfClock;
    std::map<Uuid, Org> orgs;
    std::map<Uuid, Collection> collections;
    std::map<Uuid, Item> items;
    std::map<Uuid, Account> accounts;
    std::map<Uuid, std::vector<Member>> members;
    std::map<std::string, std::pair<Uuid, Invite>> invites;  // by invite id: (org, invite)
    std::vector<Rotation> rotations;
    std::map<std::string, Uuid> sessions;

    struct PendingRegistration {
        std::string challenge;
        std::string handle;
        std::string userId;
        std::string x25519PublicKey;
        std::string ed25519PublicKey;
        std::string wrappedAccountPrivKeys;
    };
    struct PendingLogin {
        std::string challenge;
        Uuid accountId;
    };
    std::vector<PendingRegistration> pendingRegistrations;
    std::vector<PendingLogin> pendingLogins;

    TimePoint tick() {
        clock += std::chrono::milliseconds(1);
        return clock;
    }
    TimePoint stamp(TimePoint given) { return given == TimePoint{} ? tick() : given; }

    // --- JSON of the answers ---

    static json itemJSON(const Item& i) {
        json out{{key::kId, i.id.text()}, {key::kCollectionId, i.collectionId.text()}};
        if (!i.type.empty()) out[key::kType] = i.type;
        out[key::kNameBlob] = i.nameBlob;
        out[key::kContentBlob] = i.contentBlob;
        out[key::kCryptoParams] = i.cryptoParams;
        out[key::kWrappedItemKey] = i.wrappedItemKey;
        out[key::kAiAccess] = i.aiAccess;
        out[key::kRevision] = i.revision;
        out[key::kUpdatedAt] = wire::toWireMillis(i.updatedAt);
        return out;
    }
    static json collectionJSON(const Collection& c) {
        json out{{key::kId, c.id.text()},
                 {key::kOrgId, c.orgId.text()},
                 {key::kParentId, c.parentId ? json(c.parentId->text()) : json(nullptr)},
                 {key::kNameBlob, c.nameBlob}};
        if (c.nameWrappedKey) out[key::kNameWrappedKey] = *c.nameWrappedKey;
        out[key::kWrappedKey] = c.wrappedKey;
        out[key::kSort] = c.sort;
        out[key::kUpdatedAt] = wire::toWireMillis(c.updatedAt);
        return out;
    }
    static json orgJSON(const Org& o) {
        json out{{key::kId, o.id.text()}, {key::kNameBlob, o.nameBlob}};
        if (o.nameWrappedKey) out[key::kNameWrappedKey] = *o.nameWrappedKey;
        out[key::kUpdatedAt] = wire::toWireMillis(o.updatedAt);
        return out;
    }
    static json accountJSON(const Account& a) {
        return json{{key::kId, a.id.text()},
                    {key::kHandle, a.handle},
                    {key::kX25519PublicKey, a.x25519PublicKey},
                    {key::kEd25519PublicKey, a.ed25519PublicKey}};
    }
    json memberJSON(const Member& m) const {
        json out{{key::kAccountId, m.accountId.text()}, {key::kRole, m.role}, {key::kFingerprint, m.fingerprint}};
        if (const auto it = accounts.find(m.accountId); it != accounts.end()) {
            out[key::kX25519PublicKey] = it->second.x25519PublicKey;
            out[key::kEd25519PublicKey] = it->second.ed25519PublicKey;
        }
        return out;
    }
    json inviteJSON(const Invite& inv) const {
        json out{{key::kId, inv.id},
                 {key::kRole, inv.role},
                 {key::kStatus, inv.status},
                 {key::kOrgLabel, inv.orgLabel},
                 {key::kInviterLabel, inv.inviterLabel}};
        if (inv.folderIds) {
            json ids = json::array();
            for (const auto& id : *inv.folderIds) ids.push_back(id.text());
            out[key::kFolderIds] = std::move(ids);
        }
        if (inv.email)
            out[key::kRecipient] = *inv.email;
        else if (inv.pinnedHandle)
            out[key::kRecipient] = *inv.pinnedHandle;
        out[key::kCreatedAt] = wire::toWireMillis(inv.createdAt);
        out[key::kExpiresAt] = wire::toWireMillis(inv.createdAt + std::chrono::hours(inv.ttlHours));
        if (inv.claimedAccountId) {
            out[key::kClaimedAccountId] = inv.claimedAccountId->text();
            if (const auto it = accounts.find(*inv.claimedAccountId); it != accounts.end()) {
                out[key::kInviteeX25519PublicKey] = it->second.x25519PublicKey;
                out[key::kInviteeEd25519PublicKey] = it->second.ed25519PublicKey;
            }
        }
        return out;
    }

    // --- the request path ---

    std::optional<Uuid> sessionAccount(const std::string& bearer) const {
        const auto it = sessions.find(bearer);
        if (bearer.empty() || it == sessions.end()) return std::nullopt;
        return it->second;
    }

    using Handler = std::function<Reply(const httplib::Request&, const std::optional<Uuid>& caller)>;

    // Records the call, then applies a scripted answer or hang, the session rule, and the handler.
    void handle(std::string_view operation, bool needsSession, const httplib::Request& req, httplib::Response& res,
                const Handler& handler) {
        std::unique_lock lock(mutex);
        std::string bearer;
        const std::string authorization = req.get_header_value("Authorization");
        if (authorization.rfind("Bearer ", 0) == 0) bearer = authorization.substr(7);
        std::string query;
        for (const auto& [name, value] : req.params) {
            if (!query.empty()) query += "&";
            query += name + "=" + value;
        }
        calls.push_back(Call{std::string(operation), req.method, req.path, query, req.body, bearer});

        const auto script = std::find_if(scripts.begin(), scripts.end(), [&](const Script& s) {
            return s.operation == operation || s.operation == "*";
        });
        bool cut = false;
        if (script != scripts.end() && script->cut) {
            cut = true;
            scripts.erase(script);
        } else if (script != scripts.end()) {
            const Script taken = *script;
            scripts.erase(script);
            if (taken.hang) {
                const std::uint64_t generation = releaseGeneration;
                released.wait(lock, [&] { return stopping || releaseGeneration != generation; });
                res.status = 503;
                return;
            }
            res.status = taken.status;
            res.set_content(taken.body, "application/json");
            return;
        }

        const auto caller = sessionAccount(bearer);
        Reply reply;
        if ((needsSession || requireSession) && !caller)
            reply = fail(401, "a session is required");
        else
            reply = handler(req, caller);
        res.status = reply.status;
        if (cut) {
            cutAnswer(res, std::move(reply.body));
            return;
        }
        if (!reply.body.empty()) res.set_content(reply.body, "application/json");
    }

    // Announces the whole body (at least a few bytes, so an empty answer is cut too), sends its first
    // bytes and drops the connection.
    static void cutAnswer(httplib::Response& res, std::string body) {
        static constexpr std::size_t kSent = 4;
        const auto length = std::max<std::size_t>(body.size(), 2 * kSent);
        res.set_content_provider(length, "application/json",
                                 [body = std::move(body)](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     if (offset == 0 && !body.empty()) sink.write(body.data(), std::min(kSent, body.size()));
                                     return false;
                                 });
    }

    void on(const std::string& method, const std::string& path, std::string_view operation, bool needsSession,
            Handler handler) {
        auto wrapped = [this, operation, needsSession, handler = std::move(handler)](const httplib::Request& req,
                                                                                    httplib::Response& res) {
            handle(operation, needsSession, req, res, handler);
        };
        const std::string full = pattern(path);
        if (method == "GET") server.Get(full, wrapped);
        else if (method == "POST") server.Post(full, wrapped);
        else if (method == "PUT") server.Put(full, wrapped);
        else if (method == "PATCH") server.Patch(full, wrapped);
        else if (method == "DELETE") server.Delete(full, wrapped);
        else throw std::logic_error("unknown method");
    }

    static std::optional<Uuid> pathId(const httplib::Request& req, std::size_t index) {
        if (req.matches.size() <= index) return std::nullopt;
        return Uuid::parse(req.matches[index].str());
    }

    // The challenge a WebAuthn response answers, read from its client data.
    static std::optional<std::string> challengeOf(const httplib::Request& req) {
        const auto body = objectBody(req);
        if (!body) return std::nullopt;
        const auto response = body->find("response");
        if (response == body->end() || !response->is_object()) return std::nullopt;
        const auto clientData = stringAt(*response, "clientDataJSON");
        if (!clientData) return std::nullopt;
        const auto raw = Base64URL::decode(*clientData);
        if (!raw) return std::nullopt;
        const json data = json::parse(raw->begin(), raw->end(), nullptr, false);
        if (data.is_discarded() || !data.is_object()) return std::nullopt;
        return stringAt(data, "challenge");
    }

    // The pending ceremony a response answers: by its challenge, else the latest one.
    template <typename Pending>
    static std::optional<Pending> takePending(std::vector<Pending>& pending, const httplib::Request& req) {
        if (pending.empty()) return std::nullopt;
        auto it = pending.end() - 1;
        if (const auto challenge = challengeOf(req)) {
            const auto found = std::find_if(pending.begin(), pending.end(),
                                            [&](const Pending& p) { return p.challenge == *challenge; });
            if (found != pending.end()) it = found;
        }
        Pending taken = *it;
        pending.erase(it);
        return taken;
    }

    std::optional<Item> liveItem(const Uuid& id) const {
        const auto it = items.find(id);
        if (it == items.end() || it->second.deleted) return std::nullopt;
        return it->second;
    }
    bool liveCollection(const Uuid& id) const {
        const auto it = collections.find(id);
        return it != collections.end() && !it->second.deleted;
    }
    Member* findMember(const Uuid& orgId, const Uuid& accountId) {
        auto& list = members[orgId];
        const auto it =
            std::find_if(list.begin(), list.end(), [&](const Member& m) { return m.accountId == accountId; });
        return it == list.end() ? nullptr : &*it;
    }

    // Reads the item fields of a write body into `item`; false when one is missing.
    static bool readItemWrite(const json& body, Item& item) {
        const auto name = stringAt(body, key::kNameBlob);
        const auto content = stringAt(body, key::kContentBlob);
        const auto params = stringAt(body, key::kCryptoParams);
        const auto wrapped = stringAt(body, key::kWrappedItemKey);
        const auto access = stringAt(body, key::kAiAccess);
        if (!name || !content || !params || !wrapped || !access) return false;
        item.nameBlob = *name;
        item.contentBlob = *content;
        item.cryptoParams = *params;
        item.wrappedItemKey = *wrapped;
        item.aiAccess = *access;
        // A write without a type keeps the one held (a creation: the server's default).
        if (const auto type = stringAt(body, key::kType)) item.type = *type;
        return true;
    }

    void installRoutes();
    void installAuthRoutes();
    void installSyncRoutes();
    void installInviteRoutes();
};

void FakeVaelServer::Impl::installAuthRoutes() {
    on("POST", std::string(route::kRegisterBegin), "beginRegistration", false,
       [this](const httplib::Request& req, const auto&) {
           const auto body = objectBody(req);
           if (!body) return fail(400, "not a JSON object");
           const auto handle = stringAt(*body, key::kHandle);
           const auto x = stringAt(*body, key::kX25519PublicKey);
           const auto ed = stringAt(*body, key::kEd25519PublicKey);
           const auto wrapped = stringAt(*body, key::kWrappedAccountPrivKeys);
           if (!handle || handle->empty() || !x || !ed || !wrapped) return fail(400, "missing registration fields");
           for (const auto& [id, a] : accounts)
               if (a.handle == *handle) return fail(409, "handle taken");
           PendingRegistration pending{randomText(32), *handle, randomText(16), *x, *ed, *wrapped};
           pendingRegistrations.push_back(pending);
           json options{{"publicKey",
                         {{"challenge", pending.challenge},
                          {"rp", {{"id", "localhost"}, {"name", "Vael"}}},
                          {"user", {{"id", pending.userId}, {"name", *handle}, {"displayName", *handle}}},
                          {"pubKeyCredParams", json::array({{{"type", "public-key"}, {"alg", -7}}})},
                          {"authenticatorSelection", {{"residentKey", "required"}, {"userVerification", "required"}}},
                          {"extensions", {{"prf", json::object()}}}}}};
           return ok(options);
       });

    on("POST", std::string(route::kRegisterFinish), "finishRegistration", false,
       [this](const httplib::Request& req, const auto&) {
           if (!objectBody(req)) return fail(400, "not a JSON object");
           const auto pending = takePending(pendingRegistrations, req);
           if (!pending) return fail(400, "no registration in progress");
           for (const auto& [id, a] : accounts)
               if (a.handle == pending->handle) return fail(409, "handle taken");
           Account account;
           account.id = Uuid::random();
           account.handle = pending->handle;
           account.x25519PublicKey = pending->x25519PublicKey;
           account.ed25519PublicKey = pending->ed25519PublicKey;
           account.wrappedAccountPrivKeys = pending->wrappedAccountPrivKeys;
           account.prfSalt = randomText(32);
           account.credentials.push_back(req.body);
           accounts[account.id] = account;
           return ok(accountJSON(account));
       });

    on("POST", std::string(route::kLoginBegin), "beginLogin", false,
       [this](const httplib::Request& req, const auto&) {
           const auto body = objectBody(req);
           if (!body) return fail(400, "not a JSON object");
           const auto handle = stringAt(*body, key::kHandle);
           if (!handle) return fail(400, "missing handle");
           const auto it = std::find_if(accounts.begin(), accounts.end(),
                                        [&](const auto& entry) { return entry.second.handle == *handle; });
           if (it == accounts.end()) return fail(404, "no such account");
           PendingLogin pending{randomText(32), it->first};
           pendingLogins.push_back(pending);
           json options{{"publicKey",
                         {{"challenge", pending.challenge},
                          {"rpId", "localhost"},
                          {"allowCredentials", json::array()},
                          {"userVerification", "required"},
                          {"extensions", {{"prf", {{"eval", {{"first", it->second.prfSalt}}}}}}}}}};
           return ok(options);
       });

    on("POST", std::string(route::kLoginFinish), "finishLogin", false,
       [this](const httplib::Request& req, const auto&) {
           if (!objectBody(req)) return fail(400, "not a JSON object");
           const auto pending = takePending(pendingLogins, req);
           if (!pending) return fail(400, "no login in progress");
           Account& account = accounts.at(pending->accountId);
           account.assertions.push_back(req.body);
           const std::string token = randomText(32);
           sessions[token] = account.id;
           return ok(json{{key::kToken, token},
                          {key::kExpiresAt, wire::toWireMillis(clock + std::chrono::hours(24))},
                          {key::kAccount, accountJSON(account)}});
       });

    on("GET", std::string(route::kMe), "me", true, [this](const httplib::Request&, const std::optional<Uuid>& caller) {
        return ok(json{{key::kAccount, accountJSON(accounts.at(*caller))}});
    });
}

void FakeVaelServer::Impl::installSyncRoutes() {
    const std::string id(kUuidPattern);

    on("POST", std::string(route::kOrgs), "createOrg", false,
       [this](const httplib::Request& req, const std::optional<Uuid>& caller) {
           const auto body = objectBody(req);
           if (!body) return fail(400, "not a JSON object");
           const auto name = stringAt(*body, key::kNameBlob);
           if (!name) return fail(400, "missing nameBlob");
           Org org;
           if (!isNull(*body, key::kId)) {
               const auto given = uuidAt(*body, key::kId);
               if (!given) return fail(400, "bad id");
               org.id = *given;
           } else {
               org.id = Uuid::random();
           }
           if (const auto it = orgs.find(org.id); it != orgs.end())
               return conflict(it->second.revision, "organisation exists");
           org.nameBlob = *name;
           org.nameWrappedKey = stringAt(*body, key::kNameWrappedKey);
           org.updatedAt = tick();
           orgs[org.id] = org;
           if (caller) members[org.id].push_back(Member{*caller, "owner", {}, {}});
           return ok(orgJSON(org), 201);
       });

    on("POST", "/orgs/" + id + "/collections", "createCollection", false,
       [this](const httplib::Request& req, const auto&) {
           const auto orgId = pathId(req, 1);
           const auto body = objectBody(req);
           if (!orgId || !body) return fail(400, "bad request");
           if (!orgs.count(*orgId)) return fail(404, "no such organisation");
           const auto name = stringAt(*body, key::kNameBlob);
           const auto wrapped = stringAt(*body, key::kWrappedKey);
           if (!name || !wrapped) return fail(400, "missing collection fields");
           Collection c;
           c.orgId = *orgId;
           c.nameBlob = *name;
           c.nameWrappedKey = stringAt(*body, key::kNameWrappedKey);
           c.wrappedKey = *wrapped;
           if (!isNull(*body, key::kId)) {
               const auto given = uuidAt(*body, key::kId);
               if (!given) return fail(400, "bad id");
               c.id = *given;
           } else {
               c.id = Uuid::random();
           }
           if (const auto it = collections.find(c.id); it != collections.end())
               return conflict(it->second.revision, "collection exists");
           if (!isNull(*body, key::kParentId)) {
               c.parentId = uuidAt(*body, key::kParentId);
               if (!c.parentId) return fail(400, "bad parentId");
               if (!liveCollection(*c.parentId)) return fail(404, "no such parent");
           }
           c.updatedAt = tick();
           collections[c.id] = c;
           return ok(collectionJSON(c), 201);
       });

    on("PATCH", "/collections/" + id, "patchCollection", false, [this](const httplib::Request& req, const auto&) {
        const auto cid = pathId(req, 1);
        const auto body = objectBody(req);
        if (!cid || !body) return fail(400, "bad request");
        if (!liveCollection(*cid)) return fail(404, "no such collection");
        const auto name = stringAt(*body, key::kNameBlob);
        const auto sort = intAt(*body, key::kSort);
        if (!name || !sort) return fail(400, "missing collection fields");
        std::optional<Uuid> parent;
        if (!isNull(*body, key::kParentId)) {
            parent = uuidAt(*body, key::kParentId);
            if (!parent || *parent == *cid) return fail(400, "bad parentId");
            if (!liveCollection(*parent)) return fail(404, "no such parent");
        }
        Collection& c = collections.at(*cid);
        c.nameBlob = *name;
        if (const auto nameKey = stringAt(*body, key::kNameWrappedKey)) c.nameWrappedKey = *nameKey;
        c.parentId = parent;
        c.sort = *sort;
        c.revision += 1;
        c.updatedAt = tick();
        return ok(collectionJSON(c));
    });

    on("DELETE", "/collections/" + id, "deleteCollection", false, [this](const httplib::Request& req, const auto&) {
        const auto cid = pathId(req, 1);
        if (!cid) return fail(400, "bad id");
        if (!liveCollection(*cid)) return fail(404, "no such collection");
        Collection& c = collections.at(*cid);
        c.deleted = true;
        c.revision += 1;
        c.updatedAt = tick();
        return noContent();
    });

    on("GET", "/items/" + id, "fetchItem", false, [this](const httplib::Request& req, const auto&) {
        const auto iid = pathId(req, 1);
        if (!iid) return fail(400, "bad id");
        const auto found = liveItem(*iid);
        if (!found) return fail(404, "no such item");
        return ok(itemJSON(*found));
    });

    on("POST", "/collections/" + id + "/items", "createItem", false,
       [this](const httplib::Request& req, const auto&) {
           const auto cid = pathId(req, 1);
           const auto body = objectBody(req);
           if (!cid || !body) return fail(400, "bad request");
           if (!liveCollection(*cid)) return fail(404, "no such collection");
           Item item;
           item.collectionId = *cid;
           if (!readItemWrite(*body, item)) return fail(400, "missing item fields");
           if (!isNull(*body, key::kId)) {
               const auto given = uuidAt(*body, key::kId);
               if (!given) return fail(400, "bad id");
               item.id = *given;
           } else {
               item.id = Uuid::random();
           }
           if (const auto it = items.find(item.id); it != items.end())
               return conflict(it->second.revision, "item exists");
           item.revision = 1;
           item.updatedAt = tick();
           items[item.id] = item;
           return ok(itemJSON(item), 201);
       });

    on("PUT", "/items/" + id, "putItem", false, [this](const httplib::Request& req, const auto&) {
        const auto iid = pathId(req, 1);
        const auto body = objectBody(req);
        if (!iid || !body) return fail(400, "bad request");
        if (!isNull(*body, key::kId) && uuidAt(*body, key::kId) != iid) return fail(400, "id differs from the path");
        const auto expected = intAt(*body, key::kExpectedRevision);
        if (!expected) return fail(400, "missing expectedRevision");
        if (!liveItem(*iid)) return fail(404, "no such item");
        Item& item = items.at(*iid);
        if (item.revision != *expected) return conflict(item.revision, "revision mismatch");
        Item updated = item;
        if (!readItemWrite(*body, updated)) return fail(400, "missing item fields");
        updated.revision += 1;
        updated.updatedAt = tick();
        item = updated;
        return ok(itemJSON(item));
    });

    on("DELETE", "/items/" + id, "deleteItem", false, [this](const httplib::Request& req, const auto&) {
        const auto iid = pathId(req, 1);
        if (!iid) return fail(400, "bad id");
        if (!liveItem(*iid)) return fail(404, "no such item");
        Item& item = items.at(*iid);
        item.deleted = true;
        item.revision += 1;
        item.updatedAt = tick();
        return noContent();
    });

    on("GET", std::string(route::kSync), "sync", false, [this](const httplib::Request& req, const auto&) {
        std::optional<TimePoint> since;
        if (req.has_param(std::string(wire::query::kSince).c_str())) {
            const std::string text = req.get_param_value(std::string(wire::query::kSince).c_str());
            std::int64_t millis = 0;
            try {
                std::size_t used = 0;
                millis = std::stoll(text, &used);
                if (used != text.size()) return fail(400, "bad since");
            } catch (const std::exception&) {
                return fail(400, "bad since");
            }
            since = wire::fromWireMillis(millis);
            if (!since) return fail(400, "bad since");
        }
        std::vector<const Item*> changedItems;
        for (const auto& [iid, item] : items)
            if (!since || item.updatedAt > *since) changedItems.push_back(&item);
        std::stable_sort(changedItems.begin(), changedItems.end(),
                         [](const Item* a, const Item* b) { return a->updatedAt < b->updatedAt; });
        std::vector<const Collection*> changedCollections;
        for (const auto& [cid, c] : collections)
            if (!since || c.updatedAt > *since) changedCollections.push_back(&c);
        std::stable_sort(changedCollections.begin(), changedCollections.end(),
                         [](const Collection* a, const Collection* b) { return a->updatedAt < b->updatedAt; });

        json collectionList = json::array();
        for (const Collection* c : changedCollections) {
            json delta = collectionJSON(*c);
            delta[key::kDeleted] = c->deleted;
            collectionList.push_back(std::move(delta));
        }
        // The item deltas are written as text: built as a document, a listing of ten thousand items
        // cost the test server more time than the client spent reading it. Ids and numbers need no
        // escaping.
        std::string body;
        body.reserve(64 + changedItems.size() * 160);
        const auto member = [&](const char* name, const std::string& value) {
            body.append("\"").append(name).append("\":").append(value);
        };
        body += '{';
        member(key::kNow, std::to_string(wire::toWireMillis(clock)));
        body += ',';
        member(key::kItems, "[");
        for (const Item* i : changedItems) {
            if (body.back() != '[') body += ',';
            body += '{';
            member(key::kId, '"' + i->id.text() + '"');
            body += ',';
            member(key::kCollectionId, '"' + i->collectionId.text() + '"');
            body += ',';
            member(key::kRevision, std::to_string(i->revision));
            body += ',';
            member(key::kUpdatedAt, std::to_string(wire::toWireMillis(i->updatedAt)));
            body += ',';
            member(key::kDeleted, i->deleted ? "true" : "false");
            body += '}';
        }
        body += "],";
        member(key::kCollections, collectionList.dump());
        body += '}';
        return Reply{200, std::move(body)};
    });
}

void FakeVaelServer::Impl::installInviteRoutes() {
    const std::string id(kUuidPattern);
    const std::string inviteId = "([^/]+)";

    on("GET", "/orgs/" + id + "/members", "listMembers", false, [this](const httplib::Request& req, const auto&) {
        const auto orgId = pathId(req, 1);
        if (!orgId) return fail(400, "bad id");
        if (!orgs.count(*orgId)) return fail(404, "no such organisation");
        json list = json::array();
        for (const Member& m : members[*orgId]) list.push_back(memberJSON(m));
        return ok(json{{key::kMembers, std::move(list)}});
    });

    on("PATCH", "/orgs/" + id + "/members/" + id, "setMemberRole", false,
       [this](const httplib::Request& req, const auto&) {
           const auto orgId = pathId(req, 1);
           const auto accountId = pathId(req, 2);
           const auto body = objectBody(req);
           if (!orgId || !accountId || !body) return fail(400, "bad request");
           const auto role = stringAt(*body, key::kRole);
           if (!role) return fail(400, "missing role");
           Member* member = findMember(*orgId, *accountId);
           if (!member) return fail(404, "no such member");
           member->role = *role;
           return noContent();
       });

    on("DELETE", "/orgs/" + id + "/members/" + id, "removeMember", false,
       [this](const httplib::Request& req, const auto&) {
           const auto orgId = pathId(req, 1);
           const auto accountId = pathId(req, 2);
           if (!orgId || !accountId) return fail(400, "bad id");
           auto& list = members[*orgId];
           const auto it = std::find_if(list.begin(), list.end(),
                                        [&](const Member& m) { return m.accountId == *accountId; });
           if (it == list.end()) return fail(404, "no such member");
           list.erase(it);
           return noContent();
       });

    on("POST", "/orgs/" + id + "/members", "addExistingMember", false,
       [this](const httplib::Request& req, const auto&) {
           const auto orgId = pathId(req, 1);
           const auto body = objectBody(req);
           if (!orgId || !body) return fail(400, "bad request");
           if (!orgs.count(*orgId)) return fail(404, "no such organisation");
           const auto accountId = uuidAt(*body, key::kAccountId);
           const auto role = stringAt(*body, key::kRole);
           const auto grants = body->find(key::kGrants);
           if (!accountId || !role || grants == body->end() || !grants->is_array())
               return fail(400, "missing member fields");
           if (!accounts.count(*accountId)) return fail(404, "no such account");
           if (findMember(*orgId, *accountId)) return fail(409, "already a member");
           Member member{*accountId, *role, {}, {}};
           for (const auto& g : *grants) {
               const auto cid = g.is_object() ? uuidAt(g, key::kCollectionId) : std::nullopt;
               const auto sealed = g.is_object() ? stringAt(g, key::kSealedKey) : std::nullopt;
               if (!cid || !sealed) return fail(400, "bad grant");
               member.grants.push_back(CollectionGrant{*cid, *sealed});
           }
           members[*orgId].push_back(std::move(member));
           return ok(json::object(), 201);
       });

    on("POST", "/orgs/" + id + "/invites", "createInvite", false, [this](const httplib::Request& req, const auto&) {
        const auto orgId = pathId(req, 1);
        const auto body = objectBody(req);
        if (!orgId || !body) return fail(400, "bad request");
        if (!orgs.count(*orgId)) return fail(404, "no such organisation");
        Invite inv;
        const auto role = stringAt(*body, key::kRole);
        const auto orgLabel = stringAt(*body, key::kOrgLabel);
        const auto inviterLabel = stringAt(*body, key::kInviterLabel);
        const auto ttl = intAt(*body, key::kTtlHours);
        const auto folders = body->find(key::kFolderIds);
        if (!role || !orgLabel || !inviterLabel || !ttl || folders == body->end() || !folders->is_array())
            return fail(400, "missing invite fields");
        if (*ttl <= 0) return fail(400, "bad ttlHours");
        std::vector<Uuid> folderIds;
        for (const auto& f : *folders) {
            const auto fid = f.is_string() ? Uuid::parse(f.get<std::string>()) : std::nullopt;
            if (!fid) return fail(400, "bad folder id");
            folderIds.push_back(*fid);
        }
        inv.id = Uuid::random().text();
        inv.token = randomText(32);
        inv.role = *role;
        inv.orgLabel = *orgLabel;
        inv.inviterLabel = *inviterLabel;
        inv.folderIds = std::move(folderIds);
        inv.email = stringAt(*body, key::kEmail);
        inv.pinnedHandle = stringAt(*body, key::kPinnedHandle);
        inv.ttlHours = *ttl;
        inv.createdAt = tick();
        invites[inv.id] = {*orgId, inv};
        return ok(json{{key::kId, inv.id}, {key::kToken, inv.token}}, 201);
    });

    on("GET", "/orgs/" + id + "/invites", "listInvites", false, [this](const httplib::Request& req, const auto&) {
        const auto orgId = pathId(req, 1);
        if (!orgId) return fail(400, "bad id");
        if (!orgs.count(*orgId)) return fail(404, "no such organisation");
        std::vector<const Invite*> list;
        for (const auto& [iid, entry] : invites)
            if (entry.first == *orgId) list.push_back(&entry.second);
        std::stable_sort(list.begin(), list.end(),
                         [](const Invite* a, const Invite* b) { return a->createdAt < b->createdAt; });
        json out = json::array();
        for (const Invite* inv : list) out.push_back(inviteJSON(*inv));
        return ok(json{{key::kInvites, std::move(out)}});
    });

    const auto findInvite = [this](const httplib::Request& req) -> Invite* {
        const auto orgId = pathId(req, 1);
        const auto it = invites.find(req.matches.size() > 2 ? req.matches[2].str() : std::string());
        if (!orgId || it == invites.end() || it->second.first != *orgId) return nullptr;
        return &it->second.second;
    };

    on("GET", "/orgs/" + id + "/invites/" + inviteId, "getInvite", false,
       [this, findInvite](const httplib::Request& req, const auto&) {
           const Invite* inv = findInvite(req);
           if (!inv) return fail(404, "no such invite");
           return ok(inviteJSON(*inv));
       });

    on("DELETE", "/orgs/" + id + "/invites/" + inviteId, "revokeInvite", false,
       [this, findInvite](const httplib::Request& req, const auto&) {
           const Invite* inv = findInvite(req);
           if (!inv) return fail(404, "no such invite");
           const std::string revoked = inv->id;
           invites.erase(revoked);
           return noContent();
       });

    on("POST", "/orgs/" + id + "/invites/" + inviteId + "/grant", "grantInvite", false,
       [this, findInvite](const httplib::Request& req, const auto&) {
           Invite* inv = findInvite(req);
           const auto body = objectBody(req);
           if (!inv) return fail(404, "no such invite");
           if (!body) return fail(400, "not a JSON object");
           if (inv->status != "claimed" || !inv->claimedAccountId) return fail(409, "invite not claimed");
           const auto grants = body->find(key::kGrants);
           if (grants == body->end() || !grants->is_array()) return fail(400, "missing grants");
           std::vector<SignedCollectionGrant> received;
           for (const auto& g : *grants) {
               const auto cid = g.is_object() ? uuidAt(g, key::kCollectionId) : std::nullopt;
               const auto sealed = g.is_object() ? stringAt(g, key::kSealedKey) : std::nullopt;
               const auto signature = g.is_object() ? stringAt(g, key::kSignature) : std::nullopt;
               if (!cid || !sealed || !signature) return fail(400, "bad grant");
               received.push_back(SignedCollectionGrant{*cid, *sealed, *signature});
           }
           inv->grants = std::move(received);
           const Uuid orgId = invites.at(inv->id).first;
           if (!findMember(orgId, *inv->claimedAccountId))
               members[orgId].push_back(Member{*inv->claimedAccountId, inv->role, {}, {}});
           return noContent();
       });

    on("POST", "/collections/" + id + "/rotate", "rotateCollectionKey", false,
       [this](const httplib::Request& req, const auto&) {
           const auto cid = pathId(req, 1);
           const auto body = objectBody(req);
           if (!cid || !body) return fail(400, "bad request");
           if (!liveCollection(*cid)) return fail(404, "no such collection");
           const auto epoch = intAt(*body, key::kKeyEpoch);
           const auto grants = body->find(key::kMemberGrants);
           const auto keys = body->find(key::kItemKeys);
           if (!epoch || *epoch < 0 || *epoch > 0xFFFFFFFFll || grants == body->end() || !grants->is_array() ||
               keys == body->end() || !keys->is_array())
               return fail(400, "missing rotation fields");
           Rotation rotation{*cid, static_cast<std::uint32_t>(*epoch), {}, {}};
           for (const auto& g : *grants) {
               const auto account = g.is_object() ? uuidAt(g, key::kAccountId) : std::nullopt;
               const auto sealed = g.is_object() ? stringAt(g, key::kSealedKey) : std::nullopt;
               const auto signature = g.is_object() ? stringAt(g, key::kSignature) : std::nullopt;
               if (!account || !sealed || !signature) return fail(400, "bad member grant");
               rotation.memberGrants.push_back(RotateMemberGrant{*account, *sealed, *signature});
           }
           for (const auto& k : *keys) {
               const auto item = k.is_object() ? uuidAt(k, key::kItemId) : std::nullopt;
               const auto wrapped = k.is_object() ? stringAt(k, key::kWrappedKey) : std::nullopt;
               if (!item || !wrapped) return fail(400, "bad item key");
               rotation.itemKeys.push_back(RotateItemKey{*item, *wrapped});
           }
           collections.at(*cid).keyEpoch = rotation.keyEpoch;
           rotations.push_back(std::move(rotation));
           return noContent();
       });

    on("GET", "/orgs/" + id + "/accounts", "lookupAccount", false, [this](const httplib::Request& req, const auto&) {
        const auto orgId = pathId(req, 1);
        const std::string handleKey(wire::query::kHandle);
        if (!orgId || !req.has_param(handleKey.c_str())) return fail(400, "bad request");
        const std::string handle = req.get_param_value(handleKey.c_str());
        for (const auto& [aid, a] : accounts)
            if (a.handle == handle) return ok(accountJSON(a));
        return fail(404, "no such account");
    });

    on("POST", std::string(route::kInviteClaim), "claimInvite", true,
       [this](const httplib::Request& req, const std::optional<Uuid>& caller) {
           const auto body = objectBody(req);
           if (!body) return fail(400, "not a JSON object");
           const auto token = stringAt(*body, key::kToken);
           if (!token) return fail(400, "missing token");
           for (auto& [iid, entry] : invites) {
               Invite& inv = entry.second;
               if (inv.token != *token) continue;
               if (clock > inv.createdAt + std::chrono::hours(inv.ttlHours)) return fail(410, "invite expired");
               if (inv.claimedAccountId && inv.claimedAccountId != caller) return fail(409, "invite already claimed");
               inv.status = "claimed";
               inv.claimedAccountId = *caller;
               return ok(json{{key::kOrgId, entry.first.text()}, {key::kRole, inv.role}});
           }
           return fail(404, "no such invite");
       });
}

void FakeVaelServer::Impl::installRoutes() {
    installAuthRoutes();
    installSyncRoutes();
    installInviteRoutes();
}

FakeVaelServer::FakeVaelServer() : impl_(std::make_unique<Impl>()) {
    if (sodium_init() < 0) throw std::runtime_error("libsodium failed to start");
    impl_->installRoutes();
    // One pool thread per kept-alive connection: enough for every client connection a test or bench
    // keeps open at once, so none waits for another's keep-alive to run out.
    impl_->server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    impl_->server.set_tcp_nodelay(true);
    impl_->server.set_keep_alive_max_count(1000);
    impl_->server.set_keep_alive_timeout(1);
    impl_->server.set_socket_options([impl = impl_.get()](socket_t sock) {
        httplib::default_socket_options(sock);
        impl->listenSocket = sock;
    });
    impl_->port = impl_->server.bind_to_any_port("127.0.0.1");
    if (impl_->port <= 0) throw std::runtime_error("the test server could not bind to 127.0.0.1");
    // httplib listens with a backlog of 5: a client opening its connections at once overflows that,
    // and each SYN the kernel drops costs the client a retransmission a second later.
    if (::listen(impl_->listenSocket, SOMAXCONN) != 0)
        throw std::runtime_error("the test server could not widen its listen backlog");
    impl_->listener = std::thread([this] { impl_->server.listen_after_bind(); });
    // stop() only takes effect once the loop runs, so wait for it.
    while (!impl_->server.is_running()) std::this_thread::yield();
}

FakeVaelServer::~FakeVaelServer() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->released.notify_all();
    impl_->server.stop();
    if (impl_->listener.joinable()) impl_->listener.join();
}

int FakeVaelServer::port() const { return impl_->port; }

std::string FakeVaelServer::baseURL() const { return "http://127.0.0.1:" + std::to_string(impl_->port); }

void FakeVaelServer::setNow(TimePoint now) {
    std::lock_guard lock(impl_->mutex);
    impl_->clock = now;
}

TimePoint FakeVaelServer::now() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->clock;
}

void FakeVaelServer::addOrg(Org org) {
    std::lock_guard lock(impl_->mutex);
    org.updatedAt = impl_->stamp(org.updatedAt);
    impl_->orgs[org.id] = org;
}

void FakeVaelServer::addCollection(Collection collection) {
    std::lock_guard lock(impl_->mutex);
    collection.updatedAt = impl_->stamp(collection.updatedAt);
    impl_->collections[collection.id] = collection;
}

void FakeVaelServer::addItem(Item item) {
    std::lock_guard lock(impl_->mutex);
    item.updatedAt = impl_->stamp(item.updatedAt);
    impl_->items[item.id] = item;
}

FakeVaelServer::Account FakeVaelServer::addAccount(Account account) {
    std::lock_guard lock(impl_->mutex);
    if (account.prfSalt.empty()) account.prfSalt = randomText(32);
    impl_->accounts[account.id] = account;
    return account;
}

void FakeVaelServer::addMember(const Uuid& orgId, Member member) {
    std::lock_guard lock(impl_->mutex);
    impl_->members[orgId].push_back(std::move(member));
}

FakeVaelServer::Invite FakeVaelServer::addInvite(const Uuid& orgId, Invite invite) {
    std::lock_guard lock(impl_->mutex);
    if (invite.id.empty()) invite.id = Uuid::random().text();
    if (invite.token.empty()) invite.token = randomText(32);
    invite.createdAt = impl_->stamp(invite.createdAt);
    impl_->invites[invite.id] = {orgId, invite};
    return invite;
}

std::string FakeVaelServer::issueSessionToken(const Uuid& accountId) {
    std::lock_guard lock(impl_->mutex);
    const std::string token = randomText(32);
    impl_->sessions[token] = accountId;
    return token;
}

std::optional<FakeVaelServer::Item> FakeVaelServer::item(const Uuid& id) const {
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->items.find(id);
    if (it == impl_->items.end()) return std::nullopt;
    return it->second;
}

std::vector<FakeVaelServer::Item> FakeVaelServer::items() const {
    std::lock_guard lock(impl_->mutex);
    std::vector<Item> out;
    for (const auto& [id, item] : impl_->items) out.push_back(item);
    return out;
}

std::optional<FakeVaelServer::Collection> FakeVaelServer::collection(const Uuid& id) const {
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->collections.find(id);
    if (it == impl_->collections.end()) return std::nullopt;
    return it->second;
}

std::vector<FakeVaelServer::Collection> FakeVaelServer::collections() const {
    std::lock_guard lock(impl_->mutex);
    std::vector<Collection> out;
    for (const auto& [id, c] : impl_->collections) out.push_back(c);
    return out;
}

std::optional<FakeVaelServer::Org> FakeVaelServer::org(const Uuid& id) const {
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->orgs.find(id);
    if (it == impl_->orgs.end()) return std::nullopt;
    return it->second;
}

std::vector<FakeVaelServer::Org> FakeVaelServer::orgs() const {
    std::lock_guard lock(impl_->mutex);
    std::vector<Org> out;
    for (const auto& [id, o] : impl_->orgs) out.push_back(o);
    return out;
}

std::optional<FakeVaelServer::Account> FakeVaelServer::account(std::string_view handle) const {
    std::lock_guard lock(impl_->mutex);
    for (const auto& [id, a] : impl_->accounts)
        if (a.handle == handle) return a;
    return std::nullopt;
}

std::vector<FakeVaelServer::Member> FakeVaelServer::members(const Uuid& orgId) const {
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->members.find(orgId);
    return it == impl_->members.end() ? std::vector<Member>{} : it->second;
}

std::optional<FakeVaelServer::Invite> FakeVaelServer::invite(const std::string& inviteId) const {
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->invites.find(inviteId);
    if (it == impl_->invites.end()) return std::nullopt;
    return it->second.second;
}

std::vector<FakeVaelServer::Rotation> FakeVaelServer::rotations() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->rotations;
}

std::vector<FakeVaelServer::Call> FakeVaelServer::calls() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->calls;
}

int FakeVaelServer::callCount(std::string_view operation) const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<int>(std::count_if(impl_->calls.begin(), impl_->calls.end(), [&](const Call& c) {
        return operation == "*" || c.operation == operation;
    }));
}

void FakeVaelServer::clearCalls() {
    std::lock_guard lock(impl_->mutex);
    impl_->calls.clear();
}

void FakeVaelServer::answerNext(std::string_view operation, int status, std::string body, int times) {
    std::lock_guard lock(impl_->mutex);
    for (int i = 0; i < times; ++i) impl_->scripts.push_back(Impl::Script{std::string(operation), false, status, body});
}

void FakeVaelServer::cutNext(std::string_view operation, int times) {
    std::lock_guard lock(impl_->mutex);
    for (int i = 0; i < times; ++i)
        impl_->scripts.push_back(Impl::Script{std::string(operation), false, 0, {}, true});
}

int FakeVaelServer::cutsLeft() const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<int>(
        std::count_if(impl_->scripts.begin(), impl_->scripts.end(), [](const Impl::Script& s) { return s.cut; }));
}

void FakeVaelServer::hangNext(std::string_view operation, int times) {
    std::lock_guard lock(impl_->mutex);
    for (int i = 0; i < times; ++i) impl_->scripts.push_back(Impl::Script{std::string(operation), true, 0, {}});
}

void FakeVaelServer::releaseHangs() {
    {
        std::lock_guard lock(impl_->mutex);
        ++impl_->releaseGeneration;
    }
    impl_->released.notify_all();
}

void FakeVaelServer::setRequireSession(bool required) {
    std::lock_guard lock(impl_->mutex);
    impl_->requireSession = required;
}

}  // namespace vael::fake

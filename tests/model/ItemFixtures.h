#pragma once

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app/agent/ops/ItemLayout.h"
#include "ModelFixtures.h"

namespace vael::testing {

// A server that takes every change and remembers, in order, what it was told.
class RecordingSyncAPI final : public VaelSyncAPI {
public:
    SyncResponse sync(std::optional<TimePoint>) override {
        note("sync");
        return SyncResponse{std::chrono::system_clock::now(), {}, {}};
    }
    ItemBody fetchItem(const Uuid&) override { throw SyncAPIError::offline(); }
    PushResult putItem(const Uuid& id, const ItemBody&, std::int64_t expected) override {
        note("put " + id.text());
        if (duringPut) duringPut();
        return PushResult{expected + 1};
    }
    void createItem(const ItemBody& body) override { note("create " + body.id.text()); }
    void deleteItem(const Uuid& id) override { note("delete " + id.text()); }
    void createCollection(const CollectionRecord& record) override { note("createGroup " + record.id.text()); }
    void patchCollection(const CollectionRecord& record) override { note("patchGroup " + record.id.text()); }
    void deleteCollection(const Uuid& id) override { note("deleteGroup " + id.text()); }

    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    long count(const std::string& call) {
        std::lock_guard lock(mutex_);
        return std::count(calls_.begin(), calls_.end(), call);
    }
    void clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    std::function<void()> duringPut;  // runs inside every put, on the caller's thread; set before writing

private:
    void note(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Waits for a model operation on the event loop and rethrows what it raised (waitFor alone would
// wait forever for a task that ends in an exception).
// Registration of the default project and group always succeeds.
class AcceptingBootstrapAPI final : public BootstrapAPI {
public:
    OrgDTO createOrg(const std::optional<Uuid>& id, const Bytes&, const std::optional<Bytes>&) override {
        return OrgDTO{id.value_or(Uuid::random()), "", {}};
    }
    CollectionDTO createCollection(const Uuid& orgId, const std::optional<Uuid>& id, const std::optional<Uuid>&,
                                   const Bytes&, const std::optional<Bytes>&, const Bytes&) override {
        return CollectionDTO{id.value_or(Uuid::random()), orgId, std::nullopt, "", "", 0, {}};
    }
};

// An unlocked model over a fresh vault, with direct access to its replica for setting up and checking.
struct OpenVault {
    std::shared_ptr<RecordingSyncAPI> api = std::make_shared<RecordingSyncAPI>();
    ModelHarness h{services(api)};
    AppModel& m = *h.model;
    std::unique_ptr<VaelStore> peek;

    OpenVault() {
        h.create();
        EXPECT_TRUE(m.hasSession());
        peek = std::make_unique<VaelStore>(h.home.paths().replica);
    }

    // A vault with a server account: its changes go to the server (a vault without one calls none).
    void connect() { m.setServerConnected(true); }

    static AppModelServices services(std::shared_ptr<RecordingSyncAPI> api) {
        AppModelServices s;
        s.syncAPI = std::move(api);
        s.bootstrapAPI = std::make_shared<AcceptingBootstrapAPI>();
        return s;
    }

    // Runs SQL on the replica through a connection of its own (refusing triggers, broken rows).
    void sql(const std::string& statement) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(h.home.paths().replica.c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        const int rc = sqlite3_exec(db, statement.c_str(), nullptr, nullptr, &error);
        EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }
    // Every later write of that row in that table fails.
    void refuseWrites(std::string_view table, const Uuid& id) {
        const auto name = std::string("refuse_") + std::string(table) + "_" + std::to_string(++triggers_);
        for (const char* when : {"INSERT", "UPDATE"}) {
            sql("CREATE TRIGGER " + name + "_" + when + " BEFORE " + when + " ON " + std::string(table) +
                " WHEN NEW.id = '" + id.text() + "' BEGIN SELECT RAISE(ABORT, 'refused'); END;");
        }
    }

    CollectionKey keyOf(const Uuid& group) {
        return m.vault()->unwrapCollectionKey(peek->collection(group)->wrappedKey);
    }
    ItemPayload payloadOf(const Uuid& item, const CollectionKey& key) {
        return itemlayout::openPayload(*m.vault(), *peek->item(item), key);
    }
    ItemPayload payloadOf(const Uuid& item) { return payloadOf(item, keyOf(peek->item(item)->collectionId)); }

    Uuid group(const std::string& name, const Uuid& project = AppModel::localOrgID(),
               std::optional<Uuid> parent = std::nullopt) {
        auto id = await(m.createGroup(name, project, parent));
        EXPECT_TRUE(id);
        return id.value_or(Uuid{});
    }
    Uuid item(const std::string& name, std::optional<Uuid> group = std::nullopt,
              std::vector<ItemField> fields = {{"password", ItemField::Kind::password, "s3cret", true}},
              const std::string& tier = "injectable") {
        ItemPayload payload;
        payload.name = name;
        payload.fields = std::move(fields);
        return await(m.addItem(std::move(payload), "login", tier, group));
    }

private:
    int triggers_ = 0;
};

}  // namespace vael::testing

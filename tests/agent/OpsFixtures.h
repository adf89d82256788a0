#pragma once

// A session as the application opens one: a real replica in a private temporary folder, a real
// vault-crypto object (cheap Argon2), the default group and project, a sync engine over a scripted
// server, a scripted capture presenter and a manual clock, around one StoreVaultItemSource.

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/agent/ops/StoreVaultItemSource.h"
#include "crypto/CryptoTestSupport.h"
#include "store/ScriptedSyncAPI.h"
#include "store/StoreFixtures.h"

namespace vael::testing {

inline const Uuid kDefaultProject = Uuid::fromText("00000000-0000-0000-0000-00000000A000");
inline const Uuid kDefaultGroup = Uuid::fromText("00000000-0000-0000-0000-00000000C001");

// Answers captures from a script (nothing, a dismissal, once it runs out) and can hold callers
// until released, so that a test can act while a sheet is open.
class ScriptedPresenter : public CredentialCapturePresenter {
public:
    struct Call {
        std::string origin;
        std::optional<std::string> suggestedName;
    };

    std::optional<CapturedCredential> present(const std::string& origin,
                                              const std::optional<std::string>& suggestedName) override {
        std::unique_lock lock(mutex_);
        calls_.push_back(Call{origin, suggestedName});
        changed_.notify_all();
        changed_.wait(lock, [&] { return !holding_; });
        if (answers_.empty()) return std::nullopt;
        auto answer = std::move(answers_.front());
        answers_.pop_front();
        return answer;
    }

    void script(std::optional<CapturedCredential> answer) {
        std::lock_guard lock(mutex_);
        answers_.push_back(std::move(answer));
    }
    void hold() {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }
    void waitForCalls(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return calls_.size() >= count; });
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::optional<CapturedCredential>> answers_;
    std::vector<Call> calls_;
    bool holding_ = false;
};

inline ItemField field(std::string label, ItemField::Kind kind, std::string value, bool concealed = true) {
    return ItemField{std::move(label), kind, std::move(value), concealed};
}

inline ItemPayload payload(std::string name, std::vector<ItemField> fields, std::optional<std::string> url = {}) {
    ItemPayload p;
    p.name = std::move(name);
    p.fields = std::move(fields);
    p.url = std::move(url);
    return p;
}

// The owner's yes to every prompt.
inline const VaultItemSource::ApproveChange approveAll = [](const std::string&) { return true; };

inline VaultUDSRequest request(VaultUDSRequest::Op op) {
    VaultUDSRequest r;
    r.op = op;
    return r;
}

struct OpsOptions {
    bool engine = true;
    bool presenter = true;
};

struct OpsEnv {
    OpsEnv() : OpsEnv(OpsOptions{}) {}
    explicit OpsEnv(OpsOptions options) {
        vault = std::shared_ptr<VaultCrypto>(TestVault::shared().unlocked());
        // The session opening: the default group has no name key, "Personal" is sealed under its key.
        defaultKey = vault->newCollectionKey();
        auto groupName = vault->sealBlob(SecureBytes(std::string_view("local")), kDefaultGroup, defaultKey);
        store->upsertCollection(CollectionRecord{kDefaultGroup, kDefaultProject, std::nullopt, groupName.blob,
                                                 std::nullopt, 0, vault->wrapCollectionKeyToSelf(defaultKey),
                                                 clock->now(), false});
        auto projectName = vault->sealBlob(SecureBytes(std::string_view("Personal")), kDefaultProject, defaultKey);
        store->upsertProject(ProjectRecord{kDefaultProject, projectName.blob, projectName.wrappedKey, 0, clock->now(),
                                           false});
        if (options.engine) engine = std::make_shared<SyncEngine>(store, api, clock, pause);
        if (!options.presenter) presenter.reset();
        source = std::make_shared<StoreVaultItemSource>(
            store, vault, StoreVaultItemSource::Defaults{kDefaultProject, "Personal", kDefaultGroup, "local", defaultKey},
            engine, presenter, clock);
    }

    // --- rows written straight into the store, as a sync or the application would ---

    ProjectRecord addProject(const std::string& name, std::int64_t sort) {
        const auto id = Uuid::random();
        auto sealed = vault->sealBlob(SecureBytes(std::string_view(name)), id, defaultKey);
        ProjectRecord row{id, sealed.blob, sealed.wrappedKey, sort, clock->now(), false};
        store->upsertProject(row);
        return row;
    }

    // A group with its own new key and sealed name (no name key: the fallback name).
    CollectionRecord addGroup(const std::string& name, std::optional<Uuid> parent = std::nullopt,
                              Uuid project = kDefaultProject, std::int64_t sort = 1, bool nameKey = true) {
        const auto id = Uuid::random();
        auto key = vault->newCollectionKey();
        auto sealed = vault->sealBlob(SecureBytes(std::string_view(name)), id, key);
        CollectionRecord row{id,          project, parent, sealed.blob, std::nullopt, sort, vault->wrapCollectionKeyToSelf(key),
                             clock->now(), false};
        if (nameKey) row.nameWrappedKey = sealed.wrappedKey;
        store->upsertCollection(row);
        return row;
    }

    CollectionKey keyOf(const Uuid& group) { return vault->unwrapCollectionKey(store->collection(group)->wrappedKey); }

    ItemRecord addItem(const Uuid& group, const ItemPayload& content, std::string tier = "injectable",
                       std::string type = "login") {
        const auto id = Uuid::random();
        auto sealed = vault->sealBlob(encodeItemPayload(content), id, keyOf(group));
        ItemRecord row{id, group, std::move(type), sealed.blob, sealed.blob, R"({"envelope_version":1})",
                       sealed.wrappedKey, std::move(tier), 1, clock->now(), false};
        store->upsertItem(row);
        return row;
    }

    ItemPayload payloadOf(const Uuid& item) {
        auto row = store->item(item);
        if (!row) throw std::runtime_error("no such item");
        return decodeItemPayload(
            vault->openBlob(1, row->contentBlob, row->id, row->wrappedItemKey, keyOf(row->collectionId)));
    }

    // Another connection to the replica, for rows and triggers the store would never write itself.
    SQLite::Database raw() const { return SQLite::Database(dir.file("replica.sqlite").string(), SQLite::OPEN_READWRITE); }

    // Every row count and the write counter: equal before and after means nothing was written.
    std::tuple<std::int64_t, std::int64_t, std::int64_t, std::uint64_t> footprint() const {
        auto db = raw();
        return {db.execAndGet("SELECT count(*) FROM items").getInt64(),
                db.execAndGet("SELECT count(*) FROM collections").getInt64(),
                db.execAndGet("SELECT count(*) FROM projects").getInt64(), store->contentWriteCount()};
    }

    test::TempDir dir;
    std::shared_ptr<test::ManualClock> clock = std::make_shared<test::ManualClock>(test::sampleTime());
    std::shared_ptr<VaelStore> store = std::make_shared<VaelStore>(dir.file("replica.sqlite").string());
    std::shared_ptr<VaultCrypto> vault;
    std::shared_ptr<test::ScriptedSyncAPI> api = std::make_shared<test::ScriptedSyncAPI>();
    std::shared_ptr<test::ScriptedPause> pause = std::make_shared<test::ScriptedPause>();
    std::shared_ptr<SyncEngine> engine;
    std::shared_ptr<ScriptedPresenter> presenter = std::make_shared<ScriptedPresenter>();
    CollectionKey defaultKey;
    std::shared_ptr<StoreVaultItemSource> source;
};

// The case of a management error, or nothing when something else (or nothing) was thrown.
template <class Call>
std::optional<VaultUDSManagementError::Case> managementError(Call&& call) {
    try {
        call();
    } catch (const VaultUDSManagementError& error) {
        return error.code();
    } catch (...) {
    }
    return std::nullopt;
}

template <class Call>
bool throwsLocked(Call&& call) {
    try {
        call();
    } catch (const VaelCryptoError& error) {
        return error.code() == VaelCryptoError::Code::Locked;
    } catch (...) {
    }
    return false;
}

}  // namespace vael::testing

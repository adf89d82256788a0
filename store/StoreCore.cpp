#include "store/StoreCore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstring>

#include "core/Log.h"
#include "store/Migrator.h"

namespace vael::detail {

namespace {

constexpr std::string_view kObservationCategory = "store.observation";

bool isObservedTable(const char* table) {
    return std::strcmp(table, "items") == 0 || std::strcmp(table, "collections") == 0 ||
           std::strcmp(table, "projects") == 0;
}

SQLite::Database openDatabase(const std::string& path) {
    // Create the file ourselves so that it is private from its first byte (SQLite would follow the
    // umask); its journal files take the same mode. A missing folder is left for SQLite to report.
    if (!path.empty() && path != ":memory:" && path.rfind("file:", 0) != 0) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) ::close(fd);
    }
    SQLite::Database db(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, /*busyTimeoutMs=*/5000);
    // A write-ahead log commits with one sync instead of several; FULL keeps every commit durable.
    db.exec("PRAGMA journal_mode = WAL");
    db.exec("PRAGMA synchronous = FULL");
    // Room for a whole vault of ten thousand items, so the change fingerprint scans memory, not the file.
    db.exec("PRAGMA cache_size = -32768");
    migrate(db, replicaMigrations());
    return db;
}

}  // namespace

StoreCore::StoreCore(const std::string& path) : db_(openDatabase(path)) {
    sqlite3* handle = db_.getHandle();
    sqlite3_update_hook(handle, &StoreCore::onUpdate, this);
    sqlite3_commit_hook(handle, &StoreCore::onCommit, this);
    sqlite3_rollback_hook(handle, &StoreCore::onRollback, this);
}

StoreCore::~StoreCore() {
    sqlite3* handle = db_.getHandle();
    sqlite3_update_hook(handle, nullptr, nullptr);
    sqlite3_commit_hook(handle, nullptr, nullptr);
    sqlite3_rollback_hook(handle, nullptr, nullptr);
    statements_.clear();
}

void StoreCore::onUpdate(void* self, int, const char*, const char* table, long long) {
    if (isObservedTable(table)) static_cast<StoreCore*>(self)->contentTouched_ = true;
}

int StoreCore::onCommit(void* self) {
    auto* core = static_cast<StoreCore*>(self);
    if (core->contentTouched_) {
        core->contentTouched_ = false;
        core->contentCommitted_ = true;
        core->contentWrites_.fetch_add(1);
    }
    return 0;
}

void StoreCore::onRollback(void* self) { static_cast<StoreCore*>(self)->contentTouched_ = false; }

LentStatement StoreCore::statement(const std::string& sql) {
    auto& slot = statements_[sql];
    if (!slot) slot = std::make_unique<SQLite::Statement>(db_, sql);
    return LentStatement(*slot);
}

void StoreCore::beginWrite() { db_.exec("BEGIN IMMEDIATE"); }

void StoreCore::commitWrite() { db_.exec("COMMIT"); }

void StoreCore::rollbackWrite() {
    if (!sqlite3_get_autocommit(db_.getHandle())) db_.tryExec("ROLLBACK");
    contentTouched_ = false;
}

std::vector<std::shared_ptr<Observation>> StoreCore::takeDueObservations() {
    std::vector<std::shared_ptr<Observation>> due;
    if (!contentCommitted_) return due;
    contentCommitted_ = false;
    std::erase_if(observations_, [&](const std::weak_ptr<Observation>& weak) {
        auto observation = weak.lock();
        if (!observation || observation->cancelled.load() || observation->ended) return true;
        // One pending recomputation is enough: it reads the state after this commit.
        if (!observation->scheduled) {
            observation->scheduled = true;
            due.push_back(std::move(observation));
        }
        return false;
    });
    return due;
}

void StoreCore::startObservation(const std::shared_ptr<Observation>& observation) {
    {
        std::lock_guard lock(mutex_);
        observation->scheduled = true;
        observations_.push_back(observation);
    }
    schedule(observation);
}

void StoreCore::schedule(const std::shared_ptr<Observation>& observation) {
    std::weak_ptr<StoreCore> weakCore = weak_from_this();
    observation->post([weakCore, observation] { deliver(weakCore, observation); });
}

void StoreCore::deliver(const std::weak_ptr<StoreCore>& weakCore, const std::shared_ptr<Observation>& observation) {
    if (observation->cancelled.load()) return;
    {
        auto core = weakCore.lock();
        if (!core) return;
        std::lock_guard lock(core->mutex_);
        observation->scheduled = false;
        if (observation->ended) return;
        try {
            auto current = core->fingerprint();
            if (observation->lastDelivered == current) return;
            observation->lastDelivered = std::move(current);
        } catch (const std::exception& error) {
            observation->ended = true;
            logMessage(LogLevel::Error, kObservationCategory,
                       std::string("vault change observation failed: ") + error.what());
            return;
        }
    }
    if (!observation->cancelled.load()) observation->onChange();
}

VaultFingerprint StoreCore::fingerprint() {
    // One read transaction, so the six values describe one state.
    db_.exec("BEGIN");
    try {
        auto count = [&](const char* sql) {
            auto s = statement(sql);
            return s->executeStep() ? s->getColumn(0).getInt64() : 0;
        };
        auto stamp = [&](const char* sql) {
            auto s = statement(sql);
            return s->executeStep() ? s->getColumn(0).getString() : std::string();
        };
        VaultFingerprint fp;
        fp.items = count("SELECT COUNT(*) FROM items");
        fp.collections = count("SELECT COUNT(*) FROM collections");
        fp.projects = count("SELECT COUNT(*) FROM projects");
        fp.itemsStamp = stamp("SELECT COALESCE(MAX(updatedAt), '') FROM items");
        fp.collectionsStamp = stamp("SELECT COALESCE(MAX(updatedAt), '') FROM collections");
        fp.projectsStamp = stamp("SELECT COALESCE(MAX(updatedAt), '') FROM projects");
        db_.exec("COMMIT");
        return fp;
    } catch (...) {
        if (!sqlite3_get_autocommit(db_.getHandle())) db_.tryExec("ROLLBACK");
        throw;
    }
}

}  // namespace vael::detail

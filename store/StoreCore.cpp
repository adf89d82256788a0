#include "store/StoreCore.h"
#include "store/StorageFault.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <map>
#include <utility>

#include "store/Migrator.h"

namespace vael::detail {

namespace {

// The journal keeps recent commits while together they name at most this many item rows; a reader
// further behind reads everything again.
constexpr std::size_t kJournalRows = 4096;
constexpr std::size_t kJournalCommits = 1024;
// Writers in other processes are noticed by a look at the file at least this often.
constexpr std::int64_t kLookEveryNs = 20'000'000;

std::int64_t steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One write counter per database file for every store of this process, so that a store notices at
// once, without a look at the file, that another of them wrote to it.
std::shared_ptr<std::atomic<std::uint64_t>> fileWriteCounter(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::pair<dev_t, ino_t>, std::weak_ptr<std::atomic<std::uint64_t>>> counters;
    struct stat st {};
    if (path.empty() || path == ":memory:" || ::stat(path.c_str(), &st) != 0)
        return std::make_shared<std::atomic<std::uint64_t>>(0);
    std::lock_guard lock(mutex);
    auto& slot = counters[{st.st_dev, st.st_ino}];
    auto counter = slot.lock();
    if (!counter) {
        counter = std::make_shared<std::atomic<std::uint64_t>>(0);
        slot = counter;
    }
    return counter;
}

SQLite::Database openDatabase(const std::string& path) {
    // Create the file ourselves so that it is private from its first byte (SQLite would follow the
    // umask); its journal files take the same mode. A missing folder is left for SQLite to report.
    if (!path.empty() && path != ":memory:" && path.rfind("file:", 0) != 0) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) ::close(fd);
    }
    SQLite::Database db(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, /*busyTimeoutMs=*/5000);
    try {
        // A write-ahead log commits with one sync instead of several; FULL keeps every commit durable.
        db.exec("PRAGMA journal_mode = WAL");
        db.exec("PRAGMA synchronous = FULL");
        // Room for a whole vault of ten thousand items, so that reading it again reads memory, not the file.
        db.exec("PRAGMA cache_size = -32768");
        migrate(db, replicaMigrations());
    } catch (const SQLite::Exception&) {
        rethrowWithSystemError(db.getHandle());
    }
    return db;
}

}  // namespace

StoreCore::StoreCore(const std::string& path) : db_(openDatabase(path)), fileWrites_(fileWriteCounter(path)) {
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

void StoreCore::onUpdate(void* self, int, const char*, const char* table, long long rowid) {
    auto* core = static_cast<StoreCore*>(self);
    if (core->quiet_) return;
    if (std::strcmp(table, "items") == 0) {
        core->openCommit_.itemRows.push_back(rowid);
    } else if (std::strcmp(table, "collections") == 0 || std::strcmp(table, "projects") == 0) {
        core->openCommit_.structure = true;
    } else {
        return;
    }
    core->contentTouched_ = true;
}

int StoreCore::onCommit(void* self) {
    auto* core = static_cast<StoreCore*>(self);
    if (core->contentTouched_) {
        core->contentTouched_ = false;
        core->contentCommitted_ = true;
        core->contentWrites_.fetch_add(1);
        core->remember(std::exchange(core->openCommit_, {}));
    }
    return 0;
}

void StoreCore::onRollback(void* self) {
    auto* core = static_cast<StoreCore*>(self);
    core->contentTouched_ = false;
    core->openCommit_ = {};
}

void StoreCore::remember(ContentCommit commit) {
    commit.mark = ++mark_;
    journalRows_ += commit.itemRows.size();
    journal_.push_back(std::move(commit));
    while (!journal_.empty() && (journalRows_ > kJournalRows || journal_.size() > kJournalCommits)) {
        journalRows_ -= journal_.front().itemRows.size();
        journal_.pop_front();
    }
}

void StoreCore::noteOtherConnections() {
    auto query = statement("PRAGMA data_version");
    if (!query->executeStep()) return;
    const auto version = query->getColumn(0).getInt64();
    if (dataVersion_ && *dataVersion_ != version) {
        ContentCommit unknown;
        unknown.unknown = true;
        remember(std::move(unknown));
    }
    dataVersion_ = version;
}

std::uint64_t StoreCore::contentMark() {
    const auto fileWrites = fileWrites_->load();
    noteOtherConnections();
    fileWritesSeen_.store(fileWrites);
    lookedAt_.store(steadyNow());
    publishedMark_.store(mark_);
    return mark_;
}

void StoreCore::publish() {
    // After the commit: a reader that sees the new values finds the commit in the file.
    publishedMark_.store(mark_);
    if (contentPublished_ != mark_) {
        contentPublished_ = mark_;
        fileWrites_->fetch_add(1);
    }
}

bool StoreCore::unchangedSince(std::uint64_t mark) const {
    return publishedMark_.load() == mark && fileWrites_->load() == fileWritesSeen_.load() &&
           steadyNow() - lookedAt_.load() < kLookEveryNs;
}

std::optional<std::vector<const ContentCommit*>> StoreCore::commitsSince(std::uint64_t mark) {
    std::vector<const ContentCommit*> commits;
    if (mark == mark_) return commits;
    if (mark > mark_ || journal_.empty() || journal_.front().mark > mark + 1) return std::nullopt;
    for (const auto& commit : journal_) {
        if (commit.mark <= mark) continue;
        if (commit.unknown) return std::nullopt;
        commits.push_back(&commit);
    }
    return commits;
}

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
    openCommit_ = {};
}

std::vector<std::shared_ptr<Observation>> StoreCore::takeDueObservations() {
    std::vector<std::shared_ptr<Observation>> due;
    if (!contentCommitted_) return due;
    contentCommitted_ = false;
    std::erase_if(observations_, [&](const std::weak_ptr<Observation>& weak) {
        auto observation = weak.lock();
        if (!observation || observation->cancelled.load()) return true;
        // One pending delivery is enough: the owner reads the state after this commit.
        if (!observation->scheduled.exchange(true)) due.push_back(std::move(observation));
        return false;
    });
    return due;
}

void StoreCore::startObservation(const std::shared_ptr<Observation>& observation) {
    {
        std::lock_guard lock(mutex_);
        observation->scheduled.store(true);
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
    if (weakCore.expired()) return;
    // Cleared before the owner reads: a commit from here on posts another delivery. No store lock, so
    // the delivering thread never waits behind a long read or write.
    observation->scheduled.store(false);
    if (!observation->cancelled.load()) observation->onChange();
}

}  // namespace vael::detail

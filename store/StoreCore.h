#pragma once

// The store's one connection and what is bound to it: the lock that serialises every access, the
// prepared statements, the change hooks and the running observations.

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Column.h>
#include <SQLiteCpp/Statement.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/VaelStore.h"

namespace vael::detail {

struct Observation {
    std::function<void()> onChange;
    PostFunction post;
    std::atomic<bool> cancelled{false};
    // A delivery is posted and has not begun; the main thread clears it without the store's lock.
    std::atomic<bool> scheduled{false};
};

// What one committed transaction changed in the observed tables.
struct ContentCommit {
    std::uint64_t mark = 0;              // the content mark this commit moved to
    bool unknown = false;                // another connection wrote: what changed is not known
    bool structure = false;              // collections or projects
    std::vector<std::int64_t> itemRows;  // rowids of items written
};

// A prepared statement lent for one use; reset when given back so it holds no read snapshot.
class LentStatement {
public:
    explicit LentStatement(SQLite::Statement& statement) : statement_(statement) { statement_.tryReset(); }
    ~LentStatement() { statement_.tryReset(); }
    LentStatement(const LentStatement&) = delete;
    LentStatement& operator=(const LentStatement&) = delete;
    SQLite::Statement* operator->() { return &statement_; }
    SQLite::Statement& operator*() { return statement_; }

private:
    SQLite::Statement& statement_;
};

class StoreCore : public std::enable_shared_from_this<StoreCore> {
public:
    explicit StoreCore(const std::string& path);
    ~StoreCore();

    // One read access.
    template <class F>
    auto read(F&& body) {
        std::lock_guard lock(mutex_);
        return body();
    }

    // One write access: a transaction, committed when body returns. Observations the commit made due
    // are handed to their post functions after the lock is released.
    template <class F>
    void write(F&& body) {
        std::vector<std::shared_ptr<Observation>> due;
        {
            std::lock_guard lock(mutex_);
            transaction(body);
            due = takeDueObservations();
            publish();
        }
        for (auto& observation : due) schedule(observation);
    }

    // A write of local bookkeeping that changes no content: observations and the change journal do
    // not see it.
    template <class F>
    void writeQuietly(F&& body) {
        std::lock_guard lock(mutex_);
        struct Quiet {
            bool& quiet;
            ~Quiet() { quiet = false; }
        } quiet{quiet_};
        quiet_ = true;
        transaction(body);
    }

    // Only while holding the lock (inside read or write).
    LentStatement statement(const std::string& sql);
    SQLite::Database& db() { return db_; }

    void startObservation(const std::shared_ptr<Observation>& observation);
    std::uint64_t contentWriteCount() const { return contentWrites_.load(); }

    // Only while holding the lock. The mark after noting a commit of another connection (if any) as
    // an unknown change; then the commits after `mark`, or nothing when they are no longer all known.
    std::uint64_t contentMark();
    std::optional<std::vector<const ContentCommit*>> commitsSince(std::uint64_t mark);
    // Without the lock: true only when nothing was committed to the file since `mark` was answered,
    // as far as this process can tell without a look (see VaelStore::contentUnchangedSince).
    bool unchangedSince(std::uint64_t mark) const;

private:
    // Only while holding the lock: body in one transaction, committed when it returns.
    template <class F>
    void transaction(F& body) {
        beginWrite();
        try {
            body();
            commitWrite();
        } catch (...) {
            rollbackWrite();
            throw;
        }
    }

    static void onUpdate(void* self, int operation, const char* database, const char* table, long long rowid);
    static int onCommit(void* self);
    static void onRollback(void* self);

    void beginWrite();
    void commitWrite();
    void rollbackWrite();
    std::vector<std::shared_ptr<Observation>> takeDueObservations();
    void schedule(const std::shared_ptr<Observation>& observation);
    static void deliver(const std::weak_ptr<StoreCore>& weakCore, const std::shared_ptr<Observation>& observation);
    void noteOtherConnections();
    void remember(ContentCommit commit);
    void publish();

    mutable std::mutex mutex_;
    SQLite::Database db_;
    // Declared after db_ so that the statements are finalised before the connection closes.
    std::unordered_map<std::string, std::unique_ptr<SQLite::Statement>> statements_;
    bool contentTouched_ = false;    // the open transaction changed an observed table
    bool quiet_ = false;             // the open transaction changes no content
    bool contentCommitted_ = false;  // a commit changed one since observations were last made due
    std::atomic<std::uint64_t> contentWrites_{0};
    std::vector<std::weak_ptr<Observation>> observations_;

    // The journal of recent content commits, oldest first, bounded by the rows it names; the mark
    // counts this connection's content commits and the other connections' commits it has noticed.
    ContentCommit openCommit_;
    std::uint64_t mark_ = 0;
    std::deque<ContentCommit> journal_;
    std::size_t journalRows_ = 0;
    std::optional<std::int64_t> dataVersion_;  // PRAGMA data_version when last looked at

    // Read without the lock: the mark as of the last finished write or look, the file's write counter
    // shared by every store of this process on the same file as of that look, and when it was.
    std::atomic<std::uint64_t> publishedMark_{0};
    std::shared_ptr<std::atomic<std::uint64_t>> fileWrites_;
    std::atomic<std::uint64_t> fileWritesSeen_{0};
    std::uint64_t contentPublished_ = 0;  // the mark whose commits were counted in fileWrites_
    std::atomic<std::int64_t> lookedAt_{0};  // steady clock, nanoseconds
};

}  // namespace vael::detail

#include "store/ReplicaSnapshot.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

#include "store/Migrator.h"
#include "store/RowCodec.h"

namespace vael {

namespace {

std::int64_t dataVersion(SQLite::Database& db) {
    SQLite::Statement query(db, "PRAGMA data_version");
    if (!query.executeStep()) throw SQLite::Exception("no data version", SQLITE_ERROR);
    return query.getColumn(0).getInt64();
}

// Only a private file of this user, as the store would open it without a change.
bool privateFile(const std::string& path, struct stat& st) {
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
           (st.st_mode & 07777) == 0600 && st.st_uid == ::geteuid();
}

}  // namespace

ReplicaSnapshot::ReplicaSnapshot() = default;
ReplicaSnapshot::ReplicaSnapshot(ReplicaSnapshot&&) noexcept = default;
ReplicaSnapshot& ReplicaSnapshot::operator=(ReplicaSnapshot&&) noexcept = default;
ReplicaSnapshot::~ReplicaSnapshot() = default;

std::optional<ReplicaSnapshot> ReplicaSnapshot::read(const std::string& path) {
    try {
        struct stat before {};
        if (!privateFile(path, before)) return std::nullopt;
        ReplicaSnapshot snapshot;
        snapshot.path_ = path;
        snapshot.device_ = before.st_dev;
        snapshot.inode_ = before.st_ino;
        // Read-write only so that, closed last, it leaves no journal files behind as a read-only
        // connection would; it never writes.
        snapshot.db_ = std::make_unique<SQLite::Database>(
            path, SQLite::OPEN_READWRITE | SQLite::OPEN_NOFOLLOW, /*busyTimeoutMs=*/1000);
        auto& db = *snapshot.db_;
        db.exec("PRAGMA query_only = 1");
        db.exec("BEGIN");
        // A file the store would migrate first is not read ahead.
        const auto applied = appliedMigrations(db);
        for (const auto& migration : replicaMigrations())
            if (!applied.count(migration.identifier)) return std::nullopt;
        if (applied.size() != replicaMigrations().size()) return std::nullopt;
        snapshot.dataVersion_ = dataVersion(db);
        {
            SQLite::Statement groups(db, rows::selectSql(rows::kCollectionColumns, "WHERE deleted = 0 ORDER BY sort"));
            while (groups.executeStep()) {
                snapshot.groups.push_back(rows::readCollection(groups));
                snapshot.items[snapshot.groups.back().id];
            }
        }
        {
            // One pass in row order: within a group, the order of the store's unordered listing.
            SQLite::Statement items(db, rows::selectSql(rows::kItemColumns, "WHERE deleted = 0"));
            while (items.executeStep()) {
                auto record = rows::readItem(items);
                if (auto group = snapshot.items.find(record.collectionId); group != snapshot.items.end())
                    group->second.push_back(std::move(record));
            }
        }
        db.exec("COMMIT");
        struct stat after {};
        if (!privateFile(path, after) || after.st_dev != before.st_dev || after.st_ino != before.st_ino)
            return std::nullopt;
        return snapshot;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool ReplicaSnapshot::stillCurrent() const {
    if (!db_) return false;
    try {
        struct stat now {};
        if (::lstat(path_.c_str(), &now) != 0 || now.st_dev != device_ || now.st_ino != inode_) return false;
        return dataVersion(*db_) == dataVersion_;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace vael

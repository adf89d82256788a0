#pragma once

// The live groups and their live items as the replica file holds them, read before the store is
// opened: while the vault is still locked, so the first listing after the unlock need not wait for
// the file. The read neither creates, migrates nor writes the file; a file that would need any
// of that (or cannot be read) gives no snapshot, and the caller reads the store as usual.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/Records.h"

namespace SQLite {
class Database;
}

namespace vael {

class ReplicaSnapshot {
public:
    static std::optional<ReplicaSnapshot> read(const std::string& path);

    ReplicaSnapshot(ReplicaSnapshot&&) noexcept;
    ReplicaSnapshot& operator=(ReplicaSnapshot&&) noexcept;
    ~ReplicaSnapshot();

    std::vector<CollectionRecord> groups;                     // live, by sort
    std::unordered_map<Uuid, std::vector<ItemRecord>> items;  // live, of each live group, as the store lists them unordered

    // True only while nothing was committed to the file since the read, by any connection, and its
    // path still names that file: the rows then stand for a read of the store. One thread at a time.
    bool stillCurrent() const;

private:
    ReplicaSnapshot();
    std::string path_;
    std::unique_ptr<SQLite::Database> db_;
    std::int64_t dataVersion_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

}  // namespace vael

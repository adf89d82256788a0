#pragma once

#include <array>
#include <functional>
#include <mutex>

#include "core/Uuid.h"

namespace vael {

// Per-record exclusion for read-modify-write: everyone who reads an item, group or project, changes it
// and writes it back (the window, every agent connection) holds the record's lock from the read to the
// write, so two writers of one record take turns and a deletion cannot fall between another writer's
// read and write. Keyed by id alone: ids are random, so items, groups and projects share the stripes.
// Striped: two records may share a mutex, so a holder never takes a second record's lock.
class RecordWriteLocks {
public:
    [[nodiscard]] std::unique_lock<std::mutex> lock(const Uuid& id) {
        return std::unique_lock(stripes_[std::hash<Uuid>{}(id) % stripes_.size()]);
    }

private:
    std::array<std::mutex, 64> stripes_;
};

}  // namespace vael

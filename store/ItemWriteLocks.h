#pragma once

#include <array>
#include <functional>
#include <mutex>

#include "core/Uuid.h"

namespace vael {

// Per-item exclusion for read-modify-write: everyone who reads an item, changes it and writes it back
// (the window, every agent connection) holds the item's lock from the read to the write, so two
// writers of one item take turns and a deletion cannot fall between another writer's read and write.
// Striped: two items may share a mutex, so a holder never takes a second item's lock.
class ItemWriteLocks {
public:
    [[nodiscard]] std::unique_lock<std::mutex> lock(const Uuid& id) {
        return std::unique_lock(stripes_[std::hash<Uuid>{}(id) % stripes_.size()]);
    }

private:
    std::array<std::mutex, 64> stripes_;
};

}  // namespace vael

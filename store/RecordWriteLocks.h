#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "core/Uuid.h"

namespace vael {

// Per-record exclusion for read-modify-write: everyone who reads an item, group or project, changes it
// and writes it back (the window, every agent connection) holds the record's lock from the read to the
// write, so two writers of one record take turns and a deletion cannot fall between another writer's
// read and write. One lock per record, made when first wanted and dropped when no one holds or waits
// for it: a writer of one record never waits for a writer of another. Nothing may hold one while it
// waits for a person or the network.
class RecordWriteLocks {
public:
    // Held until destroyed or unlocked; movable.
    class Lock {
    public:
        Lock() = default;
        Lock(Lock&& other) noexcept : owner_(std::exchange(other.owner_, nullptr)), id_(other.id_) {}
        Lock& operator=(Lock&& other) noexcept {
            if (this != &other) {
                unlock();
                owner_ = std::exchange(other.owner_, nullptr);
                id_ = other.id_;
            }
            return *this;
        }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        ~Lock() { unlock(); }

        void unlock() {
            if (owner_) std::exchange(owner_, nullptr)->release(id_);
        }
        bool owns_lock() const { return owner_ != nullptr; }

    private:
        friend class RecordWriteLocks;
        Lock(RecordWriteLocks* owner, const Uuid& id) : owner_(owner), id_(id) {}
        RecordWriteLocks* owner_ = nullptr;
        Uuid id_;
    };

    [[nodiscard]] Lock lock(const Uuid& id) {
        std::unique_lock guard(mutex_);
        auto& entry = records_[id];
        if (entry.held) {
            ++entry.waiting;
            entry.released.wait(guard, [&] { return !entry.held; });
            --entry.waiting;
        }
        entry.held = true;
        return Lock(this, id);
    }

    // Records locked or waited for now (0 when everyone is done).
    std::size_t recordsInUse() const {
        std::lock_guard guard(mutex_);
        return records_.size();
    }

private:
    struct Entry {
        bool held = false;
        int waiting = 0;
        std::condition_variable released;
    };

    void release(const Uuid& id) {
        std::lock_guard guard(mutex_);
        auto found = records_.find(id);
        if (found == records_.end()) return;
        found->second.held = false;
        if (found->second.waiting == 0) {
            records_.erase(found);
        } else {
            found->second.released.notify_one();
        }
    }

    mutable std::mutex mutex_;
    // Node-based: an entry stays where it is while others come and go.
    std::unordered_map<Uuid, Entry> records_;
};

}  // namespace vael

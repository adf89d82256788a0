#pragma once

#include <cstddef>

#include <cstdint>
#include <optional>

#include "store/Records.h"
#include "store/SyncTypes.h"

namespace vael {

// How the sync engine reaches the server. Every call blocks until the server answered and reports every
// failure as a SyncAPIError. The engine calls it without holding its own lock, so an implementation
// must accept calls from several threads at once.
class VaelSyncAPI {
public:
    virtual ~VaelSyncAPI() = default;

    // The item and group changes the server recorded after `since` (everything when absent). Groups
    // that could not be read are left out, and the answer says from when.
    virtual SyncResponse sync(std::optional<TimePoint> since) = 0;
    // The server's current version of the item, with its revision; an empty type when the server
    // holds none for it.
    virtual ItemBody fetchItem(const Uuid& id) = 0;
    // Stores the body only if the server's revision equals expectedRevision; otherwise conflict.
    virtual PushResult putItem(const Uuid& id, const ItemBody& body, std::int64_t expectedRevision) = 0;
    // Creates the item under the body's id in the body's group.
    virtual void createItem(const ItemBody& body) = 0;
    // An item already gone is no failure.
    virtual void deleteItem(const Uuid& id) = 0;
    // A group that already exists is no failure.
    virtual void createCollection(const CollectionRecord& record) = 0;
    virtual void patchCollection(const CollectionRecord& record) = 0;
    // A group already gone is no failure.
    virtual void deleteCollection(const Uuid& id) = 0;

    // How many item fetches a pull may have under way at once. One (the default) sends each only
    // after the one before it answered, so a failure stops a pull before any later request.
    virtual std::size_t concurrentFetches() const { return 1; }
};

}  // namespace vael

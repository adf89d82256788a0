#pragma once

#include "store/SyncTypes.h"
#include "store/VaelSyncAPI.h"

namespace vael::e2e {

// The host has no server: every call is offline at once, so writes wait in the queue and nothing
// leaves the machine.
class OfflineSyncAPI final : public VaelSyncAPI {
public:
    SyncResponse sync(std::optional<TimePoint>) override { throw SyncAPIError::offline(); }
    ItemBody fetchItem(const Uuid&) override { throw SyncAPIError::offline(); }
    PushResult putItem(const Uuid&, const ItemBody&, std::int64_t) override { throw SyncAPIError::offline(); }
    void createItem(const ItemBody&) override { throw SyncAPIError::offline(); }
    void deleteItem(const Uuid&) override { throw SyncAPIError::offline(); }
    void createCollection(const CollectionRecord&) override { throw SyncAPIError::offline(); }
    void patchCollection(const CollectionRecord&) override { throw SyncAPIError::offline(); }
    void deleteCollection(const Uuid&) override { throw SyncAPIError::offline(); }
};

}  // namespace vael::e2e

#pragma once

#include <cstdint>
#include <optional>

#include "api/Records.h"
#include "core/Bytes.h"
#include "core/Time.h"
#include "core/Uuid.h"

namespace vael {

// The server's group, item and sync calls. Every call blocks and throws APIError: notFound for an
// absent object, conflict with the server's revision for a stale write or an existing object.
class SyncClientAPI {
public:
    virtual ~SyncClientAPI() = default;

    virtual CollectionDTO createCollection(const Uuid& orgId, const std::optional<Uuid>& id,
                                           const std::optional<Uuid>& parentId, const Bytes& nameBlob,
                                           const std::optional<Bytes>& nameWrappedKey, const Bytes& wrappedKey) = 0;
    // Replaces the group's changeable attributes; an absent parent makes it a top-level group.
    virtual void patchCollection(const Uuid& id, const Bytes& nameBlob, const std::optional<Bytes>& nameWrappedKey,
                                 const std::optional<Uuid>& parentId, std::int64_t sort) = 0;
    virtual void deleteCollection(const Uuid& id) = 0;
    virtual ItemDTO fetchItem(const Uuid& id) = 0;
    virtual ItemDTO createItem(const Uuid& collectionId, const ItemWriteBody& body) = 0;
    // Stored only when the server's revision equals expectedRevision.
    virtual ItemDTO putItem(const Uuid& id, const ItemWriteBody& body, std::int64_t expectedRevision) = 0;
    virtual void deleteItem(const Uuid& id) = 0;
    // The changes recorded after `since`; everything when it is absent.
    virtual SyncResponseDTO sync(const std::optional<TimePoint>& since) = 0;
};

}  // namespace vael

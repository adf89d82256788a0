#pragma once

#include <memory>

#include "api/SyncClientAPI.h"
#include "store/VaelSyncAPI.h"

namespace vael {

// The sync engine's way to the server: each call is one call of the server client, with the values
// converted both ways. Absent objects on delete and existing groups on create count as success; every
// other failure leaves as a SyncAPIError (a negative network code is offline, an absent object notFound). No state besides the
// client, no retry or ordering of its own: the engine queues and retries. Copies share the client.
class SyncAPIAdapter final : public VaelSyncAPI {
public:
    explicit SyncAPIAdapter(std::shared_ptr<SyncClientAPI> client);

    const std::shared_ptr<SyncClientAPI>& client() const { return client_; }

    // A group whose blob is not valid Base64URL is left out of the answer and logged (applying it would
    // put empty names or keys over good local ones); the answer notes the oldest such group's time.
    SyncResponse sync(std::optional<TimePoint> since) override;
    // An item whose blob is not valid Base64URL is a transport error. An item the server holds no type
    // for comes with an empty type.
    ItemBody fetchItem(const Uuid& id) override;
    PushResult putItem(const Uuid& id, const ItemBody& body, std::int64_t expectedRevision) override;
    void createItem(const ItemBody& body) override;
    void deleteItem(const Uuid& id) override;
    void createCollection(const CollectionRecord& record) override;
    void patchCollection(const CollectionRecord& record) override;
    void deleteCollection(const Uuid& id) override;
    // The client keeps this many connections open between requests.
    std::size_t concurrentFetches() const override { return 32; }

private:
    std::shared_ptr<SyncClientAPI> client_;
};

}  // namespace vael

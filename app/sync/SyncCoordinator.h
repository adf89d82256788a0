#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "api/BootstrapAPI.h"
#include "core/Bytes.h"
#include "core/Uuid.h"
#include "store/SyncEngine.h"
#include "store/VaelStore.h"

namespace vael {

// Puts on the server what the sync engine never pushes: a vault's first project and group (with the
// group's existing items), and the local projects. Running either again is harmless: an object the
// server already has (APIError::conflict) is no failure. Every other failure ends the operation where
// it happened and reaches the caller as raised (client, store or engine error); steps already done
// stay done. One operation at a time holds the lock, which is released around every server and engine
// call, so another operation may run exactly there.
class SyncCoordinator {
public:
    SyncCoordinator(std::shared_ptr<BootstrapAPI> api, std::shared_ptr<SyncEngine> engine,
                    std::shared_ptr<VaelStore> store);
    SyncCoordinator(const SyncCoordinator&) = delete;
    SyncCoordinator& operator=(const SyncCoordinator&) = delete;

    const std::shared_ptr<BootstrapAPI>& api() const { return api_; }
    const std::shared_ptr<SyncEngine>& engine() const { return engine_; }
    const std::shared_ptr<VaelStore>& store() const { return store_; }

    // Creates the project, then the top-level group, then hands each live item of the group to the
    // engine's create, which stores it and queues what the server does not take.
    void bootstrap(const Uuid& orgID, const Uuid& collectionID, const Bytes& orgNameBlob,
                   const Bytes& collectionNameBlob, const Bytes& collectionWrappedKey);

    // Creates every live local project but the excluded one (none when absent), in the store's order.
    // Only the id, the sealed name and its wrapped key are sent.
    void pushMissingOrgs(const std::optional<Uuid>& excludingOrg);

private:
    using Lock = std::unique_lock<std::mutex>;

    const std::shared_ptr<BootstrapAPI> api_;
    const std::shared_ptr<SyncEngine> engine_;
    const std::shared_ptr<VaelStore> store_;
    std::mutex mutex_;
};

}  // namespace vael

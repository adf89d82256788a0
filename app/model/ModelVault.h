#pragma once

// The application model's blocking vault work: opening group keys, items and names, sealing, and the
// writes of items, groups and projects. Runs on a worker; plain C++ over the session's objects.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/model/DefaultGroupGate.h"
#include "core/Clock.h"
#include "crypto/ItemPayload.h"
#include "crypto/VaultCrypto.h"
#include "store/Records.h"
#include "store/SyncEngine.h"
#include "store/SyncTypes.h"
#include "store/VaelStore.h"

namespace vael {

class ModelVault {
public:
    struct Located {
        ItemRecord record;
        CollectionKey key;  // the open key of the item's group
    };

    // With a gate, each write waits out a key switch and fails when it switched after this was made.
    ModelVault(std::shared_ptr<VaelStore> store, std::shared_ptr<VaultCrypto> vault, CollectionKey defaultKey,
               std::shared_ptr<SyncEngine> engine, std::shared_ptr<const Clock> clock,
               std::shared_ptr<DefaultGroupGate> gate = nullptr);

    VaelStore& store() const { return *store_; }
    const std::shared_ptr<VaelStore>& sharedStore() const { return store_; }
    VaultCrypto& vault() const { return *vault_; }
    const CollectionKey& defaultKey() const { return defaultKey_; }
    TimePoint now() const { return clock_->now(); }
    // The default group key's generation this was made under.
    std::uint64_t keyEpoch() const { return keyEpoch_; }

    // Reads and opening: every failure answers nothing.
    std::optional<CollectionKey> collectionKey(const CollectionRecord& group) const;
    // A live item of a live group whose key opens.
    std::optional<Located> locateItem(const Uuid& id) const;
    std::optional<ItemPayload> loadPayload(const Located& item) const;
    std::optional<ItemPayload> loadPayload(const Uuid& id) const;
    std::optional<SealedBlob> encryptLabel(std::string_view name, const Uuid& id, const CollectionKey& key) const;
    // The opened name, else "local" for the default group or the first 8 characters of the id.
    std::string groupName(const CollectionRecord& group, const CollectionKey& key) const;
    // The group and every live group below it; the walk remembers where it was, so a cycle of parent
    // links ends it. Nothing when the groups cannot be read.
    std::optional<std::unordered_set<Uuid>> descendants(const Uuid& id) const;

    // Held from reading an item, group or project to writing it back, shared with the agents' writes of
    // the session.
    [[nodiscard]] RecordWriteLocks::Lock lockRecordForWrite(const Uuid& id) const {
        return store_->lockRecordForWrite(id);
    }

    // Writes: through the engine when there is one, else straight into the store. They throw. A hold on
    // the record, when given, is released once the local write is committed, before the server is asked.
    void writeNewItem(const ItemBody& body) const;
    // In one transaction: every one or none.
    void writeNewItems(const std::vector<ItemBody>& bodies) const;
    // Without an engine the stored revision goes up by one.
    void writeChangedItem(const ItemBody& body, SyncEngine::RecordHold* hold = nullptr) const;
    void tombstoneItem(const ItemRecord& row) const;  // takes the item's write lock itself
    void writeNewGroup(const CollectionRecord& record) const;
    void writeGroupChange(const CollectionRecord& record, SyncEngine::RecordHold* hold = nullptr) const;
    void tombstoneGroup(const Uuid& id) const;  // takes the group's write lock itself

private:
    DefaultGroupGate::Pass enterWrite() const;

    std::shared_ptr<VaelStore> store_;
    std::shared_ptr<VaultCrypto> vault_;
    CollectionKey defaultKey_;
    std::shared_ptr<SyncEngine> engine_;
    std::shared_ptr<const Clock> clock_;
    std::shared_ptr<DefaultGroupGate> gate_;
    std::uint64_t keyEpoch_ = 0;
};

}  // namespace vael

#include "app/model/ModelVault.h"

#include "app/agent/ops/ItemLayout.h"
#include "app/model/AppModel.h"

namespace vael {

ModelVault::ModelVault(std::shared_ptr<VaelStore> store, std::shared_ptr<VaultCrypto> vault, CollectionKey defaultKey,
                       std::shared_ptr<SyncEngine> engine, std::shared_ptr<const Clock> clock,
                       std::shared_ptr<DefaultGroupGate> gate)
    : store_(std::move(store)),
      vault_(std::move(vault)),
      defaultKey_(std::move(defaultKey)),
      engine_(std::move(engine)),
      clock_(std::move(clock)),
      gate_(std::move(gate)),
      keyEpoch_(gate_ ? gate_->epoch() : 0) {}

DefaultGroupGate::Pass ModelVault::enterWrite() const {
    if (!gate_) return {};
    return gate_->enter(keyEpoch_);
}

std::optional<CollectionKey> ModelVault::collectionKey(const CollectionRecord& group) const {
    if (group.id == AppModel::localCollectionID()) return defaultKey_;
    try {
        return vault_->unwrapCollectionKey(group.wrappedKey);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<ModelVault::Located> ModelVault::locateItem(const Uuid& id) const {
    try {
        auto row = store_->item(id);
        if (!row || row->deleted) return std::nullopt;
        auto group = store_->collection(row->collectionId);
        if (!group || group->deleted) return std::nullopt;
        auto key = collectionKey(*group);
        if (!key) return std::nullopt;
        return Located{std::move(*row), std::move(*key)};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<ItemPayload> ModelVault::loadPayload(const Located& item) const {
    try {
        return itemlayout::openPayload(*vault_, item.record, item.key);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<ItemPayload> ModelVault::loadPayload(const Uuid& id) const {
    auto located = locateItem(id);
    if (!located) return std::nullopt;
    return loadPayload(*located);
}

std::optional<SealedBlob> ModelVault::encryptLabel(std::string_view name, const Uuid& id,
                                                   const CollectionKey& key) const {
    try {
        return itemlayout::sealName(*vault_, name, id, key);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string ModelVault::groupName(const CollectionRecord& group, const CollectionKey& key) const {
    if (group.nameWrappedKey) {
        try {
            return itemlayout::openName(*vault_, group.nameBlob, group.id, *group.nameWrappedKey, key);
        } catch (const std::exception&) {
        }
    }
    if (group.id == AppModel::localCollectionID()) return "local";
    return group.id.text().substr(0, 8);
}

std::optional<std::unordered_set<Uuid>> ModelVault::descendants(const Uuid& id) const {
    std::vector<CollectionRecord> groups;
    try {
        groups = store_->collections();
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::unordered_set<Uuid> found{id};
    std::vector<Uuid> stack{id};
    while (!stack.empty()) {
        const auto parent = stack.back();
        stack.pop_back();
        for (const auto& group : groups) {
            if (group.parentId == parent && found.insert(group.id).second) stack.push_back(group.id);
        }
    }
    return found;
}

void ModelVault::writeNewItem(const ItemBody& body) const {
    auto pass = enterWrite();
    if (engine_) {
        engine_->create(body);
    } else {
        store_->upsertItem(body.toRecord(false));
    }
}

void ModelVault::writeNewItems(const std::vector<ItemBody>& bodies) const {
    auto pass = enterWrite();
    if (engine_) {
        engine_->createAll(bodies);
    } else {
        std::vector<ItemRecord> records;
        records.reserve(bodies.size());
        for (const auto& body : bodies) records.push_back(body.toRecord(false));
        store_->upsertGroupWithContents(std::nullopt, records, {});
    }
}

void ModelVault::writeChangedItem(const ItemBody& body, SyncEngine::RecordHold* hold) const {
    auto pass = enterWrite();
    if (engine_) {
        engine_->write(body, std::nullopt, hold);
    } else {
        auto record = body.toRecord(false);
        record.revision = body.revision + 1;
        store_->upsertItem(record);
    }
}

void ModelVault::tombstoneItem(const ItemRecord& row) const {
    // A writer that read the item before this deletion writes first, so it cannot put the item back.
    auto lock = lockRecordForWrite(row.id);
    auto pass = enterWrite();
    if (engine_) {
        engine_->deleteItem(row.id, &lock);
        return;
    }
    auto record = row;
    record.deleted = true;
    record.updatedAt = now();
    store_->upsertItem(record);
}

void ModelVault::writeNewGroup(const CollectionRecord& record) const {
    auto pass = enterWrite();
    if (engine_) {
        engine_->createCollection(record);
    } else {
        store_->upsertCollection(record);
    }
}

void ModelVault::writeGroupChange(const CollectionRecord& record, SyncEngine::RecordHold* hold) const {
    auto pass = enterWrite();
    if (engine_) {
        engine_->patchCollection(record, hold);
    } else {
        store_->upsertCollection(record);
    }
}

void ModelVault::tombstoneGroup(const Uuid& id) const {
    // A rename or move that read the group before this deletion writes first, so it cannot put it back.
    auto lock = lockRecordForWrite(id);
    auto pass = enterWrite();
    if (engine_) {
        engine_->deleteCollection(id, &lock);
        return;
    }
    auto record = store_->collection(id);
    if (!record) return;
    record->deleted = true;
    record->updatedAt = now();
    store_->upsertCollection(*record);
}

}  // namespace vael

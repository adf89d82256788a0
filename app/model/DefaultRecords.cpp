#include "app/model/DefaultRecords.h"

#include "app/model/AppModel.h"

namespace vael {

CollectionKey ensureDefaultCollection(VaelStore& store, VaultCrypto& vault, const Clock& clock) {
    for (const auto& record : store.collections(AppModel::localOrgID())) {
        if (record.id != AppModel::localCollectionID()) continue;
        auto key = vault.unwrapCollectionKey(record.wrappedKey);
        ensureDefaultProject(store, vault, key, clock);
        return key;
    }
    // A tombstone (from a sync, or a deletion elsewhere) still holds the key its items are sealed
    // under: the row comes back with it. Only a missing row gets a new key.
    if (auto tombstone = store.collection(AppModel::localCollectionID())) {
        auto key = vault.unwrapCollectionKey(tombstone->wrappedKey);
        tombstone->orgId = AppModel::localOrgID();
        tombstone->parentId.reset();
        tombstone->deleted = false;
        tombstone->updatedAt = clock.now();
        store.upsertCollection(*tombstone);
        ensureDefaultProject(store, vault, key, clock);
        return key;
    }
    auto key = vault.newCollectionKey();
    CollectionRecord record;
    record.id = AppModel::localCollectionID();
    record.orgId = AppModel::localOrgID();
    record.wrappedKey = vault.wrapCollectionKeyToSelf(key);
    // The name key is not kept: every reader shows this group as "local".
    record.nameBlob = vault.sealBlob(SecureBytes(kDefaultCollectionName), record.id, key).blob;
    record.sort = 0;
    record.updatedAt = clock.now();
    store.upsertCollection(record);
    ensureDefaultProject(store, vault, key, clock);
    return key;
}

void ensureDefaultProject(VaelStore& store, VaultCrypto& vault, const CollectionKey& collectionKey,
                          const Clock& clock) {
    if (store.project(AppModel::localOrgID())) return;
    auto sealed = vault.sealBlob(SecureBytes(kDefaultProjectName), AppModel::localOrgID(), collectionKey);
    ProjectRecord record;
    record.id = AppModel::localOrgID();
    record.nameBlob = std::move(sealed.blob);
    record.nameWrappedKey = std::move(sealed.wrappedKey);
    record.sort = 0;
    record.updatedAt = clock.now();
    store.upsertProject(record);
}

}  // namespace vael

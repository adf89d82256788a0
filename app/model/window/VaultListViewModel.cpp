#include "app/model/window/VaultListViewModel.h"

namespace vael {

VaultListViewModel::VaultListViewModel(std::shared_ptr<VaelStore> store, Uuid orgId, NameDecryptor decryptName,
                                       QObject* parent)
    : QObject(parent), store_(std::move(store)), orgId_(orgId), decryptName_(std::move(decryptName)) {}

void VaultListViewModel::loadCollections() {
    std::vector<CollectionRecord> records;
    try {
        records = store_->collections(orgId_);
    } catch (const std::exception&) {
        setError(kCollectionsUnreadable);
        return;
    }
    std::vector<CollectionRow> rows;
    rows.reserve(records.size());
    for (const auto& record : records) rows.push_back({record.id, decryptName_(record.nameBlob)});
    if (rows == collections_) return;
    collections_ = std::move(rows);
    emit collectionsChanged();
}

void VaultListViewModel::loadItems(const Uuid& collectionId) {
    std::vector<ItemRecord> records;
    try {
        records = store_->items(collectionId);
    } catch (const std::exception&) {
        setError(kItemsUnreadable);
        return;
    }
    std::vector<ItemRow> rows;
    rows.reserve(records.size());
    for (const auto& record : records) {
        rows.push_back({record.id, decryptName_(record.nameBlob), record.type, record.aiAccess});
    }
    if (rows == items_) return;
    items_ = std::move(rows);
    emit itemsChanged();
}

void VaultListViewModel::setError(std::string_view message) {
    if (errorMessage_ == message) return;
    errorMessage_ = std::string(message);
    emit errorMessageChanged();
}

}  // namespace vael

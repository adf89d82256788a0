#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "core/Uuid.h"
#include "store/VaelStore.h"

namespace vael {

// Lists one project's groups and one group's items straight from the local replica, decrypting only
// their names with the function its creator hands in. Reads offline; signals only on change.
class VaultListViewModel final : public QObject {
    Q_OBJECT

public:
    using NameDecryptor = std::function<std::string(const Bytes& nameBlob)>;

    struct CollectionRow {
        Uuid id;
        std::string name;
        bool operator==(const CollectionRow&) const = default;
    };
    struct ItemRow {
        Uuid id;
        std::string name;
        std::string type;
        std::string aiAccess;
        bool operator==(const ItemRow&) const = default;
    };

    static constexpr std::string_view kCollectionsUnreadable = "Could not read collections offline.";
    static constexpr std::string_view kItemsUnreadable = "Could not read items offline.";

    VaultListViewModel(std::shared_ptr<VaelStore> store, Uuid orgId, NameDecryptor decryptName,
                       QObject* parent = nullptr);

    const Uuid& orgId() const { return orgId_; }
    const std::vector<CollectionRow>& collections() const { return collections_; }
    const std::vector<ItemRow>& items() const { return items_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }

    // A failed read sets the error and keeps the previous list; a successful one leaves an earlier
    // error in place.
    void loadCollections();
    void loadItems(const Uuid& collectionId);

signals:
    void collectionsChanged();
    void itemsChanged();
    void errorMessageChanged();

private:
    void setError(std::string_view message);

    std::shared_ptr<VaelStore> store_;
    Uuid orgId_;
    NameDecryptor decryptName_;
    std::vector<CollectionRow> collections_;
    std::vector<ItemRow> items_;
    std::optional<std::string> errorMessage_;
};

}  // namespace vael

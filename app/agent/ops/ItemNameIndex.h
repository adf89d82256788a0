#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "crypto/VaultCrypto.h"
#include "store/Records.h"

namespace vael {

// The opened names of the live items of each group, found by their canonical (NFC) form. A group's
// names are opened on its first lookup; after that the index follows the store one written row at a
// time, so a write costs the opening of one name, not of the whole group. Safe to share between
// threads.
class ItemNameIndex {
public:
    struct Entry {
        ItemRecord record;
        std::string name;  // as opened
    };
    using Entries = std::vector<std::shared_ptr<const Entry>>;

    // The item's name under its group's key; nothing when it does not open. May throw what a locked
    // vault throws, which ends the lookup.
    using OpenName = std::function<std::optional<std::string>(const ItemRecord&, const CollectionKey&)>;
    // The group's live items in store order; throws when they cannot be read.
    using ReadGroup = std::function<std::vector<ItemRecord>(const Uuid&)>;
    // The key of a live group whose key opens, and its wrapped form.
    struct GroupKey {
        CollectionKey key;
        Bytes wrappedKey;
    };
    using FindGroup = std::function<std::optional<GroupKey>(const Uuid&)>;

    ItemNameIndex(OpenName openName, ReadGroup readGroup);

    // The group's items whose canonical name is `canonicalName`, in store order (sealed name bytes).
    Entries find(const Uuid& group, const GroupKey& key, const std::string& canonicalName);

    // Brings the groups already opened up to date with rows written since (tombstones included).
    void apply(const std::vector<ItemRecord>& written, const FindGroup& findGroup);
    // Drops the groups that are gone or whose key changed.
    void keepGroups(const FindGroup& findGroup);
    // What changed is unknown: every group is read again on its next lookup, opening only the names
    // of rows that differ from what was opened before.
    void forgetRows();

private:
    struct Group {
        Bytes wrappedKey;  // the names were opened under the key this unwraps to
        std::unordered_map<std::string, Entries> byName;
        std::unordered_map<Uuid, std::shared_ptr<const Entry>> byId;

        void insert(std::shared_ptr<const Entry> entry);
        void erase(const Uuid& id);
    };

    Group build(const Uuid& id, const GroupKey& key, const Group* previous);
    std::shared_ptr<const Entry> opened(const ItemRecord& record, const CollectionKey& key) const;

    OpenName openName_;
    ReadGroup readGroup_;
    std::shared_mutex mutex_;
    std::unordered_map<Uuid, Group> groups_;
    std::unordered_map<Uuid, Group> previous_;  // after forgetRows: names to reuse for unchanged rows
};

}  // namespace vael

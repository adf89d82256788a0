#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "crypto/ItemPayload.h"
#include "crypto/VaultCrypto.h"
#include "store/Records.h"
#include "store/VaelStore.h"

namespace vael {

// Finds live items by the canonical (NFC) form of their opened name. A name is looked up through the
// replica's name tags: only the group's rows tagged with that name, and rows not tagged yet, are
// opened; the untagged ones are tagged on the way, so a row is opened for its name about once, not on
// every search. Answers are kept per name with the payloads they opened (wiped when dropped, and with
// the index at lock), and follow the store one written row at a time. Safe to share between threads.
class ItemNameIndex {
public:
    struct Entry {
        ItemRecord record;
        ItemPayload payload;  // as opened from the record
    };
    using Entries = std::vector<std::shared_ptr<const Entry>>;

    // The item's payload under its group's key; nothing when it does not open. May throw what a
    // locked vault throws, which ends the lookup.
    using OpenPayload = std::function<std::optional<ItemPayload>(const ItemRecord&, const CollectionKey&)>;
    // The key of a live group whose key opens, and its wrapped form.
    struct GroupKey {
        CollectionKey key;
        Bytes wrappedKey;
    };
    using FindGroup = std::function<std::optional<GroupKey>(const Uuid&)>;
    // What a failed store read gives: no items, or the read's error.
    enum class OnReadFailure { empty, raise };

    ItemNameIndex(std::shared_ptr<VaelStore> store, std::shared_ptr<VaultCrypto> vault, OpenPayload openPayload);

    // The group's live items whose canonical name is `canonicalName`, in store order (sealed name bytes).
    Entries find(const Uuid& group, const GroupKey& key, const std::string& canonicalName, OnReadFailure policy);

    // The tag a row named `name` is stored with in a group of this key.
    Bytes tagFor(const CollectionKey& key, const std::string& name) const;

    // Brings the kept answers up to date with rows written since (tombstones included).
    void apply(const std::vector<ItemRecord>& written, const FindGroup& findGroup);
    // Drops the answers of groups that are gone or whose key changed.
    void keepGroups(const FindGroup& findGroup);
    // What changed is unknown: every answer is looked up again.
    void forget();

private:
    struct Group {
        Bytes wrappedKey;  // the names were opened under the key this unwraps to
        std::unordered_map<std::string, Entries> byName;  // whole answers, empty ones included
        std::unordered_map<Uuid, std::string> nameOf;     // the canonical name each kept entry is under
    };

    Entries lookUp(const Uuid& group, const GroupKey& key, const std::string& canonicalName) const;
    static void insert(Group& group, const std::string& canonicalName, std::shared_ptr<const Entry> entry);
    static void erase(Group& group, const Uuid& id);

    std::shared_ptr<VaelStore> store_;
    std::shared_ptr<VaultCrypto> vault_;
    OpenPayload openPayload_;
    std::shared_mutex mutex_;
    std::unordered_map<Uuid, Group> groups_;
    std::uint64_t generation_ = 0;  // moves with every change of the kept answers' sources
};

}  // namespace vael

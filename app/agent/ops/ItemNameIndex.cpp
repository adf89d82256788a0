#include "app/agent/ops/ItemNameIndex.h"

#include <algorithm>
#include <exception>
#include <mutex>

#include "app/agent/ops/AgentText.h"

namespace vael {

namespace {

// Names asked for are kept, found or not; a group past this many starts again, so that agents asking
// for ever new names cannot grow the index without bound.
constexpr std::size_t kKeptNamesPerGroup = 65536;

bool inStoreOrder(const std::shared_ptr<const ItemNameIndex::Entry>& a,
                  const std::shared_ptr<const ItemNameIndex::Entry>& b) {
    return a->record.nameBlob < b->record.nameBlob;
}

}  // namespace

ItemNameIndex::ItemNameIndex(std::shared_ptr<VaelStore> store, std::shared_ptr<VaultCrypto> vault,
                             OpenPayload openPayload)
    : store_(std::move(store)), vault_(std::move(vault)), openPayload_(std::move(openPayload)) {}

Bytes ItemNameIndex::tagFor(const CollectionKey& key, const std::string& name) const {
    return vault_->nameTag(key, canonicalForm(name));
}

void ItemNameIndex::insert(Group& group, const std::string& canonicalName, std::shared_ptr<const Entry> entry) {
    auto& entries = group.byName[canonicalName];
    const auto at = std::upper_bound(entries.begin(), entries.end(), entry, inStoreOrder);
    group.nameOf[entry->record.id] = canonicalName;
    entries.insert(at, std::move(entry));
}

void ItemNameIndex::erase(Group& group, const Uuid& id) {
    const auto found = group.nameOf.find(id);
    if (found == group.nameOf.end()) return;
    const auto named = group.byName.find(found->second);
    if (named != group.byName.end()) {
        std::erase_if(named->second, [&](const auto& entry) { return entry->record.id == id; });
    }
    group.nameOf.erase(found);
}

// Reads the rows tagged with the name and the untagged ones, opens them, and tags the untagged.
ItemNameIndex::Entries ItemNameIndex::lookUp(const Uuid& group, const GroupKey& key,
                                             const std::string& canonicalName) const {
    const auto tag = vault_->nameTag(key.key, canonicalName);
    Entries entries;
    std::vector<NameTag> learned;
    for (auto& [row, tagged] : store_->itemsTaggedOrUntagged(group, tag)) {
        auto payload = openPayload_(row, key.key);
        if (!payload) continue;
        auto canonical = canonicalForm(payload->name);
        if (!tagged) {
            learned.push_back(NameTag{row.id, row.collectionId, row.nameBlob, row.wrappedItemKey,
                                      canonical == canonicalName ? tag : vault_->nameTag(key.key, canonical)});
        }
        if (canonical == canonicalName) {
            entries.push_back(std::make_shared<const Entry>(Entry{std::move(row), std::move(*payload)}));
        }
    }
    try {
        store_->tagNames(learned);
    } catch (const std::exception&) {
        // Untagged rows are only slower to find; they are tagged on a later search.
    }
    return entries;
}

ItemNameIndex::Entries ItemNameIndex::find(const Uuid& group, const GroupKey& key, const std::string& canonicalName,
                                           OnReadFailure policy) {
    std::uint64_t generation = 0;
    {
        std::shared_lock lock(mutex_);
        const auto found = groups_.find(group);
        if (found != groups_.end() && found->second.wrappedKey == key.wrappedKey) {
            const auto named = found->second.byName.find(canonicalName);
            if (named != found->second.byName.end()) return named->second;
        }
        generation = generation_;
    }
    Entries entries;
    try {
        entries = lookUp(group, key, canonicalName);
    } catch (const VaelCryptoError&) {
        throw;
    } catch (const std::exception&) {
        if (policy == OnReadFailure::raise) throw;
        return {};  // unreadable now: nothing found, nothing kept
    }
    std::lock_guard lock(mutex_);
    // Kept only when no write was applied meanwhile: such a write may be missing from what was read.
    if (generation == generation_) {
        auto& kept = groups_[group];
        if (kept.wrappedKey != key.wrappedKey || kept.byName.size() >= kKeptNamesPerGroup) {
            kept = Group{key.wrappedKey, {}, {}};
        }
        kept.byName[canonicalName];
        for (const auto& entry : entries) {
            erase(kept, entry->record.id);  // a row is kept under one name only
            insert(kept, canonicalName, entry);
        }
    }
    return entries;
}

void ItemNameIndex::apply(const std::vector<ItemRecord>& written, const FindGroup& findGroup) {
    std::lock_guard lock(mutex_);
    ++generation_;
    for (const auto& row : written) {
        // An item may have moved: it leaves whichever group holds it.
        for (auto& [id, group] : groups_) erase(group, row.id);
        if (row.deleted) continue;
        const auto group = groups_.find(row.collectionId);
        if (group == groups_.end()) continue;  // looked up in the store on its first search
        const auto key = findGroup(row.collectionId);
        if (!key || key->wrappedKey != group->second.wrappedKey) {
            groups_.erase(group);
            continue;
        }
        auto payload = openPayload_(row, key->key);
        if (!payload) continue;
        auto canonical = canonicalForm(payload->name);
        // Only an answer already kept takes the row; any other name is read from the store when asked.
        if (group->second.byName.count(canonical) == 0) continue;
        insert(group->second, canonical, std::make_shared<const Entry>(Entry{row, std::move(*payload)}));
    }
}

void ItemNameIndex::keepGroups(const FindGroup& findGroup) {
    std::lock_guard lock(mutex_);
    ++generation_;
    std::erase_if(groups_, [&](const auto& group) {
        const auto key = findGroup(group.first);
        return !key || key->wrappedKey != group.second.wrappedKey;
    });
}

void ItemNameIndex::forget() {
    std::lock_guard lock(mutex_);
    ++generation_;
    groups_.clear();
}

}  // namespace vael

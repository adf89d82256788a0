#include "app/agent/ops/ItemNameIndex.h"

#include <algorithm>
#include <exception>

#include "app/agent/ops/AgentText.h"

namespace vael {

ItemNameIndex::ItemNameIndex(OpenName openName, ReadGroup readGroup)
    : openName_(std::move(openName)), readGroup_(std::move(readGroup)) {}

void ItemNameIndex::Group::insert(std::shared_ptr<const Entry> entry) {
    // Store order: the sealed name's bytes, later rows after equal ones.
    auto& entries = byName[canonicalForm(entry->name)];
    const auto at = std::upper_bound(entries.begin(), entries.end(), entry, [](const auto& a, const auto& b) {
        return a->record.nameBlob < b->record.nameBlob;
    });
    byId[entry->record.id] = entry;
    entries.insert(at, std::move(entry));
}

void ItemNameIndex::Group::erase(const Uuid& id) {
    const auto found = byId.find(id);
    if (found == byId.end()) return;
    const auto named = byName.find(canonicalForm(found->second->name));
    if (named != byName.end()) {
        std::erase(named->second, found->second);
        if (named->second.empty()) byName.erase(named);
    }
    byId.erase(found);
}

std::shared_ptr<const ItemNameIndex::Entry> ItemNameIndex::opened(const ItemRecord& record,
                                                                  const CollectionKey& key) const {
    auto name = openName_(record, key);
    if (!name) return nullptr;
    return std::make_shared<const Entry>(Entry{record, std::move(*name)});
}

ItemNameIndex::Group ItemNameIndex::build(const Uuid& id, const GroupKey& key, const Group* previous) {
    Group group;
    group.wrappedKey = key.wrappedKey;
    const bool reuse = previous && previous->wrappedKey == key.wrappedKey;
    for (auto& row : readGroup_(id)) {
        if (row.deleted) continue;
        std::shared_ptr<const Entry> entry;
        if (reuse) {
            // A name opened before from exactly these bytes under exactly this key.
            const auto known = previous->byId.find(row.id);
            if (known != previous->byId.end() && known->second->record == row) entry = known->second;
        }
        if (!entry) entry = opened(row, key.key);
        if (entry) group.insert(std::move(entry));
    }
    return group;
}

ItemNameIndex::Entries ItemNameIndex::find(const Uuid& group, const GroupKey& key, const std::string& canonicalName) {
    {
        // Lookups of groups already opened share the index.
        std::shared_lock lock(mutex_);
        const auto found = groups_.find(group);
        if (found != groups_.end() && found->second.wrappedKey == key.wrappedKey) {
            const auto named = found->second.byName.find(canonicalName);
            return named == found->second.byName.end() ? Entries{} : named->second;
        }
    }
    std::lock_guard lock(mutex_);
    auto found = groups_.find(group);
    if (found == groups_.end() || found->second.wrappedKey != key.wrappedKey) {
        const auto stale = previous_.find(group);
        Group built;
        try {
            built = build(group, key, stale == previous_.end() ? nullptr : &stale->second);
        } catch (const VaelCryptoError&) {
            throw;
        } catch (const std::exception&) {
            return {};  // unreadable now: nothing found, nothing kept
        }
        if (stale != previous_.end()) previous_.erase(stale);
        found = groups_.insert_or_assign(group, std::move(built)).first;
    }
    const auto named = found->second.byName.find(canonicalName);
    return named == found->second.byName.end() ? Entries{} : named->second;
}

void ItemNameIndex::apply(const std::vector<ItemRecord>& written, const FindGroup& findGroup) {
    std::lock_guard lock(mutex_);
    for (const auto& row : written) {
        // An item may have moved: it leaves whichever group holds it.
        for (auto& [id, group] : groups_) group.erase(row.id);
        if (row.deleted) continue;
        const auto group = groups_.find(row.collectionId);
        if (group == groups_.end()) continue;  // opened on its first lookup
        const auto key = findGroup(row.collectionId);
        if (!key || key->wrappedKey != group->second.wrappedKey) {
            groups_.erase(group);
            continue;
        }
        if (auto entry = opened(row, key->key)) group->second.insert(std::move(entry));
    }
}

void ItemNameIndex::keepGroups(const FindGroup& findGroup) {
    std::lock_guard lock(mutex_);
    std::erase_if(groups_, [&](const auto& group) {
        const auto key = findGroup(group.first);
        return !key || key->wrappedKey != group.second.wrappedKey;
    });
}

void ItemNameIndex::forgetRows() {
    std::lock_guard lock(mutex_);
    previous_ = std::move(groups_);
    groups_.clear();
}

}  // namespace vael

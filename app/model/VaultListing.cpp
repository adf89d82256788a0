#include "app/model/VaultListing.h"

#include <algorithm>

namespace vael {

namespace {

VaultListing::SearchKeys keysOf(const AppModel::ItemRow& row) {
    return {LocalizedSearch::key(row.name), LocalizedSearch::key(row.fieldLabel)};
}

}  // namespace

const std::vector<VaultListing::SearchKeys>& VaultListing::searchKeys() const {
    if (!keyed_) {
        keys_.clear();
        keys_.reserve(rows_.size());
        for (const auto& row : rows_) keys_.push_back(keysOf(row));
        keyed_ = true;
    }
    return keys_;
}

std::vector<VaultListing::ItemRow>::const_iterator VaultListing::find(const Uuid& id) const {
    const auto shown = rowNameOf_.find(id);
    if (shown == rowNameOf_.end()) return rows_.end();
    ItemRow key;
    key.id = id;
    key.name = shown->second;
    return std::lower_bound(rows_.begin(), rows_.end(), key,
                            [this](const auto& a, const auto& b) { return order_.before(a.name, a.id, b.name, b.id); });
}

const VaultListing::ItemRow* VaultListing::row(const Uuid& id) const {
    const auto found = find(id);
    return found == rows_.end() ? nullptr : &*found;
}

bool VaultListing::accepts(const AppModel::ListingRead& read) const {
    return read.whole || (basis_ && read.from == basis_->mark);
}

int VaultListing::tierCount(const std::string& tier) const {
    const auto found = tierCounts_.find(tier);
    return found == tierCounts_.end() ? 0 : found->second;
}

int VaultListing::groupRowCount(const Uuid& group) const {
    const auto found = groupCounts_.find(group);
    return found == groupCounts_.end() ? 0 : found->second;
}

void VaultListing::count(const ItemRow& row, int by) {
    if ((tierCounts_[row.aiAccess] += by) == 0) tierCounts_.erase(row.aiAccess);
    if ((groupCounts_[row.groupID] += by) == 0) groupCounts_.erase(row.groupID);
}

bool VaultListing::apply(AppModel::ListingRead read) {
    rowsTouched_.clear();
    itemsWritten_.clear();
    lastWasWhole_ = read.whole;
    if (read.whole) return applyWhole(std::move(read));
    basis_ = std::move(read.basis);
    bool changed = false;
    Moves moves;
    for (auto& entry : read.entries) {
        itemsWritten_.push_back(entry.id);
        changed = applyEntry(std::move(entry), moves) || changed;
    }
    move(std::move(moves));
    return changed;
}

bool VaultListing::applyWhole(AppModel::ListingRead read) {
    std::vector<ItemRow> rows;
    std::vector<CodeRow> codes;
    rows.reserve(read.entries.size());
    for (auto& entry : read.entries) {
        if (entry.code) codes.push_back(std::move(*entry.code));
        if (entry.row) rows.push_back(std::move(*entry.row));
    }
    // A whole read comes in this order already: a code's item is listed under the same name.
    const bool changed = rows != rows_ || codes != codes_ || read.tree != tree_;
    rows_ = std::move(rows);
    keys_.clear();
    keyed_ = false;
    rowNameOf_.clear();
    rowNameOf_.reserve(rows_.size());
    tierCounts_.clear();
    groupCounts_.clear();
    for (const auto& row : rows_) {
        rowNameOf_.emplace(row.id, row.name);
        count(row, 1);
    }
    codes_ = std::move(codes);
    tree_ = std::move(read.tree);
    basis_ = std::move(read.basis);
    return changed;
}

bool VaultListing::applyEntry(AppModel::ListingEntry entry, Moves& moves) {
    const auto before = [this](const auto& a, const auto& b) { return order_.before(a.name, a.id, b.name, b.id); };
    bool changed = false;
    // The row: where it was goes, where it goes is noted; move() shifts the rows once for all.
    const auto oldRow = find(entry.id);
    const bool rowStays = oldRow != rows_.end() && entry.row && *oldRow == *entry.row;
    if (!rowStays) {
        if (oldRow != rows_.end()) {
            count(*oldRow, -1);
            rowNameOf_.erase(entry.id);
            moves.leaving.push_back(static_cast<std::size_t>(oldRow - rows_.begin()));
            changed = true;
        }
        if (entry.row) {
            count(*entry.row, 1);
            moves.arriving.push_back(std::move(*entry.row));
            changed = true;
        }
        if (changed) rowsTouched_.push_back(entry.id);
    }
    // The code likewise.
    const auto oldCode = std::find_if(codes_.begin(), codes_.end(), [&](const CodeRow& code) { return code.id == entry.id; });
    const bool codeStays = oldCode != codes_.end() && entry.code && *oldCode == *entry.code;
    if (!codeStays) {
        if (oldCode != codes_.end()) {
            codes_.erase(oldCode);
            changed = true;
        }
        if (entry.code) {
            const auto at = std::upper_bound(codes_.begin(), codes_.end(), *entry.code, before);
            codes_.insert(at, std::move(*entry.code));
            changed = true;
        }
    }
    return changed;
}

// Every leaving row out and every arriving row in, in one pass over the rows (and their search keys):
// a burst of writes costs one move of the listing, not one per item.
void VaultListing::move(Moves moves) {
    if (moves.leaving.empty() && moves.arriving.empty()) return;
    std::sort(moves.leaving.begin(), moves.leaving.end());
    order_.sort(moves.arriving);
    const auto before = [this](const auto& a, const auto& b) { return order_.before(a.name, a.id, b.name, b.id); };
    // A few rows (one add, one edit) are shifted in place: a new listing would be allocated and
    // written whole, the bulk of an add's time at ten thousand items.
    if (moves.leaving.size() + moves.arriving.size() <= kMovedInPlace) {
        for (auto at = moves.leaving.rbegin(); at != moves.leaving.rend(); ++at) {
            const auto offset = static_cast<std::ptrdiff_t>(*at);
            rows_.erase(rows_.begin() + offset);
            if (keyed_) keys_.erase(keys_.begin() + offset);
        }
        for (auto& row : moves.arriving) {
            const auto offset = std::upper_bound(rows_.begin(), rows_.end(), row, before) - rows_.begin();
            if (keyed_) keys_.insert(keys_.begin() + offset, keysOf(row));
            rowNameOf_.insert_or_assign(row.id, row.name);
            rows_.insert(rows_.begin() + offset, std::move(row));
        }
        return;
    }
    // Where each arriving row goes among the rows that stay, found before any of them moves.
    std::vector<std::size_t> places;
    places.reserve(moves.arriving.size());
    for (const auto& row : moves.arriving)
        places.push_back(static_cast<std::size_t>(std::upper_bound(rows_.begin(), rows_.end(), row, before) - rows_.begin()));
    std::vector<ItemRow> rows;
    std::vector<SearchKeys> keys;
    rows.reserve(rows_.size() - moves.leaving.size() + moves.arriving.size());
    if (keyed_) keys.reserve(rows.capacity());
    auto leaving = moves.leaving.begin();
    std::size_t next = 0;
    const auto arriveUpTo = [&](std::size_t place) {
        for (; next < moves.arriving.size() && places[next] <= place; ++next) {
            if (keyed_) keys.push_back(keysOf(moves.arriving[next]));
            rowNameOf_.insert_or_assign(moves.arriving[next].id, moves.arriving[next].name);
            rows.push_back(std::move(moves.arriving[next]));
        }
    };
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        arriveUpTo(i);
        if (leaving != moves.leaving.end() && *leaving == i) {
            ++leaving;
            continue;
        }
        if (keyed_) keys.push_back(std::move(keys_[i]));
        rows.push_back(std::move(rows_[i]));
    }
    arriveUpTo(rows_.size());
    rows_ = std::move(rows);
    if (keyed_) keys_ = std::move(keys);
}

}  // namespace vael

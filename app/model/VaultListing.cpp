#include "app/model/VaultListing.h"

#include <algorithm>
#include <numeric>

#include "app/model/CodeOrder.h"

namespace vael {

VaultListing::VaultListing() : collator_(codeCollator()) {}

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

bool VaultListing::codeBefore(const CodePlace& a, const CodePlace& b) const {
    // A stable sort by name of the codes in listing order.
    const int byName = collator_.compare(a.name, b.name);
    return byName != 0 ? byName < 0 : a.place < b.place;
}

bool VaultListing::apply(AppModel::ListingRead read) {
    if (read.whole) return applyWhole(std::move(read));
    basis_ = std::move(read.basis);
    bool changed = false;
    for (auto& entry : read.entries) changed = applyEntry(std::move(entry)) || changed;
    return changed;
}

bool VaultListing::applyWhole(AppModel::ListingRead read) {
    std::vector<ItemRow> rows;
    std::vector<AppModel::ListingPlace> rowPlaces;
    std::vector<CodeRow> codes;
    std::vector<CodePlace> codePlaces;
    for (auto& entry : read.entries) {
        if (entry.code) {
            codePlaces.push_back({QString::fromStdString(entry.code->name), entry.place});
            codes.push_back(std::move(*entry.code));
        }
        if (entry.row) {
            rows.push_back(std::move(*entry.row));
            rowPlaces.push_back(std::move(entry.place));
        }
    }
    std::vector<std::size_t> order(codes.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return codeBefore(codePlaces[a], codePlaces[b]); });
    std::vector<CodeRow> sortedCodes;
    std::vector<CodePlace> sortedPlaces;
    sortedCodes.reserve(order.size());
    sortedPlaces.reserve(order.size());
    for (const auto i : order) {
        sortedCodes.push_back(std::move(codes[i]));
        sortedPlaces.push_back(std::move(codePlaces[i]));
    }
    const bool changed = rows != rows_ || sortedCodes != codes_ || read.tree != tree_;
    rows_ = std::move(rows);
    rowPlaces_ = std::move(rowPlaces);
    rowPlaceOf_.clear();
    tierCounts_.clear();
    groupCounts_.clear();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rowPlaceOf_.emplace(rows_[i].id, rowPlaces_[i]);
        count(rows_[i], 1);
    }
    codes_ = std::move(sortedCodes);
    codePlaces_ = std::move(sortedPlaces);
    tree_ = std::move(read.tree);
    basis_ = std::move(read.basis);
    return changed;
}

bool VaultListing::applyEntry(AppModel::ListingEntry entry) {
    bool changed = false;
    // The row: where it was, where it goes.
    auto oldRow = rows_.end();
    if (const auto placed = rowPlaceOf_.find(entry.id); placed != rowPlaceOf_.end()) {
        const auto at = std::lower_bound(rowPlaces_.begin(), rowPlaces_.end(), placed->second);
        oldRow = rows_.begin() + (at - rowPlaces_.begin());
    }
    const bool rowStays = oldRow != rows_.end() && entry.row && *oldRow == *entry.row &&
                          rowPlaceOf_.at(entry.id) == entry.place;
    if (!rowStays) {
        if (oldRow != rows_.end()) {
            count(*oldRow, -1);
            rowPlaceOf_.erase(entry.id);
            rowPlaces_.erase(rowPlaces_.begin() + (oldRow - rows_.begin()));
            rows_.erase(oldRow);
            changed = true;
        }
        if (entry.row) {
            const auto at = std::upper_bound(rowPlaces_.begin(), rowPlaces_.end(), entry.place) - rowPlaces_.begin();
            count(*entry.row, 1);
            rowPlaceOf_.emplace(entry.id, entry.place);
            rows_.insert(rows_.begin() + at, std::move(*entry.row));
            rowPlaces_.insert(rowPlaces_.begin() + at, entry.place);
            changed = true;
        }
    }
    // The code likewise.
    const auto oldCode = std::find_if(codes_.begin(), codes_.end(), [&](const CodeRow& code) { return code.id == entry.id; });
    const bool codeStays = oldCode != codes_.end() && entry.code && *oldCode == *entry.code &&
                           codePlaces_[static_cast<std::size_t>(oldCode - codes_.begin())].place == entry.place;
    if (!codeStays) {
        if (oldCode != codes_.end()) {
            codePlaces_.erase(codePlaces_.begin() + (oldCode - codes_.begin()));
            codes_.erase(oldCode);
            changed = true;
        }
        if (entry.code) {
            CodePlace place{QString::fromStdString(entry.code->name), std::move(entry.place)};
            const auto at = std::upper_bound(codePlaces_.begin(), codePlaces_.end(), place,
                                             [&](const CodePlace& a, const CodePlace& b) { return codeBefore(a, b); }) -
                            codePlaces_.begin();
            codes_.insert(codes_.begin() + at, std::move(*entry.code));
            codePlaces_.insert(codePlaces_.begin() + at, std::move(place));
            changed = true;
        }
    }
    return changed;
}

}  // namespace vael

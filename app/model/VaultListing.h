#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/items/LocalizedSearch.h"
#include "app/model/AppModel.h"
#include "app/model/DisplayOrder.h"

namespace vael {

// The vault's rows, codes and tree as a full listing gives them, rows and codes in the order they are
// shown (DisplayOrder), kept up to date one written item at a time from the reads
// AppModel::readListing answers (the window's and the tray's). Main thread.
class VaultListing {
public:
    using ItemRow = AppModel::ItemRow;
    using CodeRow = AppModel::CodeRow;
    using ProjectNode = AppModel::ProjectNode;

    // What a search looks through for each row: its name's and field label's search keys.
    struct SearchKeys {
        LocalizedSearch::Key name, fieldLabel;
    };

    const std::vector<ItemRow>& rows() const { return rows_; }
    // Beside rows(), one for each; made at the first search and kept in step from then on.
    const std::vector<SearchKeys>& searchKeys() const;
    // The listed row of an item, if any.
    const ItemRow* row(const Uuid& id) const;
    const std::vector<CodeRow>& codes() const { return codes_; }
    const std::vector<ProjectNode>& tree() const { return tree_; }
    // Rows with this tier text; rows directly in this group.
    int tierCount(const std::string& tier) const;
    int groupRowCount(const Uuid& group) const;
    // Where the next read continues from; none before the first whole read.
    const std::optional<AppModel::ListingBasis>& basis() const { return basis_; }

    // A part read continues only the read that left this listing where it is.
    bool accepts(const AppModel::ListingRead& read) const;
    // The next read is whole.
    void forget() { basis_.reset(); }
    // Takes in an accepted read; answers whether rows, codes or tree changed.
    bool apply(AppModel::ListingRead read);
    // What the last apply did to the rows: a whole read may have changed any of them; a part read
    // took out, put in or changed the rows of these items only.
    bool lastWasWhole() const { return lastWasWhole_; }
    const std::vector<Uuid>& rowsTouched() const { return rowsTouched_; }
    // Every item a part read brought, its row changed or not.
    const std::vector<Uuid>& itemsWritten() const { return itemsWritten_; }

private:
    bool applyWhole(AppModel::ListingRead read);
    // The rows a part read takes out (their places) and puts in, moved together once it is read.
    struct Moves {
        std::vector<std::size_t> leaving;
        std::vector<ItemRow> arriving;
    };
    bool applyEntry(AppModel::ListingEntry entry, Moves& moves);
    void move(Moves moves);
    static constexpr std::size_t kMovedInPlace = 8;  // rows moved at most, leaving and arriving, shifted in place
    void count(const ItemRow& row, int by);
    std::vector<ItemRow>::const_iterator find(const Uuid& id) const;

    DisplayOrder order_;
    std::vector<ItemRow> rows_;
    mutable std::vector<SearchKeys> keys_;  // empty until asked for
    mutable bool keyed_ = false;
    bool lastWasWhole_ = true;
    std::vector<Uuid> rowsTouched_;
    std::vector<Uuid> itemsWritten_;
    std::unordered_map<Uuid, std::string> rowNameOf_;  // where each listed row stands
    std::unordered_map<std::string, int> tierCounts_;
    std::unordered_map<Uuid, int> groupCounts_;
    std::vector<CodeRow> codes_;
    std::vector<ProjectNode> tree_;
    std::optional<AppModel::ListingBasis> basis_;
};

}  // namespace vael

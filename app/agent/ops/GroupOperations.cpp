// Listing, creating, reading, renaming and deleting groups, and the deletion cascades that projects
// share.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "app/agent/PromptText.h"
#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemSourceSupport.h"

namespace vael {

using namespace itemsource;
using Case = VaultUDSManagementError::Case;
using CollectionContext = StoreVaultItemSource::CollectionContext;

namespace {

std::optional<std::string> parentName(const CollectionContext& context, const std::vector<CollectionContext>& all) {
    if (!context.parentId) return std::nullopt;
    for (const auto& candidate : all) {
        if (candidate.record.id == *context.parentId) return candidate.name;
    }
    return std::nullopt;
}

VaultUDSGroup answer(const CollectionContext& context, const std::vector<CollectionContext>& all) {
    return VaultUDSGroup{context.record.id.text(), context.name, context.project, parentName(context, all)};
}

}  // namespace

VaultUDSGroupList StoreVaultItemSource::listGroups() {
    requireUnlocked();
    const auto view = snapshot(OnReadFailure::empty);
    VaultUDSGroupList list;
    for (const auto& context : view->collections) list.groups.push_back(answer(context, view->collections));
    std::stable_sort(list.groups.begin(), list.groups.end(),
                     [](const VaultUDSGroup& a, const VaultUDSGroup& b) { return canonicallyLess(a.name, b.name); });
    return list;
}

VaultUDSGroup StoreVaultItemSource::createGroup(const VaultUDSRequest& request) {
    const auto name = required(request.name);
    const auto project = trimmedOr(request.project, defaults_.projectName);
    const auto parent = trimmedOr(request.parent, {});
    requireUnlocked();
    const auto created = ensureGroup(name, project, parent.empty() ? std::nullopt : std::optional(parent));
    return answer(created, snapshot(OnReadFailure::empty)->collections);
}

VaultUDSGroup StoreVaultItemSource::getGroup(const VaultUDSRequest& request) {
    const auto text = required(request.group);
    requireUnlocked();
    const auto view = snapshot(OnReadFailure::empty);
    return answer(group(view->collections, text), view->collections);
}

VaultUDSGroup StoreVaultItemSource::updateGroup(const VaultUDSRequest& request) {
    const auto text = required(request.group);
    requireUnlocked();
    auto locked = findGroupForWrite(text);
    const auto& found = locked.found;
    const auto& view = locked.view;
    const auto newName = trimmedOr(request.name, found.name);
    if (newName != found.name) refuseGroupNameClash(found, newName);
    auto sealed = sealName(newName, found.record.id, found.key);
    auto record = found.record;
    record.nameBlob = std::move(sealed.blob);
    record.nameWrappedKey = std::move(sealed.wrappedKey);
    record.updatedAt = now();
    writeGroupChange(record, &locked.lock);
    return VaultUDSGroup{record.id.text(), newName, found.project, parentName(found, view->collections)};
}

// The owner is asked about the group as it is now, with no lock held; a yes deletes that group, by
// id, unless it was renamed, moved or deleted meanwhile.
VaultUDSDeleteResult StoreVaultItemSource::deleteGroup(const VaultUDSRequest& request, const ApproveChange& approve) {
    const auto text = required(request.group);
    requireUnlocked();
    const auto found = group(snapshot(OnReadFailure::empty)->collections, text);
    if (found.record.id == defaults_.collectionID) fail(Case::protectedDefault);
    if (!approve("Delete a group (and its secrets) from Vael: " + quotedName(found.name) + " with " +
                 countedItems(itemsBelow(found.record.id)))) {
        fail(Case::cancelled);
    }
    {
        const auto lock = store_->lockRecordForWrite(found.record.id);
        const auto row = store_->collection(found.record.id);
        if (!row || row->deleted || row->nameBlob != found.record.nameBlob || row->parentId != found.record.parentId ||
            row->orgId != found.record.orgId) {
            fail(Case::notFound);
        }
    }
    cascadeDeleteGroupContents(found.record.id);
    tombstoneGroup(found.record.id);
    return VaultUDSDeleteResult{true};
}

std::size_t StoreVaultItemSource::itemsBelow(const Uuid& collectionId) const {
    std::unordered_map<Uuid, std::vector<Uuid>> children;
    for (const auto& row : store_->collections()) {
        if (row.parentId) children[*row.parentId].push_back(row.id);
    }
    std::size_t count = 0;
    std::unordered_set<Uuid> visited{collectionId};
    std::vector<Uuid> open{collectionId};
    while (!open.empty()) {
        const auto id = open.back();
        open.pop_back();
        for (const auto& item : store_->items(id)) count += item.deleted ? 0 : 1;
        if (auto below = children.find(id); below != children.end()) {
            for (const auto& child : below->second) {
                if (visited.insert(child).second) open.push_back(child);
            }
        }
    }
    return count;
}

// Reads fail loudly here: a parent is tombstoned only after everything below it was, so nothing
// live is ever left under a tombstone.
void StoreVaultItemSource::deleteItems(const Uuid& collectionId) {
    for (const auto& item : store_->items(collectionId)) {
        if (!item.deleted) tombstoneItem(item.id);
    }
}

// Depth first, children before their parent: the group's items, then each subgroup's items, its
// own subgroups and the subgroup itself. Parent links come from elsewhere (a sync), so a cycle is
// walked once and the walk keeps its own stack. The whole walk is planned before the first write:
// a default group found below refuses the deletion and nothing is written.
void StoreVaultItemSource::cascadeDeleteGroupContents(const Uuid& collectionId) {
    std::unordered_map<Uuid, std::vector<Uuid>> children;
    for (const auto& row : store_->collections()) {
        if (row.parentId) children[*row.parentId].push_back(row.id);
    }
    struct Step {
        bool tombstone;  // else: delete the group's items
        Uuid id;
    };
    struct Frame {
        Uuid id;
        std::size_t next = 0;
    };
    std::vector<Step> plan{Step{false, collectionId}};
    std::unordered_set<Uuid> visited{collectionId};
    std::vector<Frame> stack{Frame{collectionId}};
    while (!stack.empty()) {
        auto& top = stack.back();
        const auto below = children.find(top.id);
        if (below != children.end() && top.next < below->second.size()) {
            const auto child = below->second[top.next++];
            if (!visited.insert(child).second) continue;
            if (child == defaults_.collectionID) fail(Case::protectedDefault);
            plan.push_back(Step{false, child});
            stack.push_back(Frame{child});
            continue;
        }
        if (top.id != collectionId) plan.push_back(Step{true, top.id});
        stack.pop_back();
    }
    for (const auto& step : plan) {
        if (step.tombstone) {
            tombstoneGroup(step.id);
        } else {
            deleteItems(step.id);
        }
    }
}

}  // namespace vael

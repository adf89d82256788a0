// Listing, creating, reading, renaming and deleting projects. Project rows go straight into the
// store; their names are sealed under the default group's key.
#include <algorithm>
#include <unordered_map>

#include "app/agent/PromptText.h"
#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemSourceSupport.h"

namespace vael {

using namespace itemsource;
using Case = VaultUDSManagementError::Case;

namespace {

VaultUDSProject answer(const StoreVaultItemSource::ProjectContext& project) {
    return VaultUDSProject{project.record.id.text(), project.name};
}

// The groups in an order where every group comes after the groups below it that are in the list,
// otherwise in store order. A parent cycle is broken where the walk meets it.
std::vector<CollectionRecord> childrenFirst(const std::vector<CollectionRecord>& groups) {
    std::unordered_map<Uuid, std::size_t> position;
    for (std::size_t i = 0; i < groups.size(); ++i) position.emplace(groups[i].id, i);
    std::vector<std::vector<std::size_t>> children(groups.size());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (!groups[i].parentId) continue;
        if (auto parent = position.find(*groups[i].parentId); parent != position.end()) {
            children[parent->second].push_back(i);
        }
    }
    struct Frame {
        std::size_t index;
        std::size_t next = 0;
    };
    std::vector<bool> visited(groups.size(), false);
    std::vector<CollectionRecord> ordered;
    ordered.reserve(groups.size());
    for (std::size_t start = 0; start < groups.size(); ++start) {
        if (visited[start]) continue;
        visited[start] = true;
        std::vector<Frame> stack{Frame{start}};
        while (!stack.empty()) {
            auto& top = stack.back();
            if (top.next < children[top.index].size()) {
                const auto child = children[top.index][top.next++];
                if (visited[child]) continue;
                visited[child] = true;
                stack.push_back(Frame{child});
                continue;
            }
            ordered.push_back(groups[top.index]);
            stack.pop_back();
        }
    }
    return ordered;
}

}  // namespace

VaultUDSProjectList StoreVaultItemSource::listProjects() {
    requireUnlocked();
    const auto view = snapshot(OnReadFailure::empty);
    VaultUDSProjectList list;
    for (const auto& project : view->projects) list.projects.push_back(answer(project));
    std::stable_sort(list.projects.begin(), list.projects.end(), [](const VaultUDSProject& a, const VaultUDSProject& b) {
        return canonicallyLess(a.name, b.name);
    });
    return list;
}

VaultUDSProject StoreVaultItemSource::createProject(const VaultUDSRequest& request) {
    const auto name = required(request.name);
    requireUnlocked();
    return answer(ensureProject(name));
}

VaultUDSProject StoreVaultItemSource::getProject(const VaultUDSRequest& request) {
    const auto text = required(request.project);
    requireUnlocked();
    return answer(project(text));
}

VaultUDSProject StoreVaultItemSource::updateProject(const VaultUDSRequest& request) {
    const auto text = required(request.project);
    requireUnlocked();
    const auto locked = findProjectForWrite(text);
    const auto& found = locked.found;
    const auto newName = trimmedOr(request.name, found.name);
    if (newName != found.name) refuseProjectNameClash(found, newName);
    auto sealed = sealName(newName, found.record.id, defaultCollectionKey());
    auto record = found.record;
    record.nameBlob = std::move(sealed.blob);
    record.nameWrappedKey = std::move(sealed.wrappedKey);
    record.updatedAt = now();
    store_->upsertProject(record);
    return VaultUDSProject{record.id.text(), newName};
}

// The owner is asked about the project as it is now, with no lock held; a yes deletes that project,
// by id, unless it was renamed or deleted meanwhile. Everything below the project first, the
// project last: when a step fails, the project stays live and nothing live is left under a tombstone.
VaultUDSDeleteResult StoreVaultItemSource::deleteProject(const VaultUDSRequest& request, const ApproveChange& approve) {
    const auto text = required(request.project);
    requireUnlocked();
    const auto found = project(text);
    if (found.record.id == defaults_.projectID) fail(Case::protectedDefault);
    auto groups = childrenFirst(store_->collections(found.record.id));
    std::size_t items = 0;
    for (const auto& group : groups) {
        if (group.id == defaults_.collectionID) fail(Case::protectedDefault);
        for (const auto& item : store_->items(group.id)) items += item.deleted ? 0 : 1;
    }
    if (!approve("Delete a project (and everything in it) from Vael: " + quotedName(found.name) + " with " +
                 countedItems(items))) {
        fail(Case::cancelled);
    }
    const auto unchanged = [&] {
        const auto row = store_->project(found.record.id);
        return row && !row->deleted && row->nameBlob == found.record.nameBlob;
    };
    {
        const auto lock = store_->lockRecordForWrite(found.record.id);
        if (!unchanged()) fail(Case::notFound);
    }
    // Groups moved into the project while the owner was asked go with it.
    groups = childrenFirst(store_->collections(found.record.id));
    for (const auto& group : groups) {
        if (group.id == defaults_.collectionID) fail(Case::protectedDefault);
    }
    for (const auto& group : groups) {
        deleteItems(group.id);
        tombstoneGroup(group.id);
    }
    // From the row as it is now, under its lock, so a rename that came meanwhile is not undone.
    const auto lock = store_->lockRecordForWrite(found.record.id);
    auto record = store_->project(found.record.id).value_or(found.record);
    record.deleted = true;
    record.updatedAt = now();
    store_->upsertProject(record);
    return VaultUDSDeleteResult{true};
}

}  // namespace vael

// Where agent writes land when they name no group, and the names they may not take.
#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemSourceSupport.h"

namespace vael {

using CollectionContext = StoreVaultItemSource::CollectionContext;

CollectionContext StoreVaultItemSource::targetGroup(const std::string& group, const std::string& project) {
    requireUnlocked();
    if (group.empty() && project.empty()) {
        const auto view = snapshot(OnReadFailure::raise);
        for (const auto& context : view->collections) {
            if (context.record.id == defaults_.collectionID) return context;
        }
    }
    return ensureGroup(group.empty() ? defaults_.collectionName : group,
                       project.empty() ? defaults_.projectID.text() : project, std::nullopt);
}

void StoreVaultItemSource::refuseItemNameClash(const CollectionContext& group, const std::string& name,
                                               const std::optional<Uuid>& except) const {
    // Up to date with every write so far; a failed read must not pass for "no such name".
    snapshot(OnReadFailure::raise);
    for (const auto& entry : names_.find(group.record.id, {group.key, group.record.wrappedKey}, canonicalForm(name),
                                         ItemNameIndex::OnReadFailure::raise)) {
        if (entry->record.id != except) throw VaultUDSManagementError::alreadyExists(name);
    }
}

void StoreVaultItemSource::refuseGroupNameClash(const CollectionContext& renamed, const std::string& name) const {
    const auto view = snapshot(OnReadFailure::raise);
    for (const auto& sibling : view->collections) {
        if (sibling.record.id == renamed.record.id || sibling.record.orgId != renamed.record.orgId ||
            sibling.parentId != renamed.parentId) {
            continue;
        }
        if (canonicallyEqual(sibling.name, name)) throw VaultUDSManagementError::alreadyExists(name);
    }
}

void StoreVaultItemSource::refuseProjectNameClash(const ProjectContext& renamed, const std::string& name) const {
    const auto view = snapshot(OnReadFailure::raise);
    for (const auto& other : view->projects) {
        if (other.record.id != renamed.record.id && canonicallyEqual(other.name, name)) {
            throw VaultUDSManagementError::alreadyExists(name);
        }
    }
}

}  // namespace vael

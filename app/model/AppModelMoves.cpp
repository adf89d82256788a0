// Moving items between groups, and deleting items, groups and projects. Deletions are tombstones,
// children first: a parent is tombstoned only once everything below it is, so nothing live is ever
// left under a tombstone. Parent links arrive from other devices, so every walk remembers the
// groups it has visited and a cycle ends it.

#include <QPointer>

#include "app/agent/ops/ItemLayout.h"
#include "app/model/AppModel.h"
#include "app/model/Blocking.h"
#include "app/model/ModelVault.h"

namespace vael {

namespace {

constexpr std::string_view kMoveItemFailed = "Couldn't move the item.";
constexpr std::string_view kDeleteItemFailed = "Couldn't delete the item.";
constexpr std::string_view kDeleteGroupFailed = "Couldn't delete the group.";
constexpr std::string_view kDeleteSecretFailed = "Couldn't delete a secret.";
constexpr std::string_view kDeleteSubgroupFailed = "Couldn't delete a subgroup.";
constexpr std::string_view kDeleteProjectFailed = "Couldn't delete the project.";

using Failure = std::optional<std::string>;

// One deletion walk: the groups it has reached and the latest failure's sentence.
struct Cascade {
    const ModelVault& work;
    std::unordered_set<Uuid> visited;
    Failure failure;

    // Deletes everything below the group, depth first; true when all of it is gone.
    bool deleteBelow(const Uuid& group) {
        visited.insert(group);
        bool complete = true;
        std::vector<ItemRecord> items;
        try {
            items = work.store().items(group);
        } catch (const std::exception&) {
            return false;
        }
        for (const auto& item : items) {
            if (item.deleted) continue;
            try {
                work.tombstoneItem(item);
            } catch (const std::exception&) {
                failure = std::string(kDeleteSecretFailed);
                complete = false;
            }
        }
        std::vector<CollectionRecord> groups;
        try {
            groups = work.store().collections();
        } catch (const std::exception&) {
            return false;
        }
        for (const auto& child : groups) {
            if (child.parentId != group || visited.contains(child.id)) continue;
            if (!deleteGroup(child, kDeleteSubgroupFailed)) complete = false;
        }
        return complete;
    }

    // The group's contents, then the group itself unless something below it stayed.
    bool deleteGroup(const CollectionRecord& group, std::string_view sentence) {
        // The default group is never deleted, so nothing above it may be either.
        if (group.id == AppModel::localCollectionID()) return false;
        if (!deleteBelow(group.id)) return false;
        try {
            work.tombstoneGroup(group.id);
            return true;
        } catch (const std::exception&) {
            failure = std::string(sentence);
            return false;
        }
    }
};

}  // namespace

QCoro::Task<> AppModel::moveItem(Uuid id, Uuid group) {
    auto work = modelVault();
    if (!work) co_return;
    QPointer<AppModel> self(this);
    auto job = runBlocking([work = std::move(*work), id, group]() -> Failure {
        auto lock = work.lockRecordForWrite(id);
        auto located = work.locateItem(id);
        if (!located || located->record.collectionId == group) return std::nullopt;
        std::optional<CollectionRecord> target;
        try {
            target = work.store().collection(group);
        } catch (const std::exception&) {
        }
        if (!target || target->deleted) return std::nullopt;
        auto key = work.collectionKey(*target);
        if (!key) return std::nullopt;
        auto payload = work.loadPayload(*located);
        if (!payload) return std::nullopt;
        SealedBlob sealed;
        try {
            sealed = itemlayout::sealPayload(work.vault(), *payload, id, *key);
        } catch (const std::exception&) {
            return std::nullopt;
        }
        const auto& row = located->record;
        try {
            work.writeChangedItem(
                itemlayout::itemBody(id, group, row.type, std::move(sealed), row.aiAccess, row.revision, work.now()),
                &lock);
        } catch (const std::exception&) {
            return std::string(kMoveItemFailed);
        }
        return std::nullopt;
    });
    Failure failure;
    try {
        failure = co_await job;
    } catch (const std::exception&) {
        failure = std::string(kMoveItemFailed);
    }
    if (self && failure) setErrorMessage(failure);
}

QCoro::Task<> AppModel::deleteItem(Uuid id) {
    auto work = modelVault();
    if (!work) co_return;
    QPointer<AppModel> self(this);
    auto job = runBlocking([work = std::move(*work), id]() -> Failure {
        auto located = work.locateItem(id);
        if (!located) return std::nullopt;
        try {
            work.tombstoneItem(located->record);
        } catch (const std::exception&) {
            return std::string(kDeleteItemFailed);
        }
        return std::nullopt;
    });
    Failure failure;
    try {
        failure = co_await job;
    } catch (const std::exception&) {
        failure = std::string(kDeleteItemFailed);
    }
    if (self && failure) setErrorMessage(failure);
}

QCoro::Task<> AppModel::deleteGroup(Uuid id) {
    auto work = modelVault();
    if (!work || id == localCollectionID()) co_return;
    QPointer<AppModel> self(this);
    auto job = runBlocking([work = std::move(*work), id]() -> Failure {
        std::optional<CollectionRecord> row;
        try {
            row = work.store().collection(id);  // a tombstone is deleted once more
        } catch (const std::exception&) {
        }
        if (!row) return std::nullopt;
        Cascade cascade{work, {}, std::nullopt};
        if (!cascade.deleteGroup(*row, kDeleteGroupFailed) && !cascade.failure) {
            cascade.failure = std::string(kDeleteGroupFailed);
        }
        return cascade.failure;
    });
    Failure failure;
    try {
        failure = co_await job;
    } catch (const std::exception&) {
        failure = std::string(kDeleteGroupFailed);
    }
    if (self && failure) setErrorMessage(failure);
}

QCoro::Task<> AppModel::deleteProject(Uuid id) {
    auto work = modelVault();
    if (!work || id == localOrgID()) co_return;
    QPointer<AppModel> self(this);
    auto job = runBlocking([work = std::move(*work), id]() -> Failure {
        std::optional<ProjectRecord> row;
        try {
            row = work.store().project(id);
        } catch (const std::exception&) {
        }
        if (!row) return std::nullopt;
        std::vector<CollectionRecord> groups;
        try {
            groups = work.store().collections(id);
        } catch (const std::exception&) {
            return std::string(kDeleteProjectFailed);
        }
        Cascade cascade{work, {}, std::nullopt};
        bool complete = true;
        for (const auto& group : groups) {
            if (group.parentId || cascade.visited.contains(group.id)) continue;
            if (!cascade.deleteGroup(group, kDeleteProjectFailed)) complete = false;
        }
        // The project goes last, and only with all its groups; from its row as it is now, so a rename
        // that came meanwhile is not undone.
        if (!complete) return cascade.failure.value_or(std::string(kDeleteProjectFailed));
        try {
            const auto lock = work.lockRecordForWrite(id);
            auto tombstone = work.store().project(id);
            if (!tombstone) return cascade.failure;
            tombstone->deleted = true;
            tombstone->updatedAt = work.now();
            work.store().upsertProject(*tombstone);
        } catch (const std::exception&) {
            return std::string(kDeleteProjectFailed);
        }
        return cascade.failure;
    });
    Failure failure;
    try {
        failure = co_await job;
    } catch (const std::exception&) {
        failure = std::string(kDeleteProjectFailed);
    }
    if (self && failure) setErrorMessage(failure);
}

}  // namespace vael

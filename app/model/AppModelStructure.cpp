// Creating, renaming and moving groups and projects. Names are sealed before they are stored; group
// changes go through the sync engine, project changes straight into the store. What cannot be read
// or opened stops an operation silently; a failed write leaves its sentence in errorMessage.

#include <QPointer>

#include "app/agent/ops/AgentText.h"
#include "app/model/AppModel.h"
#include "app/model/Blocking.h"
#include "app/model/ModelVault.h"

namespace vael {

namespace {

constexpr std::string_view kRenameGroupFailed = "Couldn't rename the group.";
constexpr std::string_view kRenameProjectFailed = "Couldn't rename the project.";
constexpr std::string_view kCreateProjectFailed = "Couldn't create the project.";
constexpr std::string_view kCreateGroupFailed = "Couldn't create the group.";
constexpr std::string_view kMoveGroupFailed = "Couldn't move the group.";

using Failure = std::optional<std::string>;

// What a creator's worker answers: the new id when it was stored, else the failure sentence if any.
struct Created {
    std::optional<Uuid> id;
    Failure failure;
};

template <class Read>
auto readOrNothing(Read&& read) -> std::optional<std::decay_t<decltype(*read())>> {
    try {
        return read();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

template <class Read>
std::int64_t countOrZero(Read&& read) {
    try {
        return static_cast<std::int64_t>(read().size());
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace

std::optional<std::unordered_set<Uuid>> AppModel::descendantCollectionIDs(const Uuid& id) const {
    auto work = modelVault();
    if (!work) return std::nullopt;
    return work->descendants(id);
}

QCoro::Task<> AppModel::renameGroup(Uuid id, std::string name) {
    const auto trimmed = trimWhitespace(name);
    auto work = modelVault();
    if (!work || trimmed.empty() || id == localCollectionID()) co_return;
    QPointer<AppModel> self(this);
    auto job = runBlocking([work = std::move(*work), id, trimmed]() -> Failure {
        auto lock = work.lockRecordForWrite(id);
        auto row = readOrNothing([&] { return work.store().collection(id); });
        if (!row || row->deleted) return std::nullopt;
        auto key = work.collectionKey(*row);
        if (!key) return std::nullopt;
        auto sealed = work.encryptLabel(trimmed, id, *key);
        if (!sealed) return std::nullopt;
        row->nameBlob = std::move(sealed->blob);
        row->nameWrappedKey = std::move(sealed->wrappedKey);
        row->updatedAt = work.now();
        try {
            work.writeGroupChange(*row, &lock);
        } catch (const std::exception&) {
            return std::string(kRenameGroupFailed);
        }
        return std::nullopt;
    });
    Failure failure;
    try {
        failure = co_await job;
    } catch (const std::exception&) {
        failure = std::string(kRenameGroupFailed);
    }
    if (self && failure) setErrorMessage(failure);
}

QCoro::Task<> AppModel::renameProject(Uuid id, std::string name) {
    const auto trimmed = trimWhitespace(name);
    auto work = modelVault();
    if (!work || trimmed.empty() || id == localOrgID()) co_return;
    QPointer<AppModel> self(this);
    auto job = runBlocking([work = std::move(*work), id, trimmed]() -> Failure {
        const auto lock = work.lockRecordForWrite(id);
        auto row = readOrNothing([&] { return work.store().project(id); });
        if (!row || row->deleted) return std::nullopt;
        auto sealed = work.encryptLabel(trimmed, id, work.defaultKey());
        if (!sealed) return std::nullopt;
        row->nameBlob = std::move(sealed->blob);
        row->nameWrappedKey = std::move(sealed->wrappedKey);
        row->updatedAt = work.now();
        try {
            work.store().upsertProject(*row);
        } catch (const std::exception&) {
            return std::string(kRenameProjectFailed);
        }
        return std::nullopt;
    });
    Failure failure;
    try {
        failure = co_await job;
    } catch (const std::exception&) {
        failure = std::string(kRenameProjectFailed);
    }
    if (self && failure) setErrorMessage(failure);
}

QCoro::Task<std::optional<Uuid>> AppModel::createProject(std::string name) {
    const auto trimmed = trimWhitespace(name);
    auto work = modelVault();
    if (!work || trimmed.empty()) co_return std::nullopt;
    QPointer<AppModel> self(this);
    auto job = runBlocking([work = std::move(*work), trimmed]() -> Created {
        const auto id = Uuid::random();
        auto sealed = work.encryptLabel(trimmed, id, work.defaultKey());
        if (!sealed) return {};
        ProjectRecord record{
            .id = id,
            .nameBlob = std::move(sealed->blob),
            .nameWrappedKey = std::move(sealed->wrappedKey),
            .sort = countOrZero([&] { return work.store().projects(); }),
            .updatedAt = work.now(),
            .deleted = false,
        };
        try {
            work.store().upsertProject(record);
        } catch (const std::exception&) {
            return Created{std::nullopt, std::string(kCreateProjectFailed)};
        }
        return Created{id, std::nullopt};
    });
    Created created;
    try {
        created = co_await job;
    } catch (const std::exception&) {
        created.failure = std::string(kCreateProjectFailed);
    }
    if (!self) co_return std::nullopt;
    if (created.failure) setErrorMessage(created.failure);
    // Only a stored project is worth a synchronisation run.
    if (created.id && isServerConnected_) runSync();
    co_return created.id;
}

QCoro::Task<std::optional<Uuid>> AppModel::createGroup(std::string name, Uuid project, std::optional<Uuid> parent) {
    const auto trimmed = trimWhitespace(name);
    auto work = modelVault();
    if (!work || trimmed.empty()) co_return std::nullopt;
    QPointer<AppModel> self(this);
    auto job = runBlocking([work = std::move(*work), trimmed, project, parent]() -> Created {
        CollectionKey key;
        Bytes wrappedKey;
        try {
            key = work.vault().newCollectionKey();
            wrappedKey = work.vault().wrapCollectionKeyToSelf(key);
        } catch (const std::exception&) {
            return {};
        }
        const auto id = Uuid::random();
        auto sealed = work.encryptLabel(trimmed, id, key);
        if (!sealed) return {};
        CollectionRecord record{
            .id = id,
            .orgId = project,
            .parentId = parent,
            .nameBlob = std::move(sealed->blob),
            .nameWrappedKey = std::move(sealed->wrappedKey),
            .sort = countOrZero([&] { return work.store().collections(project); }),
            .wrappedKey = std::move(wrappedKey),
            .updatedAt = work.now(),
            .deleted = false,
        };
        try {
            work.writeNewGroup(record);
        } catch (const std::exception&) {
            return Created{std::nullopt, std::string(kCreateGroupFailed)};
        }
        return Created{id, std::nullopt};
    });
    Created created;
    try {
        created = co_await job;
    } catch (const std::exception&) {
        created.failure = std::string(kCreateGroupFailed);
    }
    if (!self) co_return std::nullopt;
    if (created.failure) setErrorMessage(created.failure);
    co_return created.id;
}

QCoro::Task<> AppModel::moveGroup(Uuid id, Uuid project, std::optional<Uuid> parent) {
    auto work = modelVault();
    if (!work || id == localCollectionID()) co_return;
    QPointer<AppModel> self(this);
    auto job = runBlocking([work = std::move(*work), id, project, parent]() -> Failure {
        if (parent && *parent == id) return std::nullopt;
        bool changesProject = false;
        std::unordered_set<Uuid> below;
        {
            auto lock = work.lockRecordForWrite(id);
            auto row = readOrNothing([&] { return work.store().collection(id); });
            if (!row || row->deleted) return std::nullopt;
            changesProject = row->orgId != project;
            if (parent || changesProject) {
                // Without the subtree the move can be neither checked nor completed: refuse it.
                auto descendants = work.descendants(id);
                if (!descendants) return std::nullopt;
                if (parent && descendants->contains(*parent)) return std::nullopt;
                below = std::move(*descendants);
                below.erase(id);
            }
            row->orgId = project;
            row->parentId = parent;
            row->updatedAt = work.now();
            try {
                work.writeGroupChange(*row, &lock);
            } catch (const std::exception&) {
                return std::string(kMoveGroupFailed);
            }
        }
        if (!changesProject) return std::nullopt;
        // The subgroups follow their group into the new project; their parent links stay.
        // Each from its row as it is now, under its own lock: one lock at a time.
        Failure failure;
        for (const auto& subgroup : below) {
            if (subgroup == AppModel::localCollectionID()) continue;
            try {
                auto lock = work.lockRecordForWrite(subgroup);
                auto group = work.store().collection(subgroup);
                if (!group || group->deleted || group->orgId == project) continue;
                group->orgId = project;
                group->updatedAt = work.now();
                work.writeGroupChange(*group, &lock);
            } catch (const std::exception&) {
                failure = std::string(kMoveGroupFailed);
            }
        }
        return failure;
    });
    Failure failure;
    try {
        failure = co_await job;
    } catch (const std::exception&) {
        failure = std::string(kMoveGroupFailed);
    }
    if (self && failure) setErrorMessage(failure);
}

}  // namespace vael

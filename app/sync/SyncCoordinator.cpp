#include "app/sync/SyncCoordinator.h"

#include <utility>

#include "api/APIError.h"
#include "store/SyncTypes.h"

namespace vael {

namespace {

// Runs a server or engine call with the lock released; it is held again afterwards, whether the call
// returned or threw.
template <class Lock, class Call>
void unlocked(Lock& lock, Call&& call) {
    struct Relock {
        Lock& lock;
        ~Relock() { lock.lock(); }
    };
    lock.unlock();
    Relock relock{lock};
    call();
}

// An object the server already has is what the creation wanted.
template <class Lock, class Call>
void createUnlessExists(Lock& lock, Call&& call) {
    try {
        unlocked(lock, std::forward<Call>(call));
    } catch (const APIError& error) {
        if (error.kind() != APIError::Kind::Conflict) throw;
    }
}

}  // namespace

SyncCoordinator::SyncCoordinator(std::shared_ptr<BootstrapAPI> api, std::shared_ptr<SyncEngine> engine,
                                 std::shared_ptr<VaelStore> store)
    : api_(std::move(api)), engine_(std::move(engine)), store_(std::move(store)) {}

void SyncCoordinator::bootstrap(const Uuid& orgID, const Uuid& collectionID, const Bytes& orgNameBlob,
                                const Bytes& collectionNameBlob, const Bytes& collectionWrappedKey) {
    Lock lock(mutex_);
    // The names' keys come from the replica (when it holds the same sealed names), so that other
    // devices and members can open the names.
    std::optional<Bytes> orgNameKey;
    if (const auto project = store_->project(orgID); project && project->nameBlob == orgNameBlob)
        orgNameKey = project->nameWrappedKey;
    std::optional<Bytes> collectionNameKey;
    if (const auto group = store_->collection(collectionID); group && group->nameBlob == collectionNameBlob)
        collectionNameKey = group->nameWrappedKey;
    createUnlessExists(lock, [&] { api_->createOrg(orgID, orgNameBlob, orgNameKey); });
    createUnlessExists(lock, [&] {
        api_->createCollection(orgID, collectionID, std::nullopt, collectionNameBlob, collectionNameKey,
                               collectionWrappedKey);
    });

    for (const auto& listed : store_->items(collectionID)) {
        // Each item is read again just before it is handed over: one edited or deleted while earlier
        // ones were pushed would otherwise be written back over the change, or brought back to life.
        const auto current = store_->item(listed.id);
        if (!current || current->deleted) continue;
        const auto body = ItemBody::fromRecord(*current);
        unlocked(lock, [&] { engine_->create(body); });
    }
}

void SyncCoordinator::pushMissingOrgs(const std::optional<Uuid>& excludingOrg) {
    Lock lock(mutex_);
    for (const auto& project : store_->projects()) {
        if (project.id == excludingOrg) continue;
        createUnlessExists(lock, [&] { api_->createOrg(project.id, project.nameBlob, project.nameWrappedKey); });
    }
}

}  // namespace vael

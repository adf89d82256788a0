#include "store/SyncEngine.h"

#include <unordered_set>

#include "core/Log.h"
#include "store/ItemFetches.h"
#include "store/RecordJson.h"

namespace vael {

namespace {

using Kind = PendingOpRecord::Kind;

constexpr std::string_view kLogCategory = "sync";

// A pull's fetched bodies are written in transactions of at most this many, each at most this long
// after its first body arrived.
constexpr std::size_t kPullBatchItems = 500;
constexpr std::chrono::milliseconds kPullBatchAge{200};

bool isConflict(const SyncAPIError& error) { return error.kind() == SyncAPIError::Kind::conflict; }

bool isItemKind(Kind kind) { return kind == Kind::put || kind == Kind::create || kind == Kind::delete_; }
bool isCollectionKind(Kind kind) { return !isItemKind(kind); }

// The same version of an item, whatever revision and time each copy was given.
bool sameContent(const ItemBody& a, const ItemBody& b) {
    return a.collectionId == b.collectionId && a.type == b.type && a.nameBlob == b.nameBlob &&
           a.contentBlob == b.contentBlob && a.cryptoParams == b.cryptoParams &&
           a.wrappedItemKey == b.wrappedItemKey && a.aiAccess == b.aiAccess;
}

// A live row edited here after `queued` was queued: an edit keeps the revision it was based on, so it
// shares the queued version's revision and differs in content. A row a pull wrote has the server's.
bool laterLocalEdit(const ItemRecord& row, const ItemBody& queued) {
    return !row.deleted && row.revision == queued.revision && !sameContent(ItemBody::fromRecord(row), queued);
}

// A server record stored before clients sent types comes without one: the local type stands.
ItemBody withType(ItemBody fetched, const std::string& knownType) {
    if (fetched.type.empty()) fetched.type = knownType;
    return fetched;
}

}  // namespace

SyncEngine::SyncEngine(std::shared_ptr<VaelStore> store, std::shared_ptr<VaelSyncAPI> api,
                       std::shared_ptr<const Clock> clock, std::shared_ptr<SyncPause> pause)
    : store_(std::move(store)), api_(std::move(api)), clock_(std::move(clock)), pause_(std::move(pause)) {}

// Runs a server call (or the pause) with the engine's lock released; it is held again afterwards,
// whether the call returned or threw.
template <class Call>
auto SyncEngine::unlocked(Lock& lock, Call&& call) {
    struct Relock {
        Lock& lock;
        ~Relock() { lock.lock(); }
    };
    lock.unlock();
    Relock relock{lock};
    return call();
}

// --- pull ---

void SyncEngine::setServerAccount(bool hasAccount) {
    Lock lock(mutex_);
    serverAccount_ = hasAccount;
}

void SyncEngine::pull() {
    Lock lock(mutex_);
    if (!serverAccount_) return;
    auto since = store_->lastSyncAt();
    auto response = unlocked(lock, [&] { return api_->sync(since); });
    // The server's clock stepped back: it stamped changes before the bookmark, how long ago is not
    // known, so everything is listed again (rows already up to date are not fetched again) and the
    // bookmark moves back to the server's time.
    if (since && response.now < *since) {
        since.reset();
        response = unlocked(lock, [&] { return api_->sync(std::nullopt); });
    }
    // Records left out are asked for again by the next pull.
    auto heldBack = response.oldestUnreadable;
    auto holdBack = [&](TimePoint updatedAt) {
        if (!heldBack || updatedAt < *heldBack) heldBack = updatedAt;
    };

    for (const auto& delta : response.collections) {
        const auto stored = store_->collection(delta.id);
        if (!delta.deleted && stored && stored->deleted && deletionQueued(delta.id, Kind::deleteCollection)) continue;
        // A delta without a name key keeps the stored one while the sealed name is the same, or the
        // group's name could no longer be opened.
        std::optional<Bytes> nameWrappedKey = delta.nameWrappedKey;
        if (!nameWrappedKey && stored && stored->nameBlob == delta.nameBlob) nameWrappedKey = stored->nameWrappedKey;
        store_->upsertCollection(CollectionRecord{
            .id = delta.id,
            .orgId = delta.orgId,
            .parentId = delta.parentId,
            .nameBlob = delta.nameBlob,
            .nameWrappedKey = std::move(nameWrappedKey),
            .sort = delta.sort,
            .wrappedKey = delta.wrappedKey,
            .updatedAt = delta.updatedAt,
            .deleted = delta.deleted,
        });
    }

    // Which items to fetch, from the rows as the pull starts. A row whose local change still waits in
    // the queue is the replay's to settle with the server, never the pull's to write over.
    std::unordered_set<Uuid> changedHere;
    for (const auto& op : store_->pendingOps())
        if (isItemKind(op.kind)) changedHere.insert(op.itemId);
    std::vector<Uuid> toFetch;
    std::vector<std::optional<std::optional<ItemRecord>>> seen(response.items.size());
    for (std::size_t i = 0; i < response.items.size(); ++i) {
        const auto& delta = response.items[i];
        if (delta.deleted || changedHere.contains(delta.id)) continue;
        auto local = store_->item(delta.id);
        if (local && local->revision >= delta.revision && !local->contentBlob.empty()) continue;
        seen[i] = std::move(local);
        toFetch.push_back(delta.id);
    }

    // Applied in the server's order, the fetched bodies a batch at a time, one transaction each: a
    // commit costs a sync of the file, so a batch is written when it is full or its first body has
    // waited long enough, before a deletion of an item in it, at a failure and at the end. The row may
    // change while its body is fetched (an edit or a deletion here, answered or queued): the
    // transaction writes only rows still as seen.
    ItemFetches fetches(*api_, std::move(toFetch), api_->concurrentFetches(), kPullBatchItems);
    std::vector<VaelStore::PulledItem> batch;
    std::unordered_set<Uuid> batched;
    ItemFetches::Deadline batchDue;
    const auto flush = [&] {
        if (batch.empty()) return;
        store_->upsertPulledItems(batch);
        batch.clear();
        batched.clear();
    };
    // Whether the batch is due before the next body comes, waiting for it until then.
    const auto dueBeforeNext = [&] {
        if (batch.empty()) return false;
        if (std::chrono::steady_clock::now() >= batchDue) return true;
        return !unlocked(lock, [&] { return fetches.waitNext(batchDue); });
    };
    for (std::size_t i = 0; i < response.items.size(); ++i) {
        const auto& delta = response.items[i];
        if (delta.deleted) {
            if (batched.contains(delta.id)) flush();  // the row it finds is the one the items before it left
            auto local = store_->item(delta.id);
            // The tombstone of an unknown item is not stored; a queued change here meets the deletion
            // when it is replayed.
            if (!local || hasQueuedOp(delta.id, isItemKind)) continue;
            local->deleted = true;
            local->revision = delta.revision;
            local->updatedAt = delta.updatedAt;
            store_->upsertItem(*local);
            continue;
        }
        if (!seen[i]) continue;
        if (dueBeforeNext()) flush();
        auto outcome = unlocked(lock, [&] { return fetches.take(); });
        if (outcome.error) {
            try {
                std::rethrow_exception(outcome.error);
            } catch (const SyncAPIError& error) {
                if (error.kind() == SyncAPIError::Kind::offline) {
                    flush();
                    throw;
                }
                logMessage(LogLevel::Warning, kLogCategory,
                           "item " + delta.id.text() + " left for the next pull: " + error.what());
                holdBack(delta.updatedAt);
                continue;
            } catch (...) {
                flush();
                throw;
            }
        }
        if (batched.contains(delta.id)) flush();
        if (batch.empty()) batchDue = std::chrono::steady_clock::now() + kPullBatchAge;
        const auto& local = *seen[i];
        batched.insert(delta.id);
        batch.push_back(VaelStore::PulledItem{
            withType(std::move(*outcome.body), local ? local->type : std::string()).toRecord(false), local});
        if (batch.size() >= kPullBatchItems) flush();
    }
    flush();

    auto bookmark = response.now;
    if (heldBack && *heldBack - std::chrono::milliseconds(1) < bookmark)
        bookmark = *heldBack - std::chrono::milliseconds(1);
    if (since && bookmark < *since) bookmark = *since;
    store_->setLastSyncAt(bookmark);
}

// --- writes ---

void SyncEngine::write(const ItemBody& body, const std::optional<Bytes>& nameTag, RecordHold* hold) {
    Lock lock(mutex_);
    const auto before = store_->item(body.id);
    // An edit read before a deletion here must not bring the item back.
    if (before && before->deleted) throw SyncAPIError::notFound();
    if (!serverAccount_) {
        queueUnsent(body, nameTag);
        return;
    }
    // Sent now, this edit would reach the server before the queued ones of the item, and their replay
    // would then put an older version over it.
    const bool queuedBefore = hasQueuedOp(body.id, isItemKind);
    // The row and its put together, before the server is asked: an answer lost after the server took
    // the put leaves it queued, and no pull writes over a row whose change still waits.
    const auto op = queueOffline(body, nameTag);
    if (hold) hold->unlock();
    if (!queuedBefore) sendPut(lock, op, body, before);
}

// The first call of a queued put, made at once. While it is under way the replay leaves the put alone.
void SyncEngine::sendPut(Lock& lock, const PendingOpRecord& op, const ItemBody& body,
                         const std::optional<ItemRecord>& before) {
    inFlight_.insert(op.opId);
    std::optional<std::int64_t> newRevision;
    std::optional<SyncAPIError> refused;
    try {
        newRevision = unlocked(lock, [&] { return api_->putItem(body.id, body, body.revision).newRevision; });
    } catch (const SyncAPIError& error) {
        if (isConflict(error) || error.kind() == SyncAPIError::Kind::notFound) refused = error;
    } catch (...) {
    }
    inFlight_.erase(op.opId);
    if (newRevision) {
        sentDirectly_.insert(op.opId);
        try {
            settleDelivered(op, body, *newRevision);
        } catch (const std::exception& error) {
            // The edit is stored and queued: the replay finds it on the server and settles it then.
            logMessage(LogLevel::Warning, kLogCategory, "put of " + op.itemId.text() + " stays queued: " + error.what());
        }
        return;
    }
    // Offline, transport, anything else: the put waits in the queue and the edit stands.
    if (!refused) return;
    sentDirectly_.insert(op.opId);
    if (refused->kind() == SyncAPIError::Kind::notFound) {
        settleGone(op);
        throw *refused;
    }
    rejectPut(lock, op, body, before);
    throw *refused;
}

// The server holds another version: this edit is not written. Unless the item moved on here meanwhile
// (a later edit on top of it, which keeps its own turn in the queue), the row becomes the server's copy,
// or what it held before when that cannot be fetched. The put leaves the queue either way.
void SyncEngine::rejectPut(Lock& lock, const PendingOpRecord& op, const ItemBody& body,
                           const std::optional<ItemRecord>& before) {
    const auto untouched = [&] {
        const auto ops = store_->pendingOps(op.itemId);
        return ops.size() == 1 && ops.front().opId == op.opId && store_->item(op.itemId) == body.toRecord(false);
    };
    std::optional<ItemRecord> restored;
    if (untouched()) {
        try {
            restored = withType(unlocked(lock, [&] { return api_->fetchItem(op.itemId); }), body.type).toRecord(false);
        } catch (...) {
            restored = before;
        }
        if (!untouched()) restored.reset();
    }
    store_->settleItemOps(restored, {}, {op.opId});
}

// The put `op` carrying `body` reached the server, which gave it `newRevision`. The row becomes the
// body with that revision, except that a later edit on top of it, or a deletion made here since, stays
// and only learns the revision; the puts queued behind it, made on top of it, build on it now. One
// transaction.
void SyncEngine::settleDelivered(const PendingOpRecord& op, const ItemBody& body, std::int64_t newRevision) {
    std::vector<PendingOpRecord> rebased;
    for (auto later : store_->pendingOps(op.itemId)) {
        if (later.opId == op.opId || later.kind != Kind::put || later.baseRevision != op.baseRevision) continue;
        try {
            auto laterBody = itemBodyFromJson(textView(later.payloadBlob));
            laterBody.revision = newRevision;
            later.payloadBlob = bytesOf(toJsonText(laterBody));
        } catch (const JsonDecodingError&) {
            continue;  // the replay drops it
        }
        later.baseRevision = newRevision;
        rebased.push_back(std::move(later));
    }
    auto row = store_->item(op.itemId);
    const bool editedLater = row && !row->deleted && row->revision == op.baseRevision &&
                             !sameContent(ItemBody::fromRecord(*row), body);
    if (!row || !(row->deleted || editedLater)) row = body.toRecord(false);
    row->revision = newRevision;
    store_->settleItemOps(row, rebased, {op.opId});
}

void SyncEngine::create(const ItemBody& body, const std::optional<Bytes>& nameTag) {
    Lock lock(mutex_);
    // The row and its creation are queued together before the server is asked: a process that ends
    // during the call leaves the creation for the next replay.
    const auto op = nextOp(Kind::create, body.id, bytesOf(toJsonText(body)), body.revision);
    store_->upsertItemAndEnqueue(body.toRecord(false), nameTag, op);
    lastQueuedAt_ = op.createdAt;
    if (serverAccount_) sendQueued(lock, op, [&] { api_->createItem(body); });
}

void SyncEngine::createAll(const std::vector<ItemBody>& bodies) {
    Lock lock(mutex_);
    std::vector<VaelStore::QueuedItem> rows;
    rows.reserve(bodies.size());
    for (const auto& body : bodies) {
        rows.push_back({body.toRecord(false), nextOp(Kind::create, body.id, bytesOf(toJsonText(body)), body.revision)});
        lastQueuedAt_ = rows.back().op.createdAt;  // the next one queues after it
    }
    if (rows.empty()) return;
    store_->upsertItemsAndEnqueue(rows);
    if (!serverAccount_) return;
    // Each is sent by this call in turn: until its turn, a replay stops at it rather than send it too.
    for (const auto& row : rows) inFlight_.insert(row.op.opId);
    struct Unmark {
        SyncEngine& engine;
        const std::vector<VaelStore::QueuedItem>& rows;
        ~Unmark() {
            for (const auto& row : rows) engine.inFlight_.erase(row.op.opId);
        }
    } unmark{*this, rows};
    for (std::size_t i = 0; i < bodies.size(); ++i) sendQueued(lock, rows[i].op, [&] { api_->createItem(bodies[i]); });
}

void SyncEngine::deleteItem(const Uuid& id, RecordHold* hold) {
    Lock lock(mutex_);
    if (!serverAccount_) {
        deleteUnsent(id);
        return;
    }
    std::int64_t baseRevision = 0;
    const bool queuedBefore = hasQueuedOp(id, isItemKind);
    const auto local = store_->item(id);
    if (local) baseRevision = local->revision;
    const auto op = nextOp(Kind::delete_, id, {}, baseRevision);
    if (local) {
        auto tombstone = *local;
        tombstone.deleted = true;
        tombstone.updatedAt = clock_->now();
        store_->upsertItemAndEnqueue(tombstone, std::nullopt, op);
    } else {
        store_->enqueue(op);
    }
    lastQueuedAt_ = op.createdAt;
    if (hold) hold->unlock();
    if (!queuedBefore) sendQueued(lock, op, [&] { api_->deleteItem(id); });
}

void SyncEngine::createCollection(const CollectionRecord& record) {
    Lock lock(mutex_);
    const auto op = nextOp(Kind::createCollection, record.id, bytesOf(toJsonText(record)), 0);
    store_->upsertCollectionAndEnqueue(record, op);
    lastQueuedAt_ = op.createdAt;
    if (serverAccount_) sendQueued(lock, op, [&] { api_->createCollection(record); });
}

void SyncEngine::patchCollection(const CollectionRecord& record, RecordHold* hold) {
    Lock lock(mutex_);
    const bool queuedBefore = hasQueuedOp(record.id, isCollectionKind);
    const auto op = nextOp(Kind::putCollection, record.id, bytesOf(toJsonText(record)), 0);
    store_->upsertCollectionAndEnqueue(record, op);
    lastQueuedAt_ = op.createdAt;
    if (hold) hold->unlock();
    if (!queuedBefore && serverAccount_) sendQueued(lock, op, [&] { api_->patchCollection(record); });
}

void SyncEngine::deleteCollection(const Uuid& id, RecordHold* hold) {
    Lock lock(mutex_);
    const bool queuedBefore = hasQueuedOp(id, isCollectionKind);
    const auto op = nextOp(Kind::deleteCollection, id, {}, 0);
    if (auto local = store_->collection(id)) {
        local->deleted = true;
        local->updatedAt = clock_->now();
        store_->upsertCollectionAndEnqueue(*local, op);
    } else {
        store_->enqueue(op);
    }
    lastQueuedAt_ = op.createdAt;
    if (hold) hold->unlock();
    if (!queuedBefore && serverAccount_) sendQueued(lock, op, [&] { api_->deleteCollection(id); });
}

// The first call of a queued operation, made at once. The operation leaves the queue when the server
// takes it (a creation it already has, or a deletion of what it no longer has, counts); otherwise the
// replay sends it later. While the call is under way the replay leaves the operation alone.
template <class Call>
void SyncEngine::sendQueued(Lock& lock, const PendingOpRecord& op, Call&& call) {
    const bool creation = op.kind == Kind::create || op.kind == Kind::createCollection;
    const bool deletion = op.kind == Kind::delete_ || op.kind == Kind::deleteCollection;
    inFlight_.insert(op.opId);
    bool taken = false;
    try {
        unlocked(lock, call);
        taken = true;
    } catch (const SyncAPIError& error) {
        taken = (creation && isConflict(error)) || (deletion && error.kind() == SyncAPIError::Kind::notFound);
    } catch (...) {
    }
    inFlight_.erase(op.opId);
    if (!taken) return;
    sentDirectly_.insert(op.opId);
    try {
        store_->deletePendingOp(op.opId);
    } catch (const std::exception& error) {
        // The replay sends it once more, which the server answers as already done.
        logMessage(LogLevel::Warning, kLogCategory,
                   std::string(toText(op.kind)) + " of " + op.itemId.text() + " stays queued: " + error.what());
    }
}

// --- queueing ---

// Without a server account nothing of an item was ever sent, so its one queued operation takes the new
// body: a queued creation stays a creation, a queued put keeps the revision it was based on. Queued
// anew, it goes after every group the body may now name.
void SyncEngine::queueUnsent(const ItemBody& body, const std::optional<Bytes>& nameTag) {
    auto kind = Kind::put;
    auto baseRevision = body.revision;
    std::vector<Uuid> replaced;
    bool basedOnPut = false;
    for (const auto& queued : store_->pendingOps(body.id)) {
        if (!isItemKind(queued.kind)) continue;
        replaced.push_back(queued.opId);
        if (queued.kind == Kind::create) kind = Kind::create;
        if (queued.kind == Kind::put && !basedOnPut) {
            baseRevision = queued.baseRevision;
            basedOnPut = true;
        }
    }
    if (kind == Kind::create) baseRevision = body.revision;
    const auto op = nextOp(kind, body.id, bytesOf(toJsonText(body)), baseRevision);
    store_->upsertItemAndEnqueue(body.toRecord(false), nameTag, op, replaced);
    lastQueuedAt_ = op.createdAt;
}

// The deletion of an item that was never sent: a queued creation and everything behind it leave the
// queue with nothing in their place; queued puts give way to one deletion.
void SyncEngine::deleteUnsent(const Uuid& id) {
    const auto local = store_->item(id);
    std::int64_t baseRevision = local ? local->revision : 0;
    std::vector<Uuid> replaced;
    bool created = false;
    bool basedOnPut = false;
    for (const auto& queued : store_->pendingOps(id)) {
        if (!isItemKind(queued.kind)) continue;
        replaced.push_back(queued.opId);
        if (queued.kind == Kind::create) created = true;
        if (queued.kind == Kind::put && !basedOnPut) {
            baseRevision = queued.baseRevision;
            basedOnPut = true;
        }
    }
    std::optional<PendingOpRecord> op;
    if (!created) op = nextOp(Kind::delete_, id, {}, baseRevision);
    if (local) {
        auto tombstone = *local;
        tombstone.deleted = true;
        tombstone.updatedAt = clock_->now();
        store_->upsertItemAndEnqueue(tombstone, std::nullopt, op, replaced);
    } else {
        for (const auto& opId : replaced) store_->deletePendingOp(opId);
        if (op) store_->enqueue(*op);
    }
    if (op) lastQueuedAt_ = op->createdAt;
}

// The row and its put together: a crash between the two must not keep an edit that is never sent.
PendingOpRecord SyncEngine::queueOffline(const ItemBody& body, const std::optional<Bytes>& nameTag) {
    auto op = nextOp(Kind::put, body.id, bytesOf(toJsonText(body)), body.revision);
    store_->upsertItemAndEnqueue(body.toRecord(false), nameTag, op);
    lastQueuedAt_ = op.createdAt;
    return op;
}

PendingOpRecord SyncEngine::nextOp(PendingOpRecord::Kind kind, const Uuid& itemId, Bytes payload,
                                   std::int64_t baseRevision) {
    return PendingOpRecord{
        .opId = Uuid::random(),
        .kind = kind,
        .itemId = itemId,
        .payloadBlob = std::move(payload),
        .baseRevision = baseRevision,
        .createdAt = nextQueueTime(),
    };
}

// The queue is ordered by creation time to the millisecond, then by the random opId. Two operations
// queued within one millisecond (a create and its first edit), or after the wall clock stepped back,
// would otherwise replay in an arbitrary order, and a put sent before its create fails for ever.
TimePoint SyncEngine::nextQueueTime() {
    auto now = truncatedToMilliseconds(clock_->now());
    if (!lastQueuedAt_) {
        try {
            lastQueuedAt_ = store_->latestPendingOpTime();
        } catch (...) {
            // An unreadable queue fails the replay on its own; queueing goes on with the clock.
        }
    }
    if (lastQueuedAt_ && now <= *lastQueuedAt_) now = *lastQueuedAt_ + std::chrono::milliseconds(1);
    return now;
}

bool SyncEngine::hasQueuedOp(const Uuid& id, bool (*ofKind)(PendingOpRecord::Kind)) {
    try {
        for (const auto& op : store_->pendingOps(id))
            if (ofKind(op.kind)) return true;
    } catch (...) {
        // An unreadable queue fails the replay on its own; the change goes to the server directly.
    }
    return false;
}

bool SyncEngine::deletionQueued(const Uuid& id, PendingOpRecord::Kind deletion) {
    for (const auto& op : store_->pendingOps(id))
        if (op.kind == deletion) return true;
    return false;
}

void SyncEngine::tombstoneItem(const Uuid& id) {
    if (auto local = store_->item(id); local && !local->deleted) {
        local->deleted = true;
        local->updatedAt = clock_->now();
        store_->upsertItem(*local);
    }
}

void SyncEngine::tombstoneCollection(const Uuid& id) {
    if (auto local = store_->collection(id); local && !local->deleted) {
        local->deleted = true;
        local->updatedAt = clock_->now();
        store_->upsertCollection(*local);
    }
}

std::optional<ItemBody> SyncEngine::decodeItem(const PendingOpRecord& op) {
    try {
        return itemBodyFromJson(textView(op.payloadBlob));
    } catch (const JsonDecodingError&) {
        // Undecodable is dropped, never retried.
        try {
            store_->deletePendingOp(op.opId);
        } catch (...) {
        }
        return std::nullopt;
    }
}

std::int64_t SyncEngine::pendingCount() {
    Lock lock(mutex_);
    return static_cast<std::int64_t>(store_->pendingOps().size());
}

// --- replay ---

template <class Call>
SyncEngine::Sent SyncEngine::sendWithRetry(Lock& lock, Call&& call) {
    for (int attempt = 0;; ++attempt) {
        try {
            unlocked(lock, call);
            return Sent::success;
        } catch (const SyncAPIError& error) {
            if (isConflict(error)) return Sent::conflict;
            if (error.kind() == SyncAPIError::Kind::notFound) return Sent::gone;
        } catch (...) {
        }
        if (attempt == 1) return Sent::failure;
        unlocked(lock, [&] {
            try {
                pause_->pause(retryPause);
            } catch (...) {
                // A pause that fails is over: the retry follows at once.
            }
        });
    }
}

ReplayOutcome SyncEngine::replayPending() {
    Lock lock(mutex_);
    if (!serverAccount_) return ReplayOutcome{.conflicts = {}, .complete = false};
    replayDone_.wait(lock, [&] { return !replaying_; });
    replaying_ = true;
    struct Done {
        SyncEngine& engine;
        ~Done() {
            engine.replaying_ = false;
            engine.replayDone_.notify_all();
        }
    } done{*this};

    // The snapshot: operations queued from here on wait for the next replay.
    sentDirectly_.clear();
    const auto ops = store_->pendingOps();
    ReplayOutcome outcome;
    for (const auto& listed : ops) {
        // Taken by its first call since the snapshot: never sent twice.
        if (sentDirectly_.contains(listed.opId)) continue;
        // Its first call is still under way, and what follows may build on it.
        if (inFlight_.contains(listed.opId)) {
            outcome.complete = false;
            outcome.stoppedAtFirstCall = true;
            break;
        }
        // As queued now: settled meanwhile, it is not sent again; rebased on a put delivered
        // meanwhile, it builds on that put's revision.
        std::optional<PendingOpRecord> op;
        try {
            for (auto& queued : store_->pendingOps(listed.itemId))
                if (queued.opId == listed.opId) op = std::move(queued);
        } catch (...) {
            outcome.complete = false;
            break;
        }
        if (!op) continue;
        if (!replayOne(lock, *op, outcome)) {
            outcome.complete = false;
            break;
        }
    }
    return outcome;
}

// The server no longer has the object (another member or device deleted it, or its group): the
// deletion stands here too, and the change is settled so that the operations behind it go out.
bool SyncEngine::settleGone(const PendingOpRecord& op) {
    try {
        if (isItemKind(op.kind)) tombstoneItem(op.itemId);
        else tombstoneCollection(op.itemId);
        store_->deletePendingOp(op.opId);
    } catch (...) {
        return false;
    }
    logMessage(LogLevel::Info, kLogCategory,
               std::string(toText(op.kind)) + " of " + op.itemId.text() + " settled: deleted on the server");
    return true;
}

bool SyncEngine::replayOne(Lock& lock, const PendingOpRecord& op, ReplayOutcome& outcome) {
    auto dropOp = [&] {
        try {
            store_->deletePendingOp(op.opId);
        } catch (...) {
        }
    };

    switch (op.kind) {
        case Kind::put: {
            const auto body = decodeItem(op);
            if (!body) return true;
            std::int64_t newRevision = 0;
            const auto sent = sendWithRetry(lock, [&] {
                newRevision = api_->putItem(op.itemId, *body, op.baseRevision).newRevision;
            });
            if (sent == Sent::gone) return settleGone(op);
            if (sent == Sent::conflict) {
                std::optional<ItemBody> theirs;
                try {
                    theirs = withType(unlocked(lock, [&] { return api_->fetchItem(op.itemId); }), body->type);
                } catch (...) {
                    return false;
                }
                // The server already holds this version (an earlier call of this put whose answer was
                // lost): it was delivered.
                if (!sameContent(*theirs, *body)) {
                    outcome.conflicts.push_back(SyncConflict{.itemId = op.itemId, .mine = *body, .theirs = *theirs});
                    return true;
                }
                newRevision = theirs->revision;
            } else if (sent == Sent::failure) {
                return false;
            }
            try {
                settleDelivered(op, *body, newRevision);
                return true;
            } catch (...) {
                return false;
            }
        }
        case Kind::create: {
            const auto body = decodeItem(op);
            if (!body) return true;
            const auto sent = sendWithRetry(lock, [&] { api_->createItem(*body); });
            if (sent == Sent::failure) return false;
            if (sent == Sent::gone) return settleGone(op);
            if (sent == Sent::conflict) {
                store_->deletePendingOp(op.opId);  // its failure ends the replay with an error
                return true;
            }
            try {
                store_->deletePendingOp(op.opId);
                return true;
            } catch (...) {
                return false;
            }
        }
        case Kind::createCollection:
        case Kind::putCollection: {
            CollectionRecord record;
            try {
                record = collectionRecordFromJson(textView(op.payloadBlob));
            } catch (const JsonDecodingError&) {
                dropOp();
                return true;
            }
            const bool creating = op.kind == Kind::createCollection;
            const auto sent = sendWithRetry(lock, [&] {
                if (creating) api_->createCollection(record);
                else api_->patchCollection(record);
            });
            if (sent == Sent::failure) return false;
            if (sent == Sent::gone) return settleGone(op);
            if (sent == Sent::conflict) {
                if (!creating) return false;
                store_->deletePendingOp(op.opId);  // its failure ends the replay with an error
                return true;
            }
            try {
                if (!creating) {
                    // As with items: a group deleted here meanwhile stays deleted.
                    const auto local = store_->collection(record.id);
                    if (!local || !local->deleted) store_->upsertCollection(record);
                }
                store_->deletePendingOp(op.opId);
                return true;
            } catch (...) {
                return false;
            }
        }
        case Kind::delete_:
        case Kind::deleteCollection: {
            const auto sent = sendWithRetry(lock, [&] {
                if (op.kind == Kind::delete_) api_->deleteItem(op.itemId);
                else api_->deleteCollection(op.itemId);
            });
            // Gone already: an earlier call of this deletion reached the server, or another device's.
            if (sent != Sent::success && sent != Sent::gone) return false;
            try {
                store_->deletePendingOp(op.opId);
                return true;
            } catch (...) {
                return false;
            }
        }
    }
    return false;
}

// --- conflict resolution ---

void SyncEngine::resolveConflict(const SyncConflict& conflict, ConflictChoice choice) {
    Lock lock(mutex_);
    // Only the put that carried this local version is settled; a later edit or a queued delete of the
    // same item still has to reach the server.
    std::optional<Uuid> settled;
    for (const auto& op : store_->pendingOps()) {
        if (op.kind != Kind::put || op.itemId != conflict.itemId) continue;
        try {
            if (itemBodyFromJson(textView(op.payloadBlob)) == conflict.mine) {
                settled = op.opId;
                break;
            }
        } catch (const JsonDecodingError&) {
            // Left for the replay to drop.
        }
    }

    if (choice == ConflictChoice::keepTheirs) {
        store_->upsertItem(conflict.theirs.toRecord(false));
    } else if (auto body = versionToKeep(conflict)) {
        const auto local = store_->item(conflict.itemId);
        // Delivered like a put based on the row as it is now: an edit made here during the push stays.
        const auto pushed = PendingOpRecord{
            .opId = settled.value_or(Uuid::random()),
            .kind = Kind::put,
            .itemId = conflict.itemId,
            .payloadBlob = {},
            .baseRevision = local ? local->revision : body->revision,
            .createdAt = {},
        };
        body->revision = conflict.theirs.revision;
        const auto result =
            unlocked(lock, [&] { return api_->putItem(conflict.itemId, *body, conflict.theirs.revision); });
        settleDelivered(pushed, *body, result.newRevision);
        return;
    }

    if (settled) store_->deletePendingOp(*settled);
}

// The conflict's local version, unless the replica moved on since it was queued: a later local edit
// is what "mine" means now; after a local deletion (queued behind) or once the version is on the
// server, nothing is pushed.
std::optional<ItemBody> SyncEngine::versionToKeep(const SyncConflict& conflict) {
    const auto local = store_->item(conflict.itemId);
    if (!local) return conflict.mine;
    if (local->deleted) return std::nullopt;
    const auto current = ItemBody::fromRecord(*local);
    if (laterLocalEdit(*local, conflict.mine)) return current;
    // An earlier resolution already pushed this version: the server gave it a revision after theirs.
    if (sameContent(current, conflict.mine) && local->revision > conflict.theirs.revision) return std::nullopt;
    return conflict.mine;
}

}  // namespace vael

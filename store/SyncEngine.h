#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "core/Clock.h"
#include "store/PendingOp.h"
#include "store/SyncPause.h"
#include "store/SyncTypes.h"
#include "store/VaelStore.h"
#include "store/VaelSyncAPI.h"

namespace vael {

// The offline-first bridge between the replica and the server. Every change of an item or a group is
// written locally, then offered to the server; what the server does not take now is queued and
// replayed later. One operation runs at a time: the engine's lock is held for its local steps and
// released around every server call and the retry pause, so other calls interleave exactly there.
// Store errors pass through unchanged; server failures are absorbed as each operation says.
class SyncEngine {
public:
    static constexpr std::chrono::milliseconds retryPause{300};

    // Contacts nothing. The clock gives tombstone and queue times; the pause is the wait before a retry.
    SyncEngine(std::shared_ptr<VaelStore> store, std::shared_ptr<VaelSyncAPI> api,
               std::shared_ptr<const Clock> clock = std::make_shared<SystemClock>(),
               std::shared_ptr<SyncPause> pause = std::make_shared<BootTimePause>());
    SyncEngine(const SyncEngine&) = delete;
    SyncEngine& operator=(const SyncEngine&) = delete;

    // Without a server account (the vault was never connected) the engine calls nothing: every change
    // is queued, and since nothing was sent yet an item's queued operation takes its later changes, so
    // the queue holds at most one per item (a deletion of a queued creation leaves none); pull and
    // replay do nothing, and the replay answers incomplete. On by default.
    void setServerAccount(bool hasAccount);

    // Applies the server's changes since the last pull: groups, then items. An object deleted here
    // whose deletion still waits in the queue stays deleted. A record that cannot be read (or an item
    // that cannot be fetched, unless the server is offline) is skipped and logged, and the sync time
    // stays before the oldest one skipped, so the next pull asks for it again. Every other failure is
    // thrown, and the sync time then does not move. When the server's time is before the sync time
    // (its clock stepped back), everything is listed again and the sync time moves back with it.
    void pull();

    // The caller's hold on a record (VaelStore::lockRecordForWrite) from its read to its write. An
    // operation given one releases it once the local row and its queued operation are committed, so
    // that no record lock is held while the server is asked.
    using RecordHold = RecordWriteLocks::Lock;

    // An existing item, with the revision it was read at. The row and its put are committed together
    // first; while an operation of the item waited in the queue before, the put stays behind it without
    // asking the server. Otherwise the put is sent: taken, the row learns the server's revision; a
    // revision conflict means the edit is not written: the row becomes the server's copy (unless a
    // later edit here went on top of it) and SyncAPIError::conflict is thrown; an item gone on the
    // server becomes a tombstone and SyncAPIError::notFound is thrown; any other failure leaves the put
    // queued for the replay and returns normally. An item deleted here is not written:
    // SyncAPIError::notFound. The name tag, when given, is stored with the body's row
    // (VaelStore::itemsTaggedOrUntagged).
    void write(const ItemBody& body, const std::optional<Bytes>& nameTag = std::nullopt, RecordHold* hold = nullptr);
    // A new item: the row and its queued creation in one transaction, then the creation is sent; it
    // leaves the queue when the server takes it (a conflict counts), else the replay sends it.
    void create(const ItemBody& body, const std::optional<Bytes>& nameTag = std::nullopt);
    // New items as create() makes each, but every row and its queued creation in one transaction (all or
    // none); then the creations are sent in order, each as create() sends it.
    void createAll(const std::vector<ItemBody>& bodies);
    // Tombstones the local row (if any) and queues the deletion in one transaction, then sends it unless
    // an operation of the item waited in the queue before; it leaves the queue when the server takes
    // it (the item already gone counts).
    void deleteItem(const Uuid& id, RecordHold* hold = nullptr);

    // Stored and queued in one transaction, then sent as an item creation is.
    void createCollection(const CollectionRecord& record);
    // Stored and queued in one transaction, then sent unless an operation of the group waited before.
    void patchCollection(const CollectionRecord& record, RecordHold* hold = nullptr);
    // Tombstones only the group's own row (if any) and queues the deletion in one transaction, then
    // sends it as an item deletion is.
    void deleteCollection(const Uuid& id, RecordHold* hold = nullptr);

    // Sends the queue as read at the start, oldest first (each operation as it is queued when its turn
    // comes), one retry per operation; an operation whose first call is still under way ends the replay
    // (outcome incomplete, stoppedAtFirstCall), one taken or settled meanwhile is skipped. A put that meets a
    // newer server version is reported and stays queued (unless the server already holds that very
    // version); an edit or creation whose object or group is gone on the server is settled: the local
    // copy becomes a tombstone and the operation leaves the queue. The first operation the server does
    // not settle otherwise stops the replay (outcome incomplete). Throws only when the queue cannot be
    // read, or a settled creation cannot be removed from it. One replay at a time: a second caller
    // waits, then replays the queue as it is then.
    ReplayOutcome replayPending();

    std::int64_t pendingCount();

    // keepMine pushes the local version over the server's (the replica's current row when a later
    // local edit replaced the conflict's version; nothing when the item was deleted here); keepTheirs
    // stores the server's. Then removes the oldest queued put of the item whose payload is the
    // conflict's local version, if any. A local edit made while the version was pushed is kept and
    // builds on the revision the push got.
    void resolveConflict(const SyncConflict& conflict, ConflictChoice choice);

private:
    using Lock = std::unique_lock<std::mutex>;
    enum class Sent { success, conflict, gone, failure };

    template <class Call>
    static auto unlocked(Lock& lock, Call&& call);
    template <class Call>
    Sent sendWithRetry(Lock& lock, Call&& call);

    PendingOpRecord queueOffline(const ItemBody& body, const std::optional<Bytes>& nameTag = std::nullopt);
    void sendPut(Lock& lock, const PendingOpRecord& op, const ItemBody& body, const std::optional<ItemRecord>& before);
    void rejectPut(Lock& lock, const PendingOpRecord& op, const ItemBody& body, const std::optional<ItemRecord>& before);
    void settleDelivered(const PendingOpRecord& op, const ItemBody& body, std::int64_t newRevision);
    void queueUnsent(const ItemBody& body, const std::optional<Bytes>& nameTag);
    void deleteUnsent(const Uuid& id);
    template <class Call>
    void sendQueued(Lock& lock, const PendingOpRecord& op, Call&& call);
    PendingOpRecord nextOp(PendingOpRecord::Kind kind, const Uuid& itemId, Bytes payload, std::int64_t baseRevision);
    TimePoint nextQueueTime();
    std::optional<ItemBody> decodeItem(const PendingOpRecord& op);
    // Whether an operation of one of the kinds waits for the object; an unreadable queue answers no.
    bool hasQueuedOp(const Uuid& id, bool (*ofKind)(PendingOpRecord::Kind));
    bool deletionQueued(const Uuid& id, PendingOpRecord::Kind deletion);
    void tombstoneItem(const Uuid& id);
    void tombstoneCollection(const Uuid& id);
    // False when the replay has to stop here.
    bool replayOne(Lock& lock, const PendingOpRecord& op, ReplayOutcome& outcome);
    bool settleGone(const PendingOpRecord& op);
    std::optional<ItemBody> versionToKeep(const SyncConflict& conflict);

    std::shared_ptr<VaelStore> store_;
    std::shared_ptr<VaelSyncAPI> api_;
    std::shared_ptr<const Clock> clock_;
    std::shared_ptr<SyncPause> pause_;

    std::mutex mutex_;
    std::condition_variable replayDone_;
    bool replaying_ = false;
    bool serverAccount_ = true;
    std::set<Uuid> inFlight_;      // queued operations whose first call is under way
    std::set<Uuid> sentDirectly_;  // taken by their first call since the current replay's snapshot
    std::optional<TimePoint> lastQueuedAt_;
};

}  // namespace vael

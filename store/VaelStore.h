#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/RecordWriteLocks.h"
#include "store/PendingOp.h"
#include "store/Records.h"

namespace vael {

namespace VaelStoreInfo {
inline constexpr std::string_view version = "0.0.1";
}

// Runs a function on the thread the caller wants change notifications on (the application posts to
// its event loop, tests to a queue they drain). It must not run the function before it returns.
using PostFunction = std::function<void(std::function<void()>)>;

namespace detail {
class StoreCore;
struct Observation;
}  // namespace detail

// What the observed tables went through since a mark that contentChangesSince answered earlier.
struct ContentChanges {
    std::uint64_t mark = 0;  // the store's mark now: ask from here next time
    // False when what changed is not known (no mark was given, the journal no longer reaches back
    // to it, or another connection wrote to the file): the caller reads everything again.
    bool known = false;
    bool structure = false;         // collections or projects were written
    std::vector<ItemRecord> items;  // the item rows written, as they are now (tombstones included)
};

// An item row's name tag, to be kept only while the row still holds exactly the sealed name, key
// and group it was opened from.
struct NameTag {
    Uuid id;
    Uuid collectionId;
    Bytes nameBlob;
    Bytes wrappedItemKey;
    Bytes tag;
};

// Keeps one change observation alive; destroying it, or cancel(), stops it.
class VaultObservationToken {
public:
    VaultObservationToken() = default;
    VaultObservationToken(VaultObservationToken&& other) noexcept = default;
    VaultObservationToken& operator=(VaultObservationToken&& other) noexcept;
    VaultObservationToken(const VaultObservationToken&) = delete;
    VaultObservationToken& operator=(const VaultObservationToken&) = delete;
    ~VaultObservationToken();

    // No callback starts after this returns on the delivery thread. Calling it again does nothing.
    void cancel();

private:
    friend class VaelStore;
    explicit VaultObservationToken(std::shared_ptr<detail::Observation> observation);
    std::shared_ptr<detail::Observation> cancellable_;
};

// The replica database: one connection, every access serialised, each call one transaction.
// Every failure is the SQLite::Exception of the failing step, passed on unchanged (a row that does not
// decode into its record is one with code SQLITE_MISMATCH). Share it by std::shared_ptr.
class VaelStore final {
public:
    static constexpr int schemaVersion = 5;

    // Opens (creating, private to the user, when absent) the file and brings its schema up to date.
    // Never creates the folder.
    explicit VaelStore(const std::string& path);
    ~VaelStore();
    VaelStore(const VaelStore&) = delete;
    VaelStore& operator=(const VaelStore&) = delete;

    // Upserts replace the whole row of the same id, or insert it.
    void upsertItem(const ItemRecord& record);
    // The same with the row's name tag, set in the same transaction (nothing: the row has none).
    void upsertItem(const ItemRecord& record, const std::optional<Bytes>& nameTag);
    std::optional<ItemRecord> item(const Uuid& id) const;  // tombstones included
    // Live items of the collection, by nameBlob bytes ascending, or in no set order for a caller that
    // orders them itself (sorting a large collection costs the read several times over).
    enum class ItemOrder { byNameBlob, unordered };
    std::vector<ItemRecord> items(const Uuid& collectionId, ItemOrder order = ItemOrder::byNameBlob) const;

    // Name tags are a local index of item names, never synced: a row's tag is cleared by any write
    // that changes its group, sealed name or wrapped key without setting a new one.
    // The live items of the collection tagged `tag` and those with no tag, by nameBlob bytes.
    struct TaggedItem {
        ItemRecord record;
        bool tagged = false;
    };
    std::vector<TaggedItem> itemsTaggedOrUntagged(const Uuid& collectionId, const Bytes& tag) const;
    // Tags the untagged rows that still hold what each tag was made from; leaves the others. Changes
    // no content: neither observations nor the change journal see it.
    void tagNames(const std::vector<NameTag>& tags);

    void upsertCollection(const CollectionRecord& record);
    std::optional<CollectionRecord> collection(const Uuid& id) const;  // tombstones included
    std::vector<CollectionRecord> collections(const Uuid& orgId) const;  // live, by sort
    std::vector<CollectionRecord> collections() const;                   // live, by sort

    void upsertProject(const ProjectRecord& record);

    // The group (when given), then the items, then the projects, then the new payloads of queued
    // operations (matched by opId), in one transaction: every row or none.
    void upsertGroupWithContents(const std::optional<CollectionRecord>& group, const std::vector<ItemRecord>& items,
                                 const std::vector<ProjectRecord>& projects,
                                 const std::vector<PendingOpRecord>& rewrittenOps = {});
    std::optional<ProjectRecord> project(const Uuid& id) const;  // tombstones included
    std::vector<ProjectRecord> projects() const;                 // live, by sort

    // Time of the last completed pull; nothing before the first.
    std::optional<TimePoint> lastSyncAt() const;
    void setLastSyncAt(TimePoint time);

    // The queue of local changes the server has not taken yet.
    void enqueue(const PendingOpRecord& op);                // a second op with the same opId fails
    // An item row (with its name tag), the queued operations it replaces leaving the queue and the one
    // that carries it (if any) joining it, in one transaction.
    void upsertItemAndEnqueue(const ItemRecord& record, const std::optional<Bytes>& nameTag,
                              const std::optional<PendingOpRecord>& op, const std::vector<Uuid>& replacedOps = {});
    // New item rows, each with the queued operation that carries it, in one transaction: every row or none.
    struct QueuedItem {
        ItemRecord record;
        PendingOpRecord op;
    };
    void upsertItemsAndEnqueue(const std::vector<QueuedItem>& items);
    // A group row and the queued operation that carries it, in one transaction.
    void upsertCollectionAndEnqueue(const CollectionRecord& record, const PendingOpRecord& op);
    // An item row (when given), queued operations rewritten in place (payload and base revision,
    // matched by opId) and operations leaving the queue, in one transaction.
    void settleItemOps(const std::optional<ItemRecord>& row, const std::vector<PendingOpRecord>& rewrittenOps,
                       const std::vector<Uuid>& removedOps);
    // Item rows fetched from the server, each with the row it replaces as its writer last saw it
    // (nothing: there was none). In one transaction, each is written only if its row is still as seen
    // and no operation of the item waits in the queue; answers how many were written.
    struct PulledItem {
        ItemRecord record;
        std::optional<ItemRecord> seen;
    };
    std::size_t upsertPulledItems(const std::vector<PulledItem>& items);
    std::vector<PendingOpRecord> pendingOps() const;        // by (createdAt, opId)
    // The queued operations of one item or collection, in queue order.
    std::vector<PendingOpRecord> pendingOps(const Uuid& itemId) const;
    void deletePendingOp(const Uuid& opId);                 // an absent op is no error
    // The latest createdAt in the queue, found through its index; nothing when the queue is empty.
    std::optional<TimePoint> latestPendingOpTime() const;

    // Calls onChange through post once soon after the start, then after every committed write to
    // items, collections or projects (writes committed before a pending call runs share it).
    // Never throws.
    [[nodiscard]] VaultObservationToken observeVaultChanges(std::function<void()> onChange, PostFunction post);

    // Counts committed transactions of this connection that changed items, collections or projects
    // since the store opened.
    std::uint64_t contentWriteCount() const;

    // The journal of content writes, for caches of decrypted data: which item rows were written since
    // `mark`, read in the same access, so a cache can bring itself up to date without reading
    // everything again. Commits of other connections to the same file are noticed too (as unknown).
    ContentChanges contentChangesSince(std::optional<std::uint64_t> mark) const;
    // Without waiting for the connection: true only when certainly nothing changed since `mark` (no
    // content commit of this store, no commit of another store of this process to the file, and a
    // look at the file for other processes' commits less than 20 ms ago). False: ask the above.
    bool contentUnchangedSince(std::uint64_t mark) const;

    // The exclusion that every read-modify-write of one record of this replica holds (RecordWriteLocks).
    [[nodiscard]] RecordWriteLocks::Lock lockRecordForWrite(const Uuid& id) const { return recordLocks_.lock(id); }

private:
    std::shared_ptr<detail::StoreCore> core_;
    mutable RecordWriteLocks recordLocks_;
};

}  // namespace vael

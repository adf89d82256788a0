#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    static constexpr int schemaVersion = 2;

    // Opens (creating, private to the user, when absent) the file and brings its schema up to date.
    // Never creates the folder.
    explicit VaelStore(const std::string& path);
    ~VaelStore();
    VaelStore(const VaelStore&) = delete;
    VaelStore& operator=(const VaelStore&) = delete;

    // Upserts replace the whole row of the same id, or insert it.
    void upsertItem(const ItemRecord& record);
    std::optional<ItemRecord> item(const Uuid& id) const;  // tombstones included
    // Live items of the collection, by nameBlob bytes ascending.
    std::vector<ItemRecord> items(const Uuid& collectionId) const;

    void upsertCollection(const CollectionRecord& record);
    std::optional<CollectionRecord> collection(const Uuid& id) const;  // tombstones included
    std::vector<CollectionRecord> collections(const Uuid& orgId) const;  // live, by sort
    std::vector<CollectionRecord> collections() const;                   // live, by sort

    void upsertProject(const ProjectRecord& record);

    // The group (when given), then the items, then the projects, in one transaction: every row or none.
    void upsertGroupWithContents(const std::optional<CollectionRecord>& group, const std::vector<ItemRecord>& items,
                                 const std::vector<ProjectRecord>& projects);
    std::optional<ProjectRecord> project(const Uuid& id) const;  // tombstones included
    std::vector<ProjectRecord> projects() const;                 // live, by sort

    // Time of the last completed pull; nothing before the first.
    std::optional<TimePoint> lastSyncAt() const;
    void setLastSyncAt(TimePoint time);

    // The queue of local changes the server has not taken yet.
    void enqueue(const PendingOpRecord& op);                // a second op with the same opId fails
    std::vector<PendingOpRecord> pendingOps() const;        // by (createdAt, opId)
    void deletePendingOp(const Uuid& opId);                 // an absent op is no error

    // Calls onChange through post once soon after the start, then after every committed change of
    // items, collections or projects that changes their row counts or latest updatedAt. Never throws;
    // a failure ends the observation and is logged.
    [[nodiscard]] VaultObservationToken observeVaultChanges(std::function<void()> onChange, PostFunction post);

    // Counts committed transactions that changed items, collections or projects since the store
    // opened. Read synchronously, so caches of decrypted data can tell that they are stale at once.
    std::uint64_t contentWriteCount() const;

private:
    std::shared_ptr<detail::StoreCore> core_;
};

}  // namespace vael

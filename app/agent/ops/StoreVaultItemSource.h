#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/agent/VaultItemSource.h"
#include "app/agent/ops/ItemNameIndex.h"
#include "core/Clock.h"
#include "crypto/ItemPayload.h"
#include "crypto/VaultCrypto.h"
#include "store/Records.h"
#include "store/SyncEngine.h"
#include "store/VaelStore.h"

namespace vael {

// The vault behind the agent socket: finds, lists, creates, changes and deletes items, groups and
// projects in the session's replica, opening and sealing every name and payload with the session's
// vault-crypto object. Item and group writes go through the sync engine when there is one, project
// writes straight into the store.
//
// One object serves one unlocked session and may be called from every connection thread at once.
// Every read-modify-write of an item, group or project holds the store's write lock of that record
// from the read to the write (VaelStore::lockRecordForWrite), as the application's own writes do, and
// never writes a tombstone back live. The only state it keeps is a view of the opened
// group and project names and an index of the opened item names, both brought up to date from the
// store's journal of content writes at the start of every operation (a written row costs the
// opening of its own name; writes of another connection to the file make everything be read
// again), so every answer is the one a fresh read of the store would give.
//
// Every operation that needs a key first checks that the vault is unlocked and otherwise throws
// VaelCryptoError(Locked); a vault locked half-way through ends the operation with that error too.
class StoreVaultItemSource final : public VaultItemSource {
public:
    // What the session opening found or made: the default project and group, and the default
    // group's open key, under which every project name is sealed.
    struct Defaults {
        Uuid projectID;
        std::string projectName;  // "Personal"
        Uuid collectionID;
        std::string collectionName;  // "local"
        CollectionKey collectionKey;
    };

    // One live group whose key opens.
    struct CollectionContext {
        CollectionRecord record;
        std::string name;     // opened, or the fallback name
        std::string project;  // the name of the group's project (the default project's when unknown)
        CollectionKey key;
        std::optional<Uuid> parentId;
    };

    // One live project whose name opens.
    struct ProjectContext {
        ProjectRecord record;
        std::string name;
    };

    // The item, payload and field a reference names.
    struct FoundItem {
        ItemRecord record;
        ItemPayload payload;
        ItemField field;
        std::size_t fieldIndex = 0;
        CollectionContext collection;
    };

    // A live, readable item with a website and a password field.
    struct BrowserCandidate {
        ItemRecord record;
        ItemPayload payload;
        CollectionContext collection;
    };

    // No engine: item and group writes go straight into the store. No presenter: capture is
    // unsupported. The clock gives update times and one-time codes. Does no input or output.
    StoreVaultItemSource(std::shared_ptr<VaelStore> store, std::shared_ptr<VaultCrypto> vault, Defaults defaults,
                         std::shared_ptr<SyncEngine> syncEngine,
                         std::shared_ptr<CredentialCapturePresenter> capturePresenter,
                         std::shared_ptr<const Clock> clock = std::make_shared<SystemClock>());
    ~StoreVaultItemSource() override;
    StoreVaultItemSource(const StoreVaultItemSource&) = delete;
    StoreVaultItemSource& operator=(const StoreVaultItemSource&) = delete;

    std::optional<ResolvedItem> lookup(const VaultRef& ref) override;
    std::vector<VaultUDSListEntry> list(const std::optional<std::string>& collection,
                                        const std::optional<std::string>& query) override;

    VaultUDSSecretMetadata captureSecret(const VaultUDSRequest& request) override;
    // Runs the presenter inside `whileAsking`, through which a caller that holds something other
    // work waits on gives it back until the owner answers; everything the write needs is read after.
    using WhileAsking = std::function<void(const std::function<void()>& ask)>;
    VaultUDSSecretMetadata captureSecret(const VaultUDSRequest& request, const WhileAsking& whileAsking);
    VaultUDSSecretMetadata createSecret(const VaultUDSRequest& request) override;
    VaultUDSSecretMetadata getSecret(const VaultUDSRequest& request) override;
    VaultUDSSecretMetadata updateSecret(const VaultUDSRequest& request, const ApproveChange& approve) override;
    VaultUDSDeleteResult deleteSecret(const VaultUDSRequest& request, const ApproveChange& approve) override;

    VaultUDSGroupList listGroups() override;
    VaultUDSGroup createGroup(const VaultUDSRequest& request) override;
    VaultUDSGroup getGroup(const VaultUDSRequest& request) override;
    VaultUDSGroup updateGroup(const VaultUDSRequest& request) override;
    VaultUDSDeleteResult deleteGroup(const VaultUDSRequest& request, const ApproveChange& approve) override;

    VaultUDSProjectList listProjects() override;
    VaultUDSProject createProject(const VaultUDSRequest& request) override;
    VaultUDSProject getProject(const VaultUDSRequest& request) override;
    VaultUDSProject updateProject(const VaultUDSRequest& request) override;
    VaultUDSDeleteResult deleteProject(const VaultUDSRequest& request, const ApproveChange& approve) override;

    VaultUDSBrowserMatches browserMatch(const VaultUDSRequest& request) override;
    VaultUDSBrowserFill browserFill(const VaultUDSRequest& request) override;
    VaultUDSBrowserTotp browserTotp(const VaultUDSRequest& request) override;
    VaultUDSSecretMetadata browserSave(const VaultUDSRequest& request) override;

    // Takes the default group's new key after a rotation; project names are opened and sealed with it
    // from then on. The caller holds every operation off while the store switches keys.
    void setDefaultCollectionKey(CollectionKey key);

private:
    CollectionKey defaultCollectionKey() const;

    // What a failed store read means: nothing there (listings and lookups), or the read's error
    // (everything that would otherwise create or delete on the strength of it).
    enum class OnReadFailure { empty, raise };
    struct Reads {
        OnReadFailure policy;
        bool failed = false;
    };
    struct Snapshot;

    // State, contexts and sealing.
    void requireUnlocked() const;
    TimePoint now() const { return clock_->now(); }
    template <class Read>
    auto read(Reads& reads, Read&& call) const -> decltype(call());
    std::vector<ProjectContext> openProjects(Reads& reads) const;
    std::vector<CollectionContext> openCollections(const std::vector<ProjectContext>& projects, Reads& reads) const;
    std::shared_ptr<const Snapshot> snapshot(OnReadFailure policy) const;
    std::shared_ptr<const Snapshot> bringUpToDate(OnReadFailure policy) const;
    void setCurrent(std::shared_ptr<const Snapshot> view, std::uint64_t mark) const;
    std::shared_ptr<Snapshot> openSnapshot(Reads& reads) const;
    static ItemNameIndex::FindGroup groupKeys(std::shared_ptr<const Snapshot> view);
    // Where a reference points: the opened item, the field's index, and the group in the view.
    struct Match {
        std::shared_ptr<const Snapshot> view;
        std::size_t collection = 0;
        std::shared_ptr<const ItemNameIndex::Entry> entry;
        std::size_t field = 0;
    };
    std::optional<Match> matchIn(const std::shared_ptr<const Snapshot>& view, const VaultRef& ref,
                                 bool exactSpelling) const;
    Match match(const VaultRef& ref) const;
    std::optional<ItemPayload> openPayload(const ItemRecord& record, const CollectionKey& key) const;
    SealedBlob sealPayload(const ItemPayload& payload, const Uuid& id, const CollectionKey& key) const;
    SealedBlob sealName(const std::string& name, const Uuid& id, const CollectionKey& key) const;
    ItemBody itemBody(const Uuid& id, const Uuid& collectionId, std::string type, SealedBlob sealed,
                      std::string aiAccess, std::int64_t revision) const;
    FoundItem findItem(const VaultRef& ref) const;
    // What an update would make of the item found, and the owner's prompt for it.
    struct PlannedChange;
    PlannedChange planChange(const FoundItem& found, const VaultUDSRequest& request) const;
    static std::string describeChange(const FoundItem& found, const PlannedChange& change);
    // The item a reference names, read under the item's write lock, which the caller holds until its
    // write is done; a row written between the find and the lock is found again.
    struct LockedItem {
        FoundItem found;
        RecordWriteLocks::Lock lock;
    };
    LockedItem findItemForWrite(const VaultRef& ref) const;
    // Whether the stored row is still exactly `seen` (a tombstone or a newer write is not).
    bool unchangedSince(const ItemRecord& seen) const;
    CollectionContext ensureGroup(const std::string& name, const std::string& project,
                                  const std::optional<std::string>& parent);
    ProjectContext ensureProject(const std::string& name);
    static std::optional<ProjectContext> projectNamed(const std::vector<ProjectContext>& projects,
                                                      const std::string& nameOrID);
    ProjectContext project(const std::string& nameOrID) const;
    CollectionContext group(const std::vector<CollectionContext>& contexts, const std::string& nameOrID) const;
    // The group or project a name or id stands for, read under its write lock as findItemForWrite
    // reads an item; a deleted one is not found.
    struct LockedGroup {
        CollectionContext found;
        std::shared_ptr<const Snapshot> view;  // the one it was found in
        RecordWriteLocks::Lock lock;
    };
    LockedGroup findGroupForWrite(const std::string& nameOrID) const;
    struct LockedProject {
        ProjectContext found;
        RecordWriteLocks::Lock lock;
    };
    LockedProject findProjectForWrite(const std::string& nameOrID) const;

    // The group a write goes to when the agent names none: the default group by its fixed id, so a
    // default that an agent renamed stays the default. A group named without a project is looked
    // up or made in the default project, also by its id.
    CollectionContext targetGroup(const std::string& group, const std::string& project);

    // Names are unique among siblings up to canonical equivalence, or a reference would stand for
    // two items. Each throws VaultUDSManagementError::alreadyExists; `except` is the one renamed.
    void refuseItemNameClash(const CollectionContext& group, const std::string& name,
                             const std::optional<Uuid>& except) const;
    void refuseGroupNameClash(const CollectionContext& renamed, const std::string& name) const;
    void refuseProjectNameClash(const ProjectContext& renamed, const std::string& name) const;

    // Writes, through the engine when there is one. An item row is written with the tag of the name
    // sealed in it (ItemNameIndex), so that searches find it without opening it.
    Bytes nameTag(const std::string& name, const CollectionKey& key) const;
    void writeNewItem(const ItemBody& body, const Bytes& nameTag);
    // A hold on the item, when given, is released once the local write is committed, before the server
    // is asked.
    void writeChangedItem(const ItemBody& body, const Bytes& nameTag, SyncEngine::RecordHold* hold = nullptr);
    void tombstoneItem(const Uuid& id);                                  // takes the item's write lock
    void tombstoneItemHeld(const Uuid& id, SyncEngine::RecordHold& hold);  // the caller holds it
    void writeNewGroup(const CollectionRecord& record);
    void writeGroupChange(const CollectionRecord& record, SyncEngine::RecordHold* hold = nullptr);
    void tombstoneGroup(const Uuid& id);
    // How many live items a deletion of the group (with the groups below it) or project takes.
    std::size_t itemsBelow(const Uuid& collectionId) const;

    // Cascades.
    void deleteItems(const Uuid& collectionId);
    void cascadeDeleteGroupContents(const Uuid& collectionId);

    // Browser operations.
    std::vector<BrowserCandidate> browserCandidates(OnReadFailure policy) const;
    BrowserCandidate browserItem(const std::optional<std::string>& id, const std::optional<std::string>& origin) const;
    VaultUDSSecretMetadata updatePassword(const BrowserCandidate& candidate, const std::string& password,
                                          SyncEngine::RecordHold& hold);

    std::shared_ptr<VaelStore> store_;
    std::shared_ptr<VaultCrypto> vault_;
    Defaults defaults_;
    std::shared_ptr<SyncEngine> syncEngine_;
    std::shared_ptr<CredentialCapturePresenter> capturePresenter_;
    std::shared_ptr<const Clock> clock_;

    mutable std::mutex defaultKeyMutex_;  // guards defaults_.collectionKey
    mutable std::mutex snapshotMutex_;
    mutable std::shared_ptr<const Snapshot> snapshot_;
    mutable std::optional<std::uint64_t> mark_;  // the store's content mark that the view and index follow
    mutable ItemNameIndex names_;
    // One look at the store serves every request that arrived before it began.
    mutable std::mutex lookMutex_;
    mutable std::condition_variable lookDone_;
    mutable bool looking_ = false;
    mutable std::uint64_t looksBegun_ = 0;
    mutable std::uint64_t looksDone_ = 0;
    mutable std::shared_ptr<const Snapshot> lastLook_;
    // The kept view and the store mark that it and the index follow; readers share the lock.
    struct Current {
        std::shared_ptr<const Snapshot> view;
        std::uint64_t mark = 0;
    };
    mutable std::shared_mutex currentMutex_;
    mutable Current current_;
};

}  // namespace vael

#include "app/agent/ops/StoreVaultItemSource.h"

#include <stdexcept>
#include <unordered_map>

#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemLayout.h"
#include "app/agent/ops/ItemSourceSupport.h"

namespace vael {

using itemsource::fail;
using Case = VaultUDSManagementError::Case;

namespace {

bool isLocked(const VaelCryptoError& error) { return error.code() == VaelCryptoError::Code::Locked; }

}  // namespace

// --- support shared by the operation files ---

namespace itemsource {

std::string trimmedOr(const std::optional<std::string>& value, std::string_view fallback) {
    if (value) {
        auto trimmed = trimWhitespace(*value);
        if (!trimmed.empty()) return trimmed;
    }
    return std::string(fallback);
}

std::string required(const std::optional<std::string>& value) {
    auto trimmed = trimmedOr(value, {});
    if (trimmed.empty()) fail(Case::invalid);
    return trimmed;
}

std::optional<std::vector<std::string>> cleanList(const std::optional<std::vector<std::string>>& list) {
    if (!list) return std::nullopt;
    std::vector<std::string> kept;
    for (const auto& entry : *list) {
        auto trimmed = trimWhitespace(entry);
        if (!trimmed.empty()) kept.push_back(std::move(trimmed));
    }
    if (kept.empty()) return std::nullopt;
    return kept;
}

UDSAIAccess tierOf(std::string_view stored) { return aiAccessFromText(stored).value_or(UDSAIAccess::aiHidden); }

std::optional<std::size_t> firstOfKind(const ItemPayload& payload, ItemField::Kind kind) {
    for (std::size_t i = 0; i < payload.fields.size(); ++i) {
        if (payload.fields[i].kind == kind) return i;
    }
    return std::nullopt;
}

VaultUDSSecretMetadata metadata(const Uuid& id, const std::string& group, const ItemPayload& payload,
                                const ItemField& field, UDSAIAccess tier) {
    return VaultUDSSecretMetadata{
        .id = id.text(),
        .ref = VaultRef::make(group, payload.name, field.label),
        .name = payload.name,
        .fieldLabel = field.label,
        .kind = std::string(kindText(field.kind)),
        .aiAccess = tier,
        .group = group,
        .url = payload.url,
        .allowedHosts = payload.allowedHosts,
        .allowedCommands = payload.allowedCommands,
    };
}

}  // namespace itemsource

// --- state ---

StoreVaultItemSource::StoreVaultItemSource(std::shared_ptr<VaelStore> store, std::shared_ptr<VaultCrypto> vault,
                                           Defaults defaults, std::shared_ptr<SyncEngine> syncEngine,
                                           std::shared_ptr<CredentialCapturePresenter> capturePresenter,
                                           std::shared_ptr<const Clock> clock)
    : store_(std::move(store)),
      vault_(std::move(vault)),
      defaults_(std::move(defaults)),
      syncEngine_(std::move(syncEngine)),
      capturePresenter_(std::move(capturePresenter)),
      clock_(std::move(clock)),
      names_(store_, vault_, [this](const ItemRecord& record, const CollectionKey& key) {
          return openPayload(record, key);
      }) {
    if (!store_ || !vault_ || !clock_) throw std::invalid_argument("an item source needs a store, a vault and a clock");
}

StoreVaultItemSource::~StoreVaultItemSource() = default;

void StoreVaultItemSource::setDefaultCollectionKey(CollectionKey key) {
    {
        std::lock_guard lock(defaultKeyMutex_);
        defaults_.collectionKey = std::move(key);
    }
    // Everything opened under the old key is read afresh.
    {
        std::lock_guard lock(snapshotMutex_);
        names_.forget();
        snapshot_.reset();
        mark_.reset();
        setCurrent(nullptr, 0);
    }
    std::lock_guard lock(lookMutex_);
    lastLook_.reset();
}

CollectionKey StoreVaultItemSource::defaultCollectionKey() const {
    std::lock_guard lock(defaultKeyMutex_);
    return defaults_.collectionKey;
}

void StoreVaultItemSource::requireUnlocked() const {
    if (!vault_->isUnlocked()) throw VaelCryptoError(VaelCryptoError::Code::Locked, "the vault is locked");
}

// --- contexts ---

std::vector<StoreVaultItemSource::ProjectContext> StoreVaultItemSource::openProjects(Reads& reads) const {
    std::vector<ProjectContext> contexts;
    for (auto& row : read(reads, [&] { return store_->projects(); })) {
        try {
            auto name = vault_->openBlob(VaultCrypto::kEnvelopeVersion, row.nameBlob, row.id, row.nameWrappedKey,
                                         defaultCollectionKey());
            auto text = utf8Lossy(name.data(), name.size());
            contexts.push_back(ProjectContext{std::move(row), std::move(text)});
        } catch (const VaelCryptoError& error) {
            if (isLocked(error)) throw;
        }
    }
    return contexts;
}

std::vector<StoreVaultItemSource::CollectionContext> StoreVaultItemSource::openCollections(
    const std::vector<ProjectContext>& projects, Reads& reads) const {
    std::unordered_map<Uuid, std::string> projectNames;
    for (const auto& project : projects) projectNames[project.record.id] = project.name;

    std::vector<CollectionContext> contexts;
    for (auto& row : read(reads, [&] { return store_->collections(); })) {
        CollectionKey key;
        try {
            key = vault_->unwrapCollectionKey(row.wrappedKey);
        } catch (const VaelCryptoError& error) {
            if (isLocked(error)) throw;
            continue;
        }
        std::optional<std::string> name;
        if (row.nameWrappedKey) {
            try {
                auto opened =
                    vault_->openBlob(VaultCrypto::kEnvelopeVersion, row.nameBlob, row.id, *row.nameWrappedKey, key);
                name = utf8Lossy(opened.data(), opened.size());
            } catch (const VaelCryptoError& error) {
                if (isLocked(error)) throw;
            }
        }
        if (!name) name = row.id == defaults_.collectionID ? defaults_.collectionName : row.id.text().substr(0, 8);
        auto project = projectNames.find(row.orgId);
        auto parentId = row.parentId;
        contexts.push_back(CollectionContext{
            .record = std::move(row),
            .name = std::move(*name),
            .project = project == projectNames.end() ? defaults_.projectName : project->second,
            .key = std::move(key),
            .parentId = std::move(parentId),
        });
    }
    return contexts;
}

std::shared_ptr<StoreVaultItemSource::Snapshot> StoreVaultItemSource::openSnapshot(Reads& reads) const {
    auto view = std::make_shared<Snapshot>();
    view->projects = openProjects(reads);
    view->collections = openCollections(view->projects, reads);
    for (const auto& context : view->collections) view->collectionNames.push_back(canonicalForm(context.name));
    view->kept = !reads.failed;
    return view;
}

ItemNameIndex::FindGroup StoreVaultItemSource::groupKeys(std::shared_ptr<const Snapshot> view) {
    return [view = std::move(view)](const Uuid& id) -> std::optional<ItemNameIndex::GroupKey> {
        for (const auto& context : view->collections) {
            if (context.record.id == id) return ItemNameIndex::GroupKey{context.key, context.record.wrappedKey};
        }
        return std::nullopt;
    };
}

// Brings the view and the name index up to date with what the store went through since they were
// made: rows written here or by a sync run reopen one name each; new or changed groups and projects
// reopen the few group and project names; anything unknown is read again.
//
// Requests that arrive together share one look at the store: each waits for a look that began
// after it arrived, so none is answered from a state older than its own arrival.
std::shared_ptr<const StoreVaultItemSource::Snapshot> StoreVaultItemSource::snapshot(OnReadFailure policy) const {
    if (policy == OnReadFailure::raise) return bringUpToDate(policy);
    // Nothing written anywhere since the view and the index were brought up to date: no look needed.
    {
        std::shared_lock lock(currentMutex_);
        if (current_.view && store_->contentUnchangedSince(current_.mark)) return current_.view;
    }
    std::unique_lock lock(lookMutex_);
    const auto wanted = looksBegun_ + 1;
    while (looksDone_ < wanted) {
        if (looking_) {
            lookDone_.wait(lock);
            continue;
        }
        looking_ = true;
        const auto look = ++looksBegun_;
        lock.unlock();
        std::shared_ptr<const Snapshot> view;
        try {
            view = bringUpToDate(policy);
        } catch (...) {
            lock.lock();
            looking_ = false;
            lookDone_.notify_all();
            throw;
        }
        lock.lock();
        looking_ = false;
        looksDone_ = look;
        lastLook_ = std::move(view);
        lookDone_.notify_all();
    }
    return lastLook_;
}

void StoreVaultItemSource::setCurrent(std::shared_ptr<const Snapshot> view, std::uint64_t mark) const {
    std::lock_guard lock(currentMutex_);
    current_ = Current{std::move(view), mark};
}

std::shared_ptr<const StoreVaultItemSource::Snapshot> StoreVaultItemSource::bringUpToDate(OnReadFailure policy) const {
    std::lock_guard lock(snapshotMutex_);
    ContentChanges changes;
    bool journalRead = true;
    try {
        changes = store_->contentChangesSince(mark_);
    } catch (const std::exception&) {
        if (policy == OnReadFailure::raise) throw;
        journalRead = false;
    }
    if (snapshot_ && changes.known && !changes.structure) {
        if (!changes.items.empty()) names_.apply(changes.items, groupKeys(snapshot_));
        mark_ = changes.mark;
        setCurrent(snapshot_, changes.mark);
        return snapshot_;
    }
    Reads reads{policy};
    auto view = openSnapshot(reads);
    if (!view->kept || !journalRead) {
        // A failed read: nothing here is what a fresh read would give.
        names_.forget();
        snapshot_.reset();
        mark_.reset();
        setCurrent(nullptr, 0);
        return view;
    }
    if (changes.known) {
        names_.keepGroups(groupKeys(view));
        names_.apply(changes.items, groupKeys(view));
    } else {
        names_.forget();
    }
    snapshot_ = view;
    mark_ = changes.mark;
    setCurrent(snapshot_, changes.mark);
    return view;
}

// --- sealing ---

std::optional<ItemPayload> StoreVaultItemSource::openPayload(const ItemRecord& record, const CollectionKey& key) const {
    try {
        return itemlayout::openPayload(*vault_, record, key);
    } catch (const VaelCryptoError& error) {
        if (isLocked(error)) throw;
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

SealedBlob StoreVaultItemSource::sealPayload(const ItemPayload& payload, const Uuid& id,
                                             const CollectionKey& key) const {
    return itemlayout::sealPayload(*vault_, payload, id, key);
}

SealedBlob StoreVaultItemSource::sealName(const std::string& name, const Uuid& id, const CollectionKey& key) const {
    return itemlayout::sealName(*vault_, name, id, key);
}

ItemBody StoreVaultItemSource::itemBody(const Uuid& id, const Uuid& collectionId, std::string type, SealedBlob sealed,
                                        std::string aiAccess, std::int64_t revision) const {
    return itemlayout::itemBody(id, collectionId, std::move(type), std::move(sealed), std::move(aiAccess), revision,
                                now());
}

// --- finding ---

// Group, item and field compare by canonical form. Exact spellings are tried first, so that of two
// names that are canonically equal (one composed, one decomposed), the reference built from one of
// them never answers the other.
StoreVaultItemSource::Match StoreVaultItemSource::match(const VaultRef& ref) const {
    requireUnlocked();
    const auto view = snapshot(OnReadFailure::empty);
    if (auto found = matchIn(view, ref, true)) return std::move(*found);
    if (auto found = matchIn(view, ref, false)) return std::move(*found);
    fail(Case::notFound);
}

std::optional<StoreVaultItemSource::Match> StoreVaultItemSource::matchIn(const std::shared_ptr<const Snapshot>& view,
                                                                         const VaultRef& ref,
                                                                         bool exactSpelling) const {
    const auto group = canonicalForm(ref.collection);
    const auto item = canonicalForm(ref.item);
    for (std::size_t i = 0; i < view->collections.size(); ++i) {
        const auto& context = view->collections[i];
        if (view->collectionNames[i] != group || (exactSpelling && context.name != ref.collection)) continue;
        for (const auto& entry : names_.find(context.record.id, {context.key, context.record.wrappedKey}, item,
                                             ItemNameIndex::OnReadFailure::empty)) {
            if (exactSpelling && entry->payload.name != ref.item) continue;
            const auto& fields = entry->payload.fields;
            for (std::size_t f = 0; f < fields.size(); ++f) {
                const auto& label = fields[f].label;
                if (exactSpelling ? label != ref.field : !canonicallyEqual(label, ref.field)) continue;
                return Match{view, i, entry, f};
            }
        }
    }
    return std::nullopt;
}

StoreVaultItemSource::FoundItem StoreVaultItemSource::findItem(const VaultRef& ref) const {
    const auto found = match(ref);
    const auto& payload = found.entry->payload;
    return FoundItem{found.entry->record, payload, payload.fields[found.field], found.field,
                     found.view->collections[found.collection]};
}

StoreVaultItemSource::LockedItem StoreVaultItemSource::findItemForWrite(const VaultRef& ref) const {
    auto found = findItem(ref);
    auto lock = store_->lockRecordForWrite(found.record.id);
    while (!unchangedSince(found.record)) {
        lock.unlock();
        found = findItem(ref);
        lock = store_->lockRecordForWrite(found.record.id);
    }
    return LockedItem{std::move(found), std::move(lock)};
}

bool StoreVaultItemSource::unchangedSince(const ItemRecord& seen) const {
    const auto row = store_->item(seen.id);
    return row && *row == seen;
}

std::optional<ResolvedItem> StoreVaultItemSource::lookup(const VaultRef& ref) {
    try {
        const auto found = match(ref);
        const auto& payload = found.entry->payload;
        const auto& field = payload.fields[found.field];
        return ResolvedItem{
            .aiAccess = itemsource::tierOf(found.entry->record.aiAccess),
            .value = field.value,
            .type = std::string(kindText(field.kind)),
            .name = payload.name,
            .url = payload.url,
            .allowedHosts = payload.allowedHosts,
            .allowedCommands = payload.allowedCommands,
        };
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<StoreVaultItemSource::ProjectContext> StoreVaultItemSource::projectNamed(
    const std::vector<ProjectContext>& projects, const std::string& nameOrID) {
    if (auto id = Uuid::parse(nameOrID)) {
        for (const auto& project : projects) {
            if (project.record.id == *id) return project;
        }
    }
    for (const auto& project : projects) {
        if (canonicallyEqual(project.name, nameOrID)) return project;
    }
    return std::nullopt;
}

StoreVaultItemSource::ProjectContext StoreVaultItemSource::project(const std::string& nameOrID) const {
    if (auto found = projectNamed(snapshot(OnReadFailure::empty)->projects, nameOrID)) return *found;
    fail(Case::notFound);
}

StoreVaultItemSource::CollectionContext StoreVaultItemSource::group(const std::vector<CollectionContext>& contexts,
                                                                    const std::string& nameOrID) const {
    if (auto id = Uuid::parse(nameOrID)) {
        for (const auto& context : contexts) {
            if (context.record.id == *id) return context;
        }
    }
    for (const auto& context : contexts) {
        if (canonicallyEqual(context.name, nameOrID)) return context;
    }
    fail(Case::notFound);
}

StoreVaultItemSource::LockedGroup StoreVaultItemSource::findGroupForWrite(const std::string& nameOrID) const {
    for (;;) {
        auto view = snapshot(OnReadFailure::empty);
        auto found = group(view->collections, nameOrID);
        auto lock = store_->lockRecordForWrite(found.record.id);
        if (store_->collection(found.record.id) == std::optional(found.record)) {
            return LockedGroup{std::move(found), std::move(view), std::move(lock)};
        }
    }
}

StoreVaultItemSource::LockedProject StoreVaultItemSource::findProjectForWrite(const std::string& nameOrID) const {
    for (;;) {
        auto found = project(nameOrID);
        auto lock = store_->lockRecordForWrite(found.record.id);
        if (store_->project(found.record.id) == std::optional(found.record)) {
            return LockedProject{std::move(found), std::move(lock)};
        }
    }
}

// --- finding or creating ---

StoreVaultItemSource::CollectionContext StoreVaultItemSource::ensureGroup(const std::string& name,
                                                                          const std::string& project,
                                                                          const std::optional<std::string>& parent) {
    requireUnlocked();
    // A failed read here must not pass for "no such group": that would create a duplicate.
    const auto view = snapshot(OnReadFailure::raise);

    // A project named by its id stands for that project: compare by its name, create in it.
    std::optional<ProjectContext> named;
    if (auto id = Uuid::parse(project)) {
        for (const auto& candidate : view->projects) {
            if (candidate.record.id == *id) {
                named = candidate;
                break;
            }
        }
    }
    const std::string& projectName = named ? named->name : project;

    std::optional<Uuid> parentId;
    if (parent && !parent->empty()) {
        for (const auto& context : view->collections) {
            if (canonicallyEqual(context.project, projectName) &&
                (canonicallyEqual(context.name, *parent) || context.record.id.text() == *parent)) {
                parentId = context.record.id;
                break;
            }
        }
        if (!parentId) fail(Case::notFound);
    }
    for (const auto& context : view->collections) {
        if (canonicallyEqual(context.name, name) && canonicallyEqual(context.project, projectName) &&
            context.parentId == parentId) {
            return context;
        }
    }

    // Every key step comes before the first write, so a crypto failure leaves nothing behind.
    const auto id = Uuid::random();
    auto key = vault_->newCollectionKey();
    auto wrappedKey = vault_->wrapCollectionKeyToSelf(key);
    auto sealed = sealName(name, id, key);
    const auto owner = named ? *named : ensureProject(project);
    std::int64_t sort = 0;
    try {
        sort = static_cast<std::int64_t>(store_->collections(owner.record.id).size());
    } catch (const std::exception&) {
    }
    CollectionRecord record{
        .id = id,
        .orgId = owner.record.id,
        .parentId = parentId,
        .nameBlob = std::move(sealed.blob),
        .nameWrappedKey = std::move(sealed.wrappedKey),
        .sort = sort,
        .wrappedKey = std::move(wrappedKey),
        .updatedAt = now(),
        .deleted = false,
    };
    writeNewGroup(record);
    return CollectionContext{std::move(record), name, owner.name, std::move(key), parentId};
}

StoreVaultItemSource::ProjectContext StoreVaultItemSource::ensureProject(const std::string& name) {
    requireUnlocked();
    if (auto found = projectNamed(snapshot(OnReadFailure::raise)->projects, name)) return *found;
    const auto id = Uuid::random();
    auto sealed = sealName(name, id, defaultCollectionKey());
    std::int64_t sort = 0;
    try {
        sort = static_cast<std::int64_t>(store_->projects().size());
    } catch (const std::exception&) {
    }
    ProjectRecord record{
        .id = id,
        .nameBlob = std::move(sealed.blob),
        .nameWrappedKey = std::move(sealed.wrappedKey),
        .sort = sort,
        .updatedAt = now(),
        .deleted = false,
    };
    store_->upsertProject(record);
    return ProjectContext{std::move(record), name};
}

// --- writes ---

Bytes StoreVaultItemSource::nameTag(const std::string& name, const CollectionKey& key) const {
    return names_.tagFor(key, name);
}

void StoreVaultItemSource::writeNewItem(const ItemBody& body, const Bytes& nameTag) {
    if (syncEngine_) {
        syncEngine_->create(body, nameTag);
    } else {
        store_->upsertItem(body.toRecord(false), nameTag);
    }
}

void StoreVaultItemSource::writeChangedItem(const ItemBody& body, const Bytes& nameTag, SyncEngine::RecordHold* hold) {
    if (syncEngine_) {
        syncEngine_->write(body, nameTag, hold);
    } else {
        auto record = body.toRecord(false);
        record.revision = body.revision + 1;
        store_->upsertItem(record, nameTag);
    }
}

void StoreVaultItemSource::tombstoneItem(const Uuid& id) {
    // Waits for a writer of the item that read it before this deletion, so that writer cannot put it back.
    auto lock = store_->lockRecordForWrite(id);
    tombstoneItemHeld(id, lock);
}

void StoreVaultItemSource::tombstoneItemHeld(const Uuid& id, SyncEngine::RecordHold& hold) {
    if (syncEngine_) {
        syncEngine_->deleteItem(id, &hold);
        return;
    }
    auto row = store_->item(id);
    if (!row) return;
    row->deleted = true;
    row->updatedAt = now();
    store_->upsertItem(*row);
}

void StoreVaultItemSource::writeNewGroup(const CollectionRecord& record) {
    if (syncEngine_) {
        syncEngine_->createCollection(record);
    } else {
        store_->upsertCollection(record);
    }
}

void StoreVaultItemSource::writeGroupChange(const CollectionRecord& record, SyncEngine::RecordHold* hold) {
    if (syncEngine_) {
        syncEngine_->patchCollection(record, hold);
    } else {
        store_->upsertCollection(record);
    }
}

void StoreVaultItemSource::tombstoneGroup(const Uuid& id) {
    // Waits for a rename or move that read the group before this deletion, so it cannot put it back.
    auto lock = store_->lockRecordForWrite(id);
    if (syncEngine_) {
        syncEngine_->deleteCollection(id, &lock);
        return;
    }
    auto row = store_->collection(id);
    if (!row) return;
    row->deleted = true;
    row->updatedAt = now();
    store_->upsertCollection(*row);
}

}  // namespace vael

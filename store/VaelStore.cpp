#include "store/VaelStore.h"

#include <algorithm>

#include "store/RowCodec.h"
#include "store/StoreCore.h"

namespace vael {

namespace {

struct TableSql {
    std::string update;
    std::string insert;
    std::string byId;

    explicit TableSql(const rows::Columns& columns)
        : update(rows::updateSql(columns)),
          insert(rows::insertSql(columns)),
          byId(rows::selectSql(columns, "WHERE id = ?1")) {}
};

const TableSql& itemSql() {
    static const TableSql sql(rows::kItemColumns);
    return sql;
}
const TableSql& collectionSql() {
    static const TableSql sql(rows::kCollectionColumns);
    return sql;
}
const TableSql& projectSql() {
    static const TableSql sql(rows::kProjectColumns);
    return sql;
}

// Rewrites every column of the row with the record's id, or inserts the record when there is none.
// Only inside a write.
template <class Record>
void upsertRow(detail::StoreCore& core, const TableSql& sql, const Record& record) {
    auto update = core.statement(sql.update);
    rows::bind(*update, record);
    if (update->exec() > 0) return;
    auto insert = core.statement(sql.insert);
    rows::bind(*insert, record);
    insert->exec();
}

template <class Record>
void upsert(detail::StoreCore& core, const TableSql& sql, const Record& record) {
    core.write([&] { upsertRow(core, sql, record); });
}

template <class Record, class Read>
std::optional<Record> fetchOne(detail::StoreCore& core, const std::string& sql, const Uuid& id, Read read) {
    return core.read([&]() -> std::optional<Record> {
        auto query = core.statement(sql);
        query->bind(1, id.text());
        if (!query->executeStep()) return std::nullopt;
        return read(*query);
    });
}

// The whole result or an exception: no partial lists.
template <class Record, class Read>
std::vector<Record> fetchAll(detail::StoreCore& core, const std::string& sql, const std::optional<Uuid>& key,
                             Read read) {
    return core.read([&] {
        auto query = core.statement(sql);
        if (key) query->bind(1, key->text());
        std::vector<Record> records;
        while (query->executeStep()) records.push_back(read(*query));
        return records;
    });
}

}  // namespace

// --- observation token ---

VaultObservationToken::VaultObservationToken(std::shared_ptr<detail::Observation> observation)
    : cancellable_(std::move(observation)) {}

VaultObservationToken& VaultObservationToken::operator=(VaultObservationToken&& other) noexcept {
    if (this != &other) {
        cancel();
        cancellable_ = std::move(other.cancellable_);
    }
    return *this;
}

VaultObservationToken::~VaultObservationToken() { cancel(); }

void VaultObservationToken::cancel() {
    if (cancellable_) cancellable_->cancelled.store(true);
}

// --- store ---

VaelStore::VaelStore(const std::string& path) : core_(std::make_shared<detail::StoreCore>(path)) {}

VaelStore::~VaelStore() = default;

void VaelStore::upsertItem(const ItemRecord& record) { upsert(*core_, itemSql(), record); }

namespace {

void setNameTag(detail::StoreCore& core, const Uuid& id, const std::optional<Bytes>& nameTag) {
    if (!nameTag) return;
    auto statement = core.statement("UPDATE items SET nameTag = ?2 WHERE id = ?1");
    statement->bind(1, id.text());
    rows::bindBytes(*statement, 2, *nameTag);
    statement->exec();
}

void insertPendingOp(detail::StoreCore& core, const PendingOpRecord& op) {
    static const auto sql = rows::insertSql(rows::kPendingOpColumns);
    auto insert = core.statement(sql);
    rows::bind(*insert, op);
    insert->exec();
}

void deletePendingOpRow(detail::StoreCore& core, const Uuid& opId) {
    auto statement = core.statement("DELETE FROM pending_ops WHERE opId = ?1");
    statement->bind(1, opId.text());
    statement->exec();
}

}  // namespace

void VaelStore::upsertItem(const ItemRecord& record, const std::optional<Bytes>& nameTag) {
    core_->write([&] {
        upsertRow(*core_, itemSql(), record);
        setNameTag(*core_, record.id, nameTag);
    });
}

void VaelStore::upsertItemAndEnqueue(const ItemRecord& record, const std::optional<Bytes>& nameTag,
                                     const std::optional<PendingOpRecord>& op, const std::vector<Uuid>& replacedOps) {
    core_->write([&] {
        upsertRow(*core_, itemSql(), record);
        setNameTag(*core_, record.id, nameTag);
        for (const auto& replaced : replacedOps) deletePendingOpRow(*core_, replaced);
        if (op) insertPendingOp(*core_, *op);
    });
}

void VaelStore::upsertItemsAndEnqueue(const std::vector<QueuedItem>& items) {
    core_->write([&] {
        for (const auto& item : items) {
            upsertRow(*core_, itemSql(), item.record);
            setNameTag(*core_, item.record.id, std::nullopt);
            insertPendingOp(*core_, item.op);
        }
    });
}

void VaelStore::upsertCollectionAndEnqueue(const CollectionRecord& record, const PendingOpRecord& op) {
    core_->write([&] {
        upsertRow(*core_, collectionSql(), record);
        insertPendingOp(*core_, op);
    });
}

std::vector<VaelStore::TaggedItem> VaelStore::itemsTaggedOrUntagged(const Uuid& collectionId, const Bytes& tag) const {
    // The tag's state follows the record's columns, so readItem reads the row as usual.
    // Two searches of the index: written as one OR, SQLite would read the whole group.
    static const auto select = std::string("SELECT ") + rows::kItemColumns.list +
                               ", nameTag IS NOT NULL FROM items WHERE collectionId = ?1 AND deleted = 0 AND ";
    static const auto sql =
        select + "nameTag = ?2 UNION ALL " + select + "nameTag IS NULL ORDER BY nameBlob";
    return core_->read([&] {
        auto query = core_->statement(sql);
        query->bind(1, collectionId.text());
        rows::bindBytes(*query, 2, tag);
        std::vector<TaggedItem> items;
        while (query->executeStep())
            items.push_back(TaggedItem{rows::readItem(*query), query->getColumn(rows::kItemColumns.count).getInt() != 0});
        return items;
    });
}

void VaelStore::tagNames(const std::vector<NameTag>& tags) {
    if (tags.empty()) return;
    core_->writeQuietly([&] {
        auto statement = core_->statement(
            "UPDATE items SET nameTag = ?5 WHERE id = ?1 AND nameTag IS NULL AND collectionId = ?2 AND "
            "nameBlob = ?3 AND wrappedItemKey = ?4");
        for (const auto& tag : tags) {
            statement->reset();
            statement->bind(1, tag.id.text());
            statement->bind(2, tag.collectionId.text());
            rows::bindBytes(*statement, 3, tag.nameBlob);
            rows::bindBytes(*statement, 4, tag.wrappedItemKey);
            rows::bindBytes(*statement, 5, tag.tag);
            statement->exec();
        }
    });
}

std::optional<ItemRecord> VaelStore::item(const Uuid& id) const {
    return fetchOne<ItemRecord>(*core_, itemSql().byId, id, rows::readItem);
}

std::vector<ItemRecord> VaelStore::items(const Uuid& collectionId, ItemOrder order) const {
    static const auto byNameBlob =
        rows::selectSql(rows::kItemColumns, "WHERE deleted = 0 AND collectionId = ?1 ORDER BY nameBlob");
    static const auto unordered = rows::selectSql(rows::kItemColumns, "WHERE deleted = 0 AND collectionId = ?1");
    return fetchAll<ItemRecord>(*core_, order == ItemOrder::byNameBlob ? byNameBlob : unordered, collectionId,
                                rows::readItem);
}

void VaelStore::upsertCollection(const CollectionRecord& record) { upsert(*core_, collectionSql(), record); }

std::optional<CollectionRecord> VaelStore::collection(const Uuid& id) const {
    return fetchOne<CollectionRecord>(*core_, collectionSql().byId, id, rows::readCollection);
}

std::vector<CollectionRecord> VaelStore::collections(const Uuid& orgId) const {
    static const auto sql =
        rows::selectSql(rows::kCollectionColumns, "WHERE deleted = 0 AND orgId = ?1 ORDER BY sort");
    return fetchAll<CollectionRecord>(*core_, sql, orgId, rows::readCollection);
}

std::vector<CollectionRecord> VaelStore::collections() const {
    static const auto sql = rows::selectSql(rows::kCollectionColumns, "WHERE deleted = 0 ORDER BY sort");
    return fetchAll<CollectionRecord>(*core_, sql, std::nullopt, rows::readCollection);
}

void VaelStore::upsertProject(const ProjectRecord& record) { upsert(*core_, projectSql(), record); }

std::optional<ProjectRecord> VaelStore::project(const Uuid& id) const {
    return fetchOne<ProjectRecord>(*core_, projectSql().byId, id, rows::readProject);
}

std::vector<ProjectRecord> VaelStore::projects() const {
    static const auto sql = rows::selectSql(rows::kProjectColumns, "WHERE deleted = 0 ORDER BY sort");
    return fetchAll<ProjectRecord>(*core_, sql, std::nullopt, rows::readProject);
}

std::optional<TimePoint> VaelStore::lastSyncAt() const {
    return core_->read([&]() -> std::optional<TimePoint> {
        auto query = core_->statement("SELECT lastSyncAt FROM sync_state WHERE id = 1");
        if (!query->executeStep()) return std::nullopt;
        return rows::readOptionalTime(*query, 0, "sync_state");
    });
}

void VaelStore::setLastSyncAt(TimePoint time) {
    core_->write([&] {
        auto statement = core_->statement(
            "INSERT INTO sync_state (id, lastSyncAt) VALUES (1, ?) "
            "ON CONFLICT(id) DO UPDATE SET lastSyncAt = excluded.lastSyncAt");
        rows::bindTime(*statement, 1, time);
        statement->exec();
    });
}

void VaelStore::enqueue(const PendingOpRecord& op) {
    core_->write([&] { insertPendingOp(*core_, op); });
}

void VaelStore::settleItemOps(const std::optional<ItemRecord>& row, const std::vector<PendingOpRecord>& rewrittenOps,
                              const std::vector<Uuid>& removedOps) {
    core_->write([&] {
        if (row) upsertRow(*core_, itemSql(), *row);
        for (const auto& op : rewrittenOps) {
            auto statement =
                core_->statement("UPDATE pending_ops SET payloadBlob = ?2, baseRevision = ?3 WHERE opId = ?1");
            statement->bind(1, op.opId.text());
            rows::bindBytes(*statement, 2, op.payloadBlob);
            statement->bind(3, op.baseRevision);
            statement->exec();
        }
        for (const auto& opId : removedOps) deletePendingOpRow(*core_, opId);
    });
}

std::size_t VaelStore::upsertPulledItems(const std::vector<PulledItem>& items) {
    if (items.empty()) return 0;
    std::size_t written = 0;
    core_->write([&] {
        written = 0;
        for (const auto& item : items) {
            auto queued = core_->statement("SELECT 1 FROM pending_ops WHERE itemId = ?1 LIMIT 1");
            queued->bind(1, item.record.id.text());
            if (queued->executeStep()) continue;
            auto current = core_->statement(itemSql().byId);
            current->bind(1, item.record.id.text());
            std::optional<ItemRecord> row;
            if (current->executeStep()) row = rows::readItem(*current);
            if (row != item.seen) continue;
            upsertRow(*core_, itemSql(), item.record);
            ++written;
        }
    });
    return written;
}

std::vector<PendingOpRecord> VaelStore::pendingOps() const {
    static const auto sql = rows::selectSql(rows::kPendingOpColumns, "ORDER BY createdAt, opId");
    return fetchAll<PendingOpRecord>(*core_, sql, std::nullopt, rows::readPendingOp);
}

std::vector<PendingOpRecord> VaelStore::pendingOps(const Uuid& itemId) const {
    static const auto sql = rows::selectSql(rows::kPendingOpColumns, "WHERE itemId = ?1 ORDER BY createdAt, opId");
    return fetchAll<PendingOpRecord>(*core_, sql, itemId, rows::readPendingOp);
}

void VaelStore::deletePendingOp(const Uuid& opId) {
    core_->write([&] { deletePendingOpRow(*core_, opId); });
}

bool VaelStore::contentUnchangedSince(std::uint64_t mark) const { return core_->unchangedSince(mark); }

std::optional<TimePoint> VaelStore::latestPendingOpTime() const {
    return core_->read([&]() -> std::optional<TimePoint> {
        auto query = core_->statement("SELECT MAX(createdAt) FROM pending_ops");
        if (!query->executeStep()) return std::nullopt;
        return rows::readOptionalTime(*query, 0, "pending_ops");
    });
}

VaultObservationToken VaelStore::observeVaultChanges(std::function<void()> onChange, PostFunction post) {
    auto observation = std::make_shared<detail::Observation>();
    observation->onChange = std::move(onChange);
    observation->post = std::move(post);
    core_->startObservation(observation);
    return VaultObservationToken(std::move(observation));
}

std::uint64_t VaelStore::contentWriteCount() const { return core_->contentWriteCount(); }

void VaelStore::upsertGroupWithContents(const std::optional<CollectionRecord>& group, const std::vector<ItemRecord>& items,
                                        const std::vector<ProjectRecord>& projects,
                                        const std::vector<PendingOpRecord>& rewrittenOps) {
    core_->write([&] {
        if (group) upsertRow(*core_, collectionSql(), *group);
        for (const auto& item : items) upsertRow(*core_, itemSql(), item);
        for (const auto& project : projects) upsertRow(*core_, projectSql(), project);
        for (const auto& op : rewrittenOps) {
            auto statement = core_->statement("UPDATE pending_ops SET payloadBlob = ?2 WHERE opId = ?1");
            statement->bind(1, op.opId.text());
            rows::bindBytes(*statement, 2, op.payloadBlob);
            statement->exec();
        }
    });
}

ContentChanges VaelStore::contentChangesSince(std::optional<std::uint64_t> mark) const {
    static const auto byRow = rows::selectSql(rows::kItemColumns, "WHERE rowid = ?1");
    return core_->read([&] {
        ContentChanges changes;
        changes.mark = core_->contentMark();
        const auto commits = mark ? core_->commitsSince(*mark) : std::nullopt;
        if (!commits) return changes;
        changes.known = true;
        std::vector<std::int64_t> rowids;
        for (const auto* commit : *commits) {
            changes.structure = changes.structure || commit->structure;
            rowids.insert(rowids.end(), commit->itemRows.begin(), commit->itemRows.end());
        }
        std::sort(rowids.begin(), rowids.end());
        rowids.erase(std::unique(rowids.begin(), rowids.end()), rowids.end());
        for (const auto row : rowids) {
            auto query = core_->statement(byRow);
            query->bind(1, row);
            if (query->executeStep()) changes.items.push_back(rows::readItem(*query));
        }
        return changes;
    });
}

}  // namespace vael

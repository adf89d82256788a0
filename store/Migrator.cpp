#include "store/Migrator.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

namespace vael {

namespace {

constexpr const char* kBookkeepingTable = "vael_migrations";

void migrationV1(SQLite::Database& db) {
    db.exec(
        "CREATE TABLE collections ("
        "id TEXT PRIMARY KEY, "
        "orgId TEXT NOT NULL, "
        "parentId TEXT, "
        "nameBlob BLOB NOT NULL, "
        "sort INTEGER NOT NULL DEFAULT 0, "
        "wrappedKey BLOB NOT NULL, "
        "updatedAt DATETIME NOT NULL, "
        "deleted BOOLEAN NOT NULL DEFAULT 0)");
    db.exec(
        "CREATE TABLE items ("
        "id TEXT PRIMARY KEY, "
        "collectionId TEXT NOT NULL, "
        "type TEXT NOT NULL, "
        "nameBlob BLOB NOT NULL, "
        "contentBlob BLOB NOT NULL, "
        "cryptoParams TEXT NOT NULL, "
        "wrappedItemKey BLOB NOT NULL, "
        "aiAccess TEXT NOT NULL, "
        "revision INTEGER NOT NULL, "
        "updatedAt DATETIME NOT NULL, "
        "deleted BOOLEAN NOT NULL DEFAULT 0)");
    db.exec("CREATE INDEX items_on_collectionId ON items(collectionId)");
    db.exec(
        "CREATE TABLE pending_ops ("
        "opId TEXT PRIMARY KEY, "
        "kind TEXT NOT NULL, "
        "itemId TEXT NOT NULL, "
        "payloadBlob BLOB NOT NULL, "
        "baseRevision INTEGER NOT NULL, "
        "createdAt DATETIME NOT NULL)");
    db.exec(
        "CREATE TABLE sync_state ("
        "id INTEGER PRIMARY KEY, "
        "lastSyncAt DATETIME)");
}

void migrationV2(SQLite::Database& db) {
    db.exec("ALTER TABLE collections ADD COLUMN nameWrappedKey BLOB");
    db.exec(
        "CREATE TABLE projects ("
        "id TEXT PRIMARY KEY, "
        "nameBlob BLOB NOT NULL, "
        "nameWrappedKey BLOB NOT NULL, "
        "sort INTEGER NOT NULL DEFAULT 0, "
        "updatedAt DATETIME NOT NULL, "
        "deleted BOOLEAN NOT NULL DEFAULT 0)");
}

// The queue is read in its order, asked for its latest time and for the operations of one item; all
// three come from these indexes instead of a scan of every queued payload.
void migrationV3(SQLite::Database& db) {
    db.exec("CREATE INDEX pending_ops_in_queue_order ON pending_ops(createdAt, opId)");
    db.exec("CREATE INDEX pending_ops_by_item ON pending_ops(itemId)");
}

// Items are found by name through a keyed digest of the name (the name tag) instead of by opening
// every name of a group. Only the writer that sealed a name knows its tag, so any other change of
// the group, the sealed name or the wrapped key clears it; an untagged row is opened and tagged the
// next time its group is searched. The index on the group and tag also serves reads by group alone.
void migrationV4(SQLite::Database& db) {
    db.exec("ALTER TABLE items ADD COLUMN nameTag BLOB");
    db.exec("CREATE INDEX items_by_name_tag ON items(collectionId, nameTag)");
    db.exec("DROP INDEX items_on_collectionId");
    db.exec(
        "CREATE TRIGGER items_name_tag_follows_content "
        "AFTER UPDATE OF collectionId, nameBlob, wrappedItemKey ON items "
        "WHEN NEW.nameTag IS NOT NULL AND NEW.nameTag IS OLD.nameTag AND "
        "(NEW.collectionId IS NOT OLD.collectionId OR NEW.nameBlob IS NOT OLD.nameBlob OR "
        "NEW.wrappedItemKey IS NOT OLD.wrappedItemKey) "
        "BEGIN UPDATE items SET nameTag = NULL WHERE rowid = NEW.rowid; END");
}

// Reads of a whole group use the plain index on the group again, beside the name-tag index; files
// from before it (whose v4 dropped it) get it here.
void migrationV5(SQLite::Database& db) { db.exec("CREATE INDEX items_on_collectionId ON items(collectionId)"); }

}  // namespace

std::set<std::string> appliedMigrations(SQLite::Database& db) {
    std::set<std::string> applied;
    if (!db.tableExists(kBookkeepingTable)) return applied;
    SQLite::Statement query(db, std::string("SELECT identifier FROM ") + kBookkeepingTable);
    while (query.executeStep()) applied.insert(query.getColumn(0).getString());
    return applied;
}

void migrate(SQLite::Database& db, const std::vector<Migration>& migrations) {
    const auto applied = appliedMigrations(db);
    for (const auto& migration : migrations) {
        if (applied.count(migration.identifier)) continue;
        SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
        db.exec(std::string("CREATE TABLE IF NOT EXISTS ") + kBookkeepingTable +
                " (identifier TEXT NOT NULL PRIMARY KEY)");
        migration.apply(db);
        SQLite::Statement record(db, std::string("INSERT INTO ") + kBookkeepingTable + " (identifier) VALUES (?)");
        record.bind(1, migration.identifier);
        record.exec();
        transaction.commit();
    }
}

const std::vector<Migration>& replicaMigrations() {
    static const std::vector<Migration> migrations{{"v1", migrationV1}, {"v2", migrationV2}, {"v3", migrationV3},
                                                   {"v4", migrationV4}, {"v5", migrationV5}};
    return migrations;
}

}  // namespace vael

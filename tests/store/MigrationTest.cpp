#include <SQLiteCpp/SQLiteCpp.h>
#include <sys/stat.h>

#include <fstream>

#include "StoreFixtures.h"
#include "store/Migrator.h"

using namespace vael;
using namespace vael::test;

namespace {

struct ColumnInfo {
    std::string name;
    std::string type;
    bool notNull;
    std::string defaultValue;  // empty when none
    int primaryKey;

    bool operator==(const ColumnInfo&) const = default;
};

void PrintTo(const ColumnInfo& c, std::ostream* os) {
    *os << c.name << " " << c.type << (c.notNull ? " NN" : "") << " default=" << c.defaultValue << " pk=" << c.primaryKey;
}

std::vector<ColumnInfo> columnsOf(SQLite::Database& db, const std::string& table) {
    SQLite::Statement q(db, "PRAGMA table_info(" + table + ")");
    std::vector<ColumnInfo> columns;
    while (q.executeStep())
        columns.push_back({q.getColumn(1).getString(), q.getColumn(2).getString(), q.getColumn(3).getInt() != 0,
                           q.getColumn(4).isNull() ? "" : q.getColumn(4).getString(), q.getColumn(5).getInt()});
    return columns;
}

std::vector<std::string> namesIn(SQLite::Database& db, const std::string& type) {
    SQLite::Statement q(db, "SELECT name FROM sqlite_master WHERE type = ? AND name NOT LIKE 'sqlite_%' ORDER BY name");
    q.bind(1, type);
    std::vector<std::string> names;
    while (q.executeStep()) names.push_back(q.getColumn(0).getString());
    return names;
}

int rowCount(SQLite::Database& db, const std::string& table) {
    return db.execAndGet("SELECT COUNT(*) FROM " + table).getInt();
}

void makeV1File(const std::string& path) {
    SQLite::Database db(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    migrate(db, {replicaMigrations().at(0)});
}

}  // namespace

using MigrationTest = StoreTest;

TEST_F(MigrationTest, NewFileGetsTheWholeSchemaAndNoRows) {
    open();
    store.reset();
    SQLite::Database db(path());

    EXPECT_EQ(namesIn(db, "table"),
              (std::vector<std::string>{"collections", "items", "pending_ops", "projects", "sync_state",
                                        "vael_migrations"}));
    EXPECT_EQ(namesIn(db, "index"), (std::vector<std::string>{"items_by_name_tag", "items_on_collectionId",
                                                               "pending_ops_by_item", "pending_ops_in_queue_order"}));
    EXPECT_EQ(db.execAndGet("SELECT sql FROM sqlite_master WHERE name = 'items_on_collectionId'").getString(),
              "CREATE INDEX items_on_collectionId ON items(collectionId)");
    EXPECT_EQ(db.execAndGet("SELECT sql FROM sqlite_master WHERE name = 'items_by_name_tag'").getString(),
              "CREATE INDEX items_by_name_tag ON items(collectionId, nameTag)");
    EXPECT_EQ(namesIn(db, "trigger"), (std::vector<std::string>{"items_name_tag_follows_content"}));
    EXPECT_EQ(db.execAndGet("SELECT sql FROM sqlite_master WHERE name = 'pending_ops_in_queue_order'").getString(),
              "CREATE INDEX pending_ops_in_queue_order ON pending_ops(createdAt, opId)");
    EXPECT_EQ(appliedMigrations(db), (std::set<std::string>{"v1", "v2", "v3", "v4", "v5"}));
    for (const char* table : {"collections", "items", "pending_ops", "projects", "sync_state"})
        EXPECT_EQ(rowCount(db, table), 0) << table;

    using C = ColumnInfo;
    EXPECT_EQ(columnsOf(db, "collections"), (std::vector<C>{
        {"id", "TEXT", false, "", 1}, {"orgId", "TEXT", true, "", 0}, {"parentId", "TEXT", false, "", 0},
        {"nameBlob", "BLOB", true, "", 0}, {"sort", "INTEGER", true, "0", 0}, {"wrappedKey", "BLOB", true, "", 0},
        {"updatedAt", "DATETIME", true, "", 0}, {"deleted", "BOOLEAN", true, "0", 0},
        {"nameWrappedKey", "BLOB", false, "", 0}}));
    EXPECT_EQ(columnsOf(db, "items"), (std::vector<C>{
        {"id", "TEXT", false, "", 1}, {"collectionId", "TEXT", true, "", 0}, {"type", "TEXT", true, "", 0},
        {"nameBlob", "BLOB", true, "", 0}, {"contentBlob", "BLOB", true, "", 0},
        {"cryptoParams", "TEXT", true, "", 0}, {"wrappedItemKey", "BLOB", true, "", 0},
        {"aiAccess", "TEXT", true, "", 0}, {"revision", "INTEGER", true, "", 0},
        {"updatedAt", "DATETIME", true, "", 0}, {"deleted", "BOOLEAN", true, "0", 0},
        {"nameTag", "BLOB", false, "", 0}}));
    EXPECT_EQ(columnsOf(db, "pending_ops"), (std::vector<C>{
        {"opId", "TEXT", false, "", 1}, {"kind", "TEXT", true, "", 0}, {"itemId", "TEXT", true, "", 0},
        {"payloadBlob", "BLOB", true, "", 0}, {"baseRevision", "INTEGER", true, "", 0},
        {"createdAt", "DATETIME", true, "", 0}}));
    EXPECT_EQ(columnsOf(db, "sync_state"),
              (std::vector<C>{{"id", "INTEGER", false, "", 1}, {"lastSyncAt", "DATETIME", false, "", 0}}));
    EXPECT_EQ(columnsOf(db, "projects"), (std::vector<C>{
        {"id", "TEXT", false, "", 1}, {"nameBlob", "BLOB", true, "", 0}, {"nameWrappedKey", "BLOB", true, "", 0},
        {"sort", "INTEGER", true, "0", 0}, {"updatedAt", "DATETIME", true, "", 0},
        {"deleted", "BOOLEAN", true, "0", 0}}));
}

TEST_F(MigrationTest, NewFileIsPrivateToTheUser) {
    open();
    struct stat st {};
    ASSERT_EQ(::stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(MigrationTest, ReopeningAppliesNothingAndKeepsRows) {
    open().upsertItem(sampleItem(1));
    store.reset();
    const int schemaBefore = SQLite::Database(path()).execAndGet("PRAGMA schema_version").getInt();

    EXPECT_EQ(open().item(id(1)), sampleItem(1));
    store.reset();
    SQLite::Database db(path());
    EXPECT_EQ(db.execAndGet("PRAGMA schema_version").getInt(), schemaBefore);
    EXPECT_EQ(rowCount(db, "vael_migrations"), 5);
}

TEST_F(MigrationTest, FileWithV1AndV2GetsTheQueueIndexAndKeepsItsQueue) {
    {
        SQLite::Database db(path(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        migrate(db, {replicaMigrations().at(0), replicaMigrations().at(1)});
        db.exec("INSERT INTO pending_ops (opId, kind, itemId, payloadBlob, baseRevision, createdAt) VALUES ('" +
                id(1).text() + "', 'delete', '" + id(2).text() + "', x'', 3, '2025-03-07 09:05:01.250')");
    }
    open();
    EXPECT_EQ(store->pendingOps().size(), 1u);
    EXPECT_EQ(store->latestPendingOpTime(), sampleTime());
    store.reset();
    SQLite::Database db(path());
    EXPECT_EQ(appliedMigrations(db), (std::set<std::string>{"v1", "v2", "v3", "v4", "v5"}));
}

TEST_F(MigrationTest, FileWithV1ToV4GetsTheGroupIndexBackAndKeepsItsItems) {
    {
        SQLite::Database db(path(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        const auto& all = replicaMigrations();
        migrate(db, {all.at(0), all.at(1), all.at(2), all.at(3)});
    }
    open().upsertItem(sampleItem(1));
    store.reset();
    EXPECT_EQ(open().item(id(1)), sampleItem(1));
    store.reset();
    SQLite::Database db(path());
    EXPECT_EQ(appliedMigrations(db), (std::set<std::string>{"v1", "v2", "v3", "v4", "v5"}));
    EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name IN "
                            "('items_on_collectionId', 'items_by_name_tag')").getInt(), 2);
}

TEST_F(MigrationTest, FileWithOnlyV1GetsV2AndKeepsItsGroups) {
    makeV1File(path());
    {
        SQLite::Database db(path(), SQLite::OPEN_READWRITE);
        db.exec("INSERT INTO collections (id, orgId, nameBlob, wrappedKey, updatedAt) VALUES ('" + id(1).text() +
                "', '" + id(800).text() + "', x'01', x'02', '2025-03-07 09:05:01.250')");
    }
    open();
    const auto group = store->collection(id(1));
    ASSERT_TRUE(group);
    EXPECT_FALSE(group->nameWrappedKey);
    EXPECT_EQ(group->sort, 0);
    EXPECT_TRUE(store->projects().empty());
    store.reset();
    SQLite::Database db(path());
    EXPECT_EQ(appliedMigrations(db), (std::set<std::string>{"v1", "v2", "v3", "v4", "v5"}));
}

TEST_F(MigrationTest, FailingV2RollsBackCompletelyAndTheOpenThrows) {
    makeV1File(path());
    {
        // A table the migrator does not know about makes "v2" fail after its first statement.
        SQLite::Database db(path(), SQLite::OPEN_READWRITE);
        db.exec("CREATE TABLE projects (stray TEXT)");
    }
    EXPECT_THROW(open(), SQLite::Exception);

    SQLite::Database db(path());
    EXPECT_EQ(appliedMigrations(db), std::set<std::string>{"v1"});
    EXPECT_EQ(columnsOf(db, "collections").size(), 8u);  // no nameWrappedKey
    EXPECT_EQ(columnsOf(db, "projects").size(), 1u);     // the stray table, untouched
}

TEST_F(MigrationTest, FailingMigrationLeavesNoBookkeepingBehind) {
    {
        SQLite::Database db(path(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec("CREATE TABLE items (stray TEXT)");
    }
    EXPECT_THROW(open(), SQLite::Exception);
    SQLite::Database db(path());
    EXPECT_TRUE(appliedMigrations(db).empty());
    EXPECT_FALSE(db.tableExists("collections"));
    EXPECT_FALSE(db.tableExists("vael_migrations"));
}

TEST_F(MigrationTest, ColumnDefaultsAndNotNullConstraints) {
    open();
    store.reset();
    SQLite::Database db(path(), SQLite::OPEN_READWRITE);
    const std::string t = "'2025-03-07 09:05:01.250'";
    struct Case {
        std::string sql;
        bool accepted;
    };
    const std::vector<Case> cases{
        {"INSERT INTO collections (id, orgId, nameBlob, wrappedKey, updatedAt) VALUES ('A', 'O', x'', x'', " + t + ")", true},
        {"INSERT INTO collections (id, orgId, parentId, nameBlob, wrappedKey, updatedAt, nameWrappedKey) "
         "VALUES ('B', 'O', NULL, x'', x'', " + t + ", NULL)", true},
        {"INSERT INTO collections (id, nameBlob, wrappedKey, updatedAt) VALUES ('C', x'', x'', " + t + ")", false},
        {"INSERT INTO collections (id, orgId, nameBlob, updatedAt) VALUES ('D', 'O', x'', " + t + ")", false},
        {"INSERT INTO projects (id, nameBlob, nameWrappedKey, updatedAt) VALUES ('P', x'', x'', " + t + ")", true},
        {"INSERT INTO projects (id, nameBlob, nameWrappedKey, updatedAt) VALUES ('Q', x'', NULL, " + t + ")", false},
        {"INSERT INTO projects (id, nameBlob, updatedAt) VALUES ('R', x'', " + t + ")", false},
        {"INSERT INTO items (id, collectionId, type, nameBlob, contentBlob, cryptoParams, wrappedItemKey, aiAccess, "
         "revision, updatedAt) VALUES ('I', 'C', 't', x'', x'', '', x'', 'x', 0, " + t + ")", true},
        {"INSERT INTO items (id, collectionId, type, nameBlob, contentBlob, cryptoParams, wrappedItemKey, aiAccess, "
         "updatedAt) VALUES ('J', 'C', 't', x'', x'', '', x'', 'x', " + t + ")", false},
        {"INSERT INTO pending_ops (opId, kind, itemId, payloadBlob, createdAt) VALUES ('K', 'put', 'I', x'', " + t + ")", false},
    };
    for (const auto& c : cases) {
        if (c.accepted) EXPECT_NO_THROW(db.exec(c.sql)) << c.sql;
        else EXPECT_THROW(db.exec(c.sql), SQLite::Exception) << c.sql;
    }
    EXPECT_EQ(db.execAndGet("SELECT sort || '/' || deleted FROM collections WHERE id = 'A'").getString(), "0/0");
    EXPECT_EQ(db.execAndGet("SELECT sort || '/' || deleted FROM projects WHERE id = 'P'").getString(), "0/0");
    EXPECT_EQ(db.execAndGet("SELECT deleted FROM items WHERE id = 'I'").getInt(), 0);
}

TEST_F(MigrationTest, OpenFailsWithoutCreatingFoldersOrOnForeignFiles) {
    EXPECT_THROW(VaelStore(dir.file("missing/replica.sqlite").string()), SQLite::Exception);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));

    std::ofstream(path()) << "this is not a database, just some text that fills the header page";
    EXPECT_THROW(open(), SQLite::Exception);
}

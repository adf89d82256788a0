#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <limits>
#include <nlohmann/json.hpp>

#include "StoreFixtures.h"
#include "store/RecordJson.h"

using namespace vael;
using namespace vael::test;
using namespace std::chrono;

namespace {

Bytes allByteValues() {
    Bytes bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
    return bytes;
}

}  // namespace

class RecordRowTest : public StoreTest {
protected:
    void SetUp() override { open(); }
    // A second connection to look at what was really stored.
    SQLite::Database raw() { return SQLite::Database(path(), SQLite::OPEN_READWRITE); }
};

TEST_F(RecordRowTest, ItemRowsRoundTripOddValues) {
    struct Case {
        const char* what;
        std::function<void(ItemRecord&)> change;
    };
    const std::vector<Case> cases{
        {"plain", [](ItemRecord&) {}},
        {"empty blobs and texts", [](ItemRecord& r) { r.nameBlob = {}; r.contentBlob = {}; r.wrappedItemKey = {};
                                                      r.type = ""; r.cryptoParams = ""; r.aiAccess = ""; }},
        {"every byte value", [](ItemRecord& r) { r.nameBlob = allByteValues(); r.contentBlob = Bytes(100000, 0); }},
        {"text with NUL and non-ASCII", [](ItemRecord& r) { r.type = std::string("a\0b", 3); r.aiAccess = "ä→𝄞"; }},
        {"largest revision", [](ItemRecord& r) { r.revision = std::numeric_limits<std::int64_t>::max(); }},
        {"smallest revision", [](ItemRecord& r) { r.revision = std::numeric_limits<std::int64_t>::min(); }},
        {"tombstone", [](ItemRecord& r) { r.deleted = true; }},
        {"before 1970", [](ItemRecord& r) { r.updatedAt = at(-1ms); }},
        {"year 2200", [](ItemRecord& r) { r.updatedAt = sys_days{2200y / 12 / 31} + 23h + 59min + 59s + 999ms; }},
        {"lower-case id text", [](ItemRecord& r) { r.id = *Uuid::parse("abcdef00-0000-4000-8000-0000000000ff"); }},
    };
    int n = 0;
    for (const auto& c : cases) {
        auto record = sampleItem(++n);
        c.change(record);
        store->upsertItem(record);
        EXPECT_EQ(store->item(record.id), record) << c.what;
    }
}

TEST_F(RecordRowTest, CollectionAndProjectRowsRoundTrip) {
    auto full = sampleCollection(1);
    full.parentId = id(2);
    full.nameWrappedKey = Bytes{};  // present but empty is not absent
    full.sort = -7;
    full.deleted = true;
    const auto bare = sampleCollection(3);
    auto project = sampleProject(4);
    project.sort = std::numeric_limits<std::int64_t>::min();
    project.nameBlob = {};

    store->upsertCollection(full);
    store->upsertCollection(bare);
    store->upsertProject(project);
    EXPECT_EQ(store->collection(full.id), full);
    EXPECT_EQ(store->collection(bare.id), bare);
    EXPECT_EQ(store->project(project.id), project);

    auto db = raw();
    EXPECT_EQ(db.execAndGet("SELECT typeof(parentId) || typeof(nameWrappedKey) FROM collections WHERE id = '" +
                            bare.id.text() + "'").getString(), "nullnull");
    EXPECT_EQ(db.execAndGet("SELECT typeof(nameWrappedKey) || length(nameWrappedKey) FROM collections WHERE id = '" +
                            full.id.text() + "'").getString(), "blob0");
}

TEST_F(RecordRowTest, ColumnsHoldTheDocumentedForms) {
    auto record = sampleItem(1);
    record.id = *Uuid::parse("abcdef00-0000-4000-8000-0000000000ff");
    record.contentBlob = {};
    record.deleted = true;
    record.updatedAt = sampleTime() + 999us;  // finer than a millisecond is cut
    store->upsertItem(record);

    auto db = raw();
    SQLite::Statement q(db, "SELECT id, typeof(contentBlob), length(contentBlob), deleted, typeof(deleted), updatedAt, "
                            "typeof(updatedAt) FROM items");
    ASSERT_TRUE(q.executeStep());
    EXPECT_EQ(q.getColumn(0).getString(), "ABCDEF00-0000-4000-8000-0000000000FF");
    EXPECT_EQ(q.getColumn(1).getString(), "blob");
    EXPECT_EQ(q.getColumn(2).getInt(), 0);
    EXPECT_EQ(q.getColumn(3).getInt(), 1);
    EXPECT_EQ(q.getColumn(4).getString(), "integer");
    EXPECT_EQ(q.getColumn(5).getString(), "2025-03-07 09:05:01.250");
    EXPECT_EQ(q.getColumn(6).getString(), "text");

    const auto back = store->item(record.id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->updatedAt, sampleTime());
    EXPECT_NE(*back, record);
    record.updatedAt = sampleTime();
    EXPECT_EQ(*back, record);
}

TEST_F(RecordRowTest, LookupIsByUpperCaseTextOnly) {
    auto db = raw();
    db.exec("INSERT INTO items (id, collectionId, type, nameBlob, contentBlob, cryptoParams, wrappedItemKey, aiAccess, "
            "revision, updatedAt, deleted) VALUES ('abcdef00-0000-4000-8000-0000000000ff', '" + id(900).text() +
            "', 't', x'00', x'00', '', x'00', 'x', 1, '2025-03-07 09:05:01.250', 2)");
    EXPECT_FALSE(store->item(*Uuid::parse("ABCDEF00-0000-4000-8000-0000000000FF")));
    // Any non-zero flag is a tombstone when read, and list reads leave it out.
    db.exec("UPDATE items SET id = upper(id)");
    const auto read = store->item(*Uuid::parse("abcdef00-0000-4000-8000-0000000000ff"));
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->deleted);
}

TEST_F(RecordRowTest, UndecodableRowsFailTheWholeRead) {
    const std::string good = "'2025-03-07 09:05:01.250'";
    struct Case {
        const char* what;
        std::string id, nameBlob, revision, updatedAt;
    };
    const std::vector<Case> cases{
        {"id not a UUID", "'not-a-uuid'", "x'00'", "1", good},
        {"date not a date", "'" + id(2).text() + "'", "x'00'", "1", "'yesterday'"},
        {"date as a number", "'" + id(2).text() + "'", "x'00'", "1", "12345"},
        {"text in a blob column", "'" + id(2).text() + "'", "'name'", "1", good},
        {"text in an integer column", "'" + id(2).text() + "'", "x'00'", "'one'", good},
    };
    for (const auto& c : cases) {
        TempDir own;
        VaelStore s(own.file("r.sqlite").string());
        s.upsertItem(sampleItem(1));
        SQLite::Database db(own.file("r.sqlite").string(), SQLite::OPEN_READWRITE);
        db.exec("INSERT INTO items (id, collectionId, type, nameBlob, contentBlob, cryptoParams, wrappedItemKey, "
                "aiAccess, revision, updatedAt) VALUES (" + c.id + ", '" + id(900).text() + "', 't', " + c.nameBlob +
                ", x'00', '', x'00', 'x', " + c.revision + ", " + c.updatedAt + ")");
        try {
            (void)s.items(id(900));
            ADD_FAILURE() << c.what << ": read did not throw";
        } catch (const SQLite::Exception& e) {
            EXPECT_EQ(e.getErrorCode(), SQLITE_MISMATCH) << c.what;
        }
    }
}

// --- keyed JSON form ---

TEST(RecordJson, CollectionJsonHasTheFieldKeysAndLeavesOutAbsentOptionals) {
    auto record = sampleCollection(1);
    record.updatedAt = sys_days{2001y / 1 / 1};
    record.nameBlob = Bytes{0xfb, 0xff};
    record.sort = -3;
    const auto bare = nlohmann::json::parse(toJsonText(record));
    EXPECT_EQ(bare, nlohmann::json::parse(R"({"id":")" + id(1).text() + R"(","orgId":")" + id(800).text() +
                                          R"(","nameBlob":"+/8=","sort":-3,"wrappedKey":"Z3JvdXAta2V5",)"
                                          R"("updatedAt":0,"deleted":false})"));
    EXPECT_EQ(collectionRecordFromJson(toJsonText(record)), record);

    record.parentId = id(2);
    record.nameWrappedKey = Bytes{1, 2, 3};
    record.updatedAt = sampleTime();
    const auto full = nlohmann::json::parse(toJsonText(record));
    EXPECT_EQ(full["parentId"], id(2).text());
    EXPECT_EQ(full["nameWrappedKey"], "AQID");
    EXPECT_DOUBLE_EQ(full["updatedAt"].get<double>(), 763031101.25);
    EXPECT_EQ(collectionRecordFromJson(toJsonText(record)), record);
}

TEST(RecordJson, ItemAndProjectJsonRoundTrip) {
    auto item = sampleItem(1);
    item.revision = std::numeric_limits<std::int64_t>::min();
    item.deleted = true;
    item.contentBlob = {};
    EXPECT_EQ(itemRecordFromJson(toJsonText(item)), item);
    const auto project = sampleProject(2);
    EXPECT_EQ(projectRecordFromJson(toJsonText(project)), project);
}

TEST(RecordJson, CollectionReaderIsLenientOnlyWhereAllowed) {
    const std::string idText = id(1).text(), orgText = id(800).text();
    auto make = [&](const std::string& extra, const std::string& replace = "") {
        nlohmann::json o = {{"deleted", false}, {"updatedAt", 1.5}, {"wrappedKey", "AA=="}, {"sort", 2},
                            {"nameBlob", ""}, {"orgId", orgText}, {"id", "0000000a-0000-4000-8000-000000000001"}};
        if (!replace.empty()) o.erase(replace);
        auto text = o.dump();
        if (!extra.empty()) text.insert(text.size() - 1, "," + extra);
        return text;
    };
    const auto plain = collectionRecordFromJson(make(""));
    EXPECT_EQ(plain.id.text(), "0000000A-0000-4000-8000-000000000001");
    EXPECT_FALSE(plain.parentId);
    EXPECT_EQ(plain.updatedAt, sys_days{2001y / 1 / 1} + 1500ms);
    EXPECT_EQ(collectionRecordFromJson(make(R"("parentId":null,"nameWrappedKey":null,"other":[1])")), plain);

    struct Case {
        const char* what;
        std::string text;
    };
    const std::vector<Case> bad{
        {"not JSON", "{"},
        {"not an object", "[1]"},
        {"missing id", make("", "id")},
        {"missing deleted", make("", "deleted")},
        {"null sort", make("", "sort").insert(1, R"("sort":null,)")},
        {"sort as text", make("", "sort").insert(1, R"("sort":"2",)")},
        {"sort as fraction", make("", "sort").insert(1, R"("sort":2.5,)")},
        {"sort beyond 64 bits", make("", "sort").insert(1, R"("sort":18446744073709551615,)")},
        {"deleted as number", make("", "deleted").insert(1, R"("deleted":0,)")},
        {"date as text", make("", "updatedAt").insert(1, R"("updatedAt":"2001-01-01",)")},
        {"bad UUID", make(R"("parentId":"nope")")},
        {"URL-safe Base64", make("", "wrappedKey").insert(1, R"("wrappedKey":"-_8=",)")},
        {"unpadded Base64", make("", "wrappedKey").insert(1, R"("wrappedKey":"AA",)")},
    };
    for (const auto& c : bad) EXPECT_THROW(collectionRecordFromJson(c.text), JsonDecodingError) << c.what;
}

TEST(RecordJson, EqualityComparesEveryField) {
    auto a = sampleCollection(1), b = sampleCollection(1);
    EXPECT_EQ(a, b);
    b.parentId = id(2);
    EXPECT_NE(a, b);
    b = a;
    b.nameWrappedKey = Bytes{};
    EXPECT_NE(a, b);
    auto i = sampleItem(1), j = sampleItem(1);
    j.updatedAt += 1ns;
    EXPECT_NE(i, j);
}

TEST(RecordJson, TextThatIsNotUtf8CannotBeEncoded) {
    auto item = sampleItem(1);
    item.type = "\xff";
    EXPECT_THROW(toJsonText(item), std::invalid_argument);
}

#include <SQLiteCpp/SQLiteCpp.h>

#include <thread>

#include "StoreFixtures.h"

using namespace vael;
using namespace vael::test;

class StoreReadWriteTest : public StoreTest {
protected:
    void SetUp() override { open(); }
};

TEST_F(StoreReadWriteTest, TombstonesAreVisibleByIdAndNeverInLists) {
    auto item = sampleItem(1);
    auto group = sampleCollection(2);
    auto project = sampleProject(3);
    item.deleted = group.deleted = project.deleted = true;
    store->upsertItem(item);
    store->upsertItem(sampleItem(4));
    store->upsertCollection(group);
    store->upsertCollection(sampleCollection(5));
    store->upsertProject(project);
    store->upsertProject(sampleProject(6));

    EXPECT_EQ(store->item(item.id), item);
    EXPECT_EQ(store->collection(group.id), group);
    EXPECT_EQ(store->project(project.id), project);
    EXPECT_EQ(store->items(id(900)), std::vector<ItemRecord>{sampleItem(4)});
    EXPECT_EQ(store->collections(id(800)), std::vector<CollectionRecord>{sampleCollection(5)});
    EXPECT_EQ(store->collections(), std::vector<CollectionRecord>{sampleCollection(5)});
    EXPECT_EQ(store->projects(), std::vector<ProjectRecord>{sampleProject(6)});
}

TEST_F(StoreReadWriteTest, ReadsOfUnknownIdsAnswerNothing) {
    store->upsertItem(sampleItem(1));
    EXPECT_FALSE(store->item(id(2)));
    EXPECT_FALSE(store->collection(id(2)));
    EXPECT_FALSE(store->project(id(2)));
    EXPECT_TRUE(store->items(id(2)).empty());
    EXPECT_TRUE(store->collections(id(2)).empty());
}

TEST_F(StoreReadWriteTest, ListsFilterByOwnerAndSortByOneColumn) {
    // Items come by ciphertext bytes, which say nothing about the plaintext order.
    for (auto [n, name] : std::vector<std::pair<int, Bytes>>{{1, {0x80}}, {2, {0x00, 0xff}}, {3, {0x00}}, {4, {}}}) {
        auto record = sampleItem(n);
        record.nameBlob = name;
        store->upsertItem(record);
    }
    store->upsertItem(sampleItem(5, id(901)));
    std::vector<Uuid> order;
    for (const auto& r : store->items(id(900))) order.push_back(r.id);
    EXPECT_EQ(order, (std::vector<Uuid>{id(4), id(3), id(2), id(1)}));

    for (auto [n, sort, org] : std::vector<std::tuple<int, std::int64_t, int>>{{1, 5, 800}, {2, -1, 800}, {3, 0, 801}}) {
        auto group = sampleCollection(n, id(org));
        group.sort = sort;
        store->upsertCollection(group);
        auto project = sampleProject(n);
        project.sort = -sort;
        store->upsertProject(project);
    }
    auto ids = [](const auto& records) {
        std::vector<Uuid> out;
        for (const auto& r : records) out.push_back(r.id);
        return out;
    };
    EXPECT_EQ(ids(store->collections(id(800))), (std::vector<Uuid>{id(2), id(1)}));
    EXPECT_EQ(ids(store->collections()), (std::vector<Uuid>{id(2), id(3), id(1)}));
    EXPECT_EQ(ids(store->projects()), (std::vector<Uuid>{id(1), id(3), id(2)}));
}

TEST_F(StoreReadWriteTest, UpsertReplacesTheWholeRow) {
    auto group = sampleCollection(1);
    group.parentId = id(2);
    group.nameWrappedKey = bytesOf("name-key");
    store->upsertCollection(group);

    auto replacement = sampleCollection(1);  // no parent, no name key
    replacement.deleted = true;
    store->upsertCollection(replacement);
    EXPECT_EQ(store->collection(id(1)), replacement);

    auto item = sampleItem(3);
    store->upsertItem(item);
    item.revision = 9;
    item.deleted = true;
    item.collectionId = id(901);
    store->upsertItem(item);
    EXPECT_EQ(store->item(item.id), item);

    SQLite::Database db(path());
    EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM items").getInt(), 1);
    EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM collections").getInt(), 1);
}

TEST_F(StoreReadWriteTest, LastSyncTimeIsOneRow) {
    EXPECT_FALSE(store->lastSyncAt());
    store->setLastSyncAt(sampleTime());
    store->setLastSyncAt(sampleTime(1500ms));
    EXPECT_EQ(store->lastSyncAt(), sampleTime(1500ms));

    SQLite::Database db(path(), SQLite::OPEN_READWRITE);
    EXPECT_EQ(db.execAndGet("SELECT COUNT(*) || '/' || MAX(id) FROM sync_state").getString(), "1/1");
    db.exec("UPDATE sync_state SET lastSyncAt = NULL");
    EXPECT_FALSE(store->lastSyncAt());
}

TEST_F(StoreReadWriteTest, ConcurrentCallersAreSerialised) {
    constexpr int kThreads = 4, kEach = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                store->upsertItem(sampleItem(t * 1000 + i));
                (void)store->items(id(900));
                (void)store->pendingOps();
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(store->items(id(900)).size(), static_cast<std::size_t>(kThreads * kEach));
}

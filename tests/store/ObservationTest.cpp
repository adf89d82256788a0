#include <SQLiteCpp/SQLiteCpp.h>

#include <thread>

#include "StoreFixtures.h"

using namespace vael;
using namespace vael::test;

class ObservationTest : public StoreTest {
protected:
    void SetUp() override { open(); }

    VaultObservationToken observe() {
        return store->observeVaultChanges([this] { ++calls; }, queue.post());
    }
    // How many callbacks the work posted since the last look produced.
    int newCalls() {
        queue.drain();
        return std::exchange(calls, 0);
    }

    PostQueue queue;
    int calls = 0;
    std::thread::id testThread = std::this_thread::get_id();
};

TEST_F(ObservationTest, DeliversOnceAtStartThroughThePostFunction) {
    store->upsertItem(sampleItem(1));
    auto token = observe();
    EXPECT_EQ(calls, 0);  // nothing before it returns or before the queue runs
    EXPECT_EQ(newCalls(), 1);
    EXPECT_EQ(newCalls(), 0);
}

// Every committed write of items, groups or projects: a pulled edit stamped earlier than the newest
// local one changes neither a row count nor the latest time, and must still refresh the views.
TEST_F(ObservationTest, DeliversAfterEveryCommittedWriteOfTheObservedTables) {
    auto item = sampleItem(1);
    store->upsertItem(item);
    auto token = observe();
    ASSERT_EQ(newCalls(), 1);

    struct Step {
        const char* what;
        std::function<void()> write;
        int expected;
    };
    const std::vector<Step> steps{
        {"new item", [&] { store->upsertItem(sampleItem(2)); }, 1},
        {"tombstone with a newer time", [&] { item.deleted = true; item.updatedAt += std::chrono::seconds(1);
                                               store->upsertItem(item); }, 1},
        {"rewrite keeping the time", [&] { item.revision = 7; item.contentBlob = {}; store->upsertItem(item); }, 1},
        {"older time than the newest", [&] { auto other = sampleItem(2); other.updatedAt -= std::chrono::hours(1);
                                              store->upsertItem(other); }, 1},
        {"enqueue", [&] { store->enqueue(PendingOpRecord{.opId = id(5), .kind = PendingOpRecord::Kind::put,
                                                         .itemId = id(1), .payloadBlob = {}, .baseRevision = 0,
                                                         .createdAt = sampleTime()}); }, 0},
        {"delete pending op", [&] { store->deletePendingOp(id(5)); }, 0},
        {"last sync time", [&] { store->setLastSyncAt(sampleTime(std::chrono::hours(5))); }, 0},
        {"new collection", [&] { store->upsertCollection(sampleCollection(3)); }, 1},
        {"new project", [&] { store->upsertProject(sampleProject(4)); }, 1},
        {"newer project time", [&] { auto p = sampleProject(4); p.updatedAt += std::chrono::milliseconds(1);
                                      store->upsertProject(p); }, 1},
        {"two writes before the queue runs", [&] { store->upsertItem(sampleItem(8)); store->upsertItem(sampleItem(9)); }, 1},
    };
    for (const auto& step : steps) {
        step.write();
        EXPECT_EQ(newCalls(), step.expected) << step.what;
    }
}

TEST_F(ObservationTest, NothingAfterCancelOrRelease) {
    auto token = observe();
    ASSERT_EQ(newCalls(), 1);
    store->upsertItem(sampleItem(1));
    token.cancel();  // a recomputation was already posted
    store->upsertItem(sampleItem(2));
    EXPECT_EQ(newCalls(), 0);
    token.cancel();

    {
        auto released = observe();
        ASSERT_EQ(newCalls(), 1);
        store->upsertItem(sampleItem(3));
    }
    store->upsertItem(sampleItem(4));
    EXPECT_EQ(newCalls(), 0);
}

TEST_F(ObservationTest, ObservationsAreIndependent) {
    auto first = observe();
    ASSERT_EQ(newCalls(), 1);
    int secondCalls = 0;
    auto second = store->observeVaultChanges([&] { ++secondCalls; }, queue.post());
    queue.drain();
    EXPECT_EQ(secondCalls, 1);
    EXPECT_EQ(calls, 0);  // the first one has nothing new

    store->upsertItem(sampleItem(1));
    first.cancel();
    queue.drain();
    EXPECT_EQ(secondCalls, 2);
    EXPECT_EQ(calls, 0);
}

TEST_F(ObservationTest, CallbackRunsWhereThePostFunctionRunsIt) {
    auto token = store->observeVaultChanges([&] { ++calls; EXPECT_EQ(std::this_thread::get_id(), testThread); },
                                            queue.post());
    std::thread writer([&] { store->upsertItem(sampleItem(1)); });
    writer.join();
    queue.drain();
    EXPECT_EQ(calls, 1);  // the start and the write were read as one state
}

TEST_F(ObservationTest, WorkPostedForADroppedStoreDoesNothing) {
    auto token = observe();
    store.reset();
    EXPECT_EQ(newCalls(), 0);
}

TEST_F(ObservationTest, ContentWriteCountMovesOnlyWithContentCommits) {
    const auto start = store->contentWriteCount();
    store->upsertItem(sampleItem(1));
    store->upsertItem(sampleItem(1));  // a rewrite is still a write
    EXPECT_EQ(store->contentWriteCount(), start + 2);
    store->setLastSyncAt(sampleTime());
    store->deletePendingOp(id(1));
    EXPECT_EQ(store->contentWriteCount(), start + 2);
    store->upsertProject(sampleProject(2));
    EXPECT_EQ(store->contentWriteCount(), start + 3);
}

class ContentChangesTest : public StoreTest {
protected:
    void SetUp() override { open(); }
};

TEST_F(ContentChangesTest, NamesTheItemRowsWrittenSinceAMark) {
    const auto start = store->contentChangesSince(std::nullopt);
    EXPECT_FALSE(start.known);  // no mark: read everything

    auto edited = sampleItem(1);
    store->upsertItem(edited);
    store->upsertItem(sampleItem(2));
    edited.revision = 9;
    store->upsertItem(edited);  // the same row twice comes once, as it is now
    store->setLastSyncAt(sampleTime());
    const auto changes = store->contentChangesSince(start.mark);
    ASSERT_TRUE(changes.known);
    EXPECT_FALSE(changes.structure);
    EXPECT_EQ(changes.items, (std::vector<ItemRecord>{edited, sampleItem(2)}));

    const auto none = store->contentChangesSince(changes.mark);
    EXPECT_TRUE(none.known);
    EXPECT_EQ(none.mark, changes.mark);
    EXPECT_TRUE(none.items.empty());

    store->upsertCollection(sampleCollection(3));
    const auto structure = store->contentChangesSince(none.mark);
    EXPECT_TRUE(structure.known);
    EXPECT_TRUE(structure.structure);
    EXPECT_TRUE(structure.items.empty());
}

TEST_F(ContentChangesTest, WritesOfAnotherConnectionAreUnknownChanges) {
    store->upsertItem(sampleItem(1));
    const auto mark = store->contentChangesSince(std::nullopt).mark;
    {
        VaelStore other(path());
        other.setLastSyncAt(sampleTime());  // not content: seen only by a look at the file
        auto item = sampleItem(1);
        item.deleted = true;
        other.upsertItem(item);
    }
    EXPECT_FALSE(store->contentUnchangedSince(mark));
    const auto changes = store->contentChangesSince(mark);
    EXPECT_FALSE(changes.known);
    EXPECT_NE(changes.mark, mark);
    EXPECT_TRUE(store->contentChangesSince(changes.mark).known);
}

TEST_F(ContentChangesTest, OwnWritesAreNeverTakenForNoChange) {
    const auto mark = store->contentChangesSince(std::nullopt).mark;
    store->upsertItem(sampleItem(1));
    EXPECT_FALSE(store->contentUnchangedSince(mark));
}

TEST_F(ContentChangesTest, AMarkTheJournalNoLongerReachesIsUnknown) {
    const auto mark = store->contentChangesSince(std::nullopt).mark;
    for (int i = 0; i < 1100; ++i) store->upsertItem(sampleItem(1));
    EXPECT_FALSE(store->contentChangesSince(mark).known);
}

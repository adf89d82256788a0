// The local index of item names: which rows a search by tag sees, and when a tag stops holding.
#include <SQLiteCpp/Exception.h>
#include <gtest/gtest.h>

#include <functional>

#include "StoreFixtures.h"

namespace vael::test {

namespace {

const Bytes kTagA = bytesOf("tag-a");
const Bytes kTagB = bytesOf("tag-b");

class NameTagTest : public StoreTest {
protected:
    void SetUp() override { open(); }

    // The rows a search for `tag` in group 900 sees: id number and whether it is tagged.
    std::vector<std::pair<Uuid, bool>> seen(const Bytes& tag) {
        std::vector<std::pair<Uuid, bool>> ids;
        for (const auto& item : store->itemsTaggedOrUntagged(id(900), tag)) ids.emplace_back(item.record.id, item.tagged);
        return ids;
    }
    NameTag tagOf(const ItemRecord& row, const Bytes& tag) {
        return NameTag{row.id, row.collectionId, row.nameBlob, row.wrappedItemKey, tag};
    }
};

}  // namespace

TEST_F(NameTagTest, ASearchSeesItsOwnTagAndUntaggedRowsOnly) {
    store->upsertItem(sampleItem(1), kTagA);
    store->upsertItem(sampleItem(2), kTagB);
    store->upsertItem(sampleItem(3));
    store->upsertItem(sampleItem(4, id(901)), kTagA);  // another group
    auto gone = sampleItem(5);
    gone.deleted = true;
    store->upsertItem(gone, kTagA);

    EXPECT_EQ(seen(kTagA), (std::vector<std::pair<Uuid, bool>>{{id(1), true}, {id(3), false}}));
    EXPECT_EQ(seen(kTagB), (std::vector<std::pair<Uuid, bool>>{{id(2), true}, {id(3), false}}));
}

// A tag belongs to the sealed name, the key and the group it was made under: any other write of
// those clears it, so a search can never miss a row behind a stale tag.
TEST_F(NameTagTest, AWriteOfTheNameKeyOrGroupWithoutANewTagClearsIt) {
    struct Case {
        const char* what;
        std::function<void(ItemRecord&)> change;
        bool keepsTag;
    };
    const std::vector<Case> cases{
        {"new sealed name", [](ItemRecord& r) { r.nameBlob = bytesOf("renamed"); }, false},
        {"rewrapped key", [](ItemRecord& r) { r.wrappedItemKey = bytesOf("rotated"); }, false},
        {"moved", [](ItemRecord& r) { r.collectionId = id(901); }, false},
        {"revision and time", [](ItemRecord& r) { r.revision = 7; r.updatedAt = sampleTime(5ms); }, true},
        {"tier", [](ItemRecord& r) { r.aiAccess = "aiHidden"; }, true},
    };
    for (const auto& c : cases) {
        auto row = sampleItem(1);
        store->upsertItem(row, kTagA);
        c.change(row);
        store->upsertItem(row);
        const auto items = store->itemsTaggedOrUntagged(row.collectionId, kTagB);
        const bool untaggedNow = items.size() == 1 && !items[0].tagged;
        EXPECT_EQ(untaggedNow, !c.keepsTag) << c.what;
        store->upsertItem(sampleItem(1), kTagA);
    }
    // The writer that seals a new name sets the new tag in the same write.
    auto renamed = sampleItem(1);
    renamed.nameBlob = bytesOf("renamed again");
    store->upsertItem(renamed, kTagB);
    EXPECT_EQ(seen(kTagB), (std::vector<std::pair<Uuid, bool>>{{id(1), true}}));
}

TEST_F(NameTagTest, TaggingTouchesOnlyUntaggedRowsThatStillHoldWhatWasOpenedAndIsNoContentChange) {
    const auto opened = sampleItem(1);
    store->upsertItem(opened);
    store->upsertItem(sampleItem(2), kTagB);
    auto changedSince = sampleItem(3);
    store->upsertItem(changedSince);
    const auto staleTag = tagOf(changedSince, kTagA);
    changedSince.nameBlob = bytesOf("written after it was opened");
    store->upsertItem(changedSince);

    const auto mark = store->contentChangesSince(std::nullopt).mark;
    const auto writes = store->contentWriteCount();
    store->tagNames({tagOf(opened, kTagA), tagOf(sampleItem(2), kTagA), staleTag});

    EXPECT_EQ(seen(kTagA), (std::vector<std::pair<Uuid, bool>>{{id(1), true}, {id(3), false}}));
    EXPECT_EQ(seen(kTagB), (std::vector<std::pair<Uuid, bool>>{{id(2), true}, {id(3), false}}));
    const auto changes = store->contentChangesSince(mark);
    EXPECT_TRUE(changes.known);
    EXPECT_TRUE(changes.items.empty());
    EXPECT_EQ(store->contentWriteCount(), writes);
}

TEST_F(NameTagTest, ARowAndItsQueuedOperationAreWrittenTogetherOrNotAtAll) {
    const PendingOpRecord op{id(50), PendingOpRecord::Kind::put, id(1), bytesOf("{}"), 1, sampleTime()};
    store->upsertItemAndEnqueue(sampleItem(1), kTagA, op);
    EXPECT_EQ(seen(kTagA), (std::vector<std::pair<Uuid, bool>>{{id(1), true}}));
    ASSERT_EQ(store->pendingOps().size(), 1u);

    auto edited = sampleItem(1);
    edited.revision = 5;
    EXPECT_THROW(store->upsertItemAndEnqueue(edited, std::nullopt, op), SQLite::Exception);  // the same opId
    EXPECT_EQ(store->item(id(1))->revision, 1);
    EXPECT_EQ(store->pendingOps().size(), 1u);
}

}  // namespace vael::test

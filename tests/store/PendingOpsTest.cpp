#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include "StoreFixtures.h"

using namespace vael;
using namespace vael::test;
using Kind = PendingOpRecord::Kind;

namespace {

PendingOpRecord op(const Uuid& opId, TimePoint createdAt, Kind kind = Kind::put) {
    return PendingOpRecord{.opId = opId, .kind = kind, .itemId = id(1), .payloadBlob = bytesOf("{}"),
                           .baseRevision = 3, .createdAt = createdAt};
}

std::vector<Uuid> opIds(const std::vector<PendingOpRecord>& ops) {
    std::vector<Uuid> ids;
    for (const auto& o : ops) ids.push_back(o.opId);
    return ids;
}

}  // namespace

class PendingOpsTest : public StoreTest {
protected:
    void SetUp() override { open(); }
};

TEST(PendingOpKind, TextsAreExact) {
    const std::vector<std::pair<Kind, std::string_view>> kinds{
        {Kind::put, "put"}, {Kind::delete_, "delete"}, {Kind::create, "create"},
        {Kind::createCollection, "createCollection"}, {Kind::putCollection, "putCollection"},
        {Kind::deleteCollection, "deleteCollection"}};
    for (const auto& [kind, text] : kinds) {
        EXPECT_EQ(toText(kind), text);
        EXPECT_EQ(pendingOpKindFromText(text), kind);
    }
    for (const char* text : {"Put", "DELETE", "createcollection", "", "put "}) EXPECT_FALSE(pendingOpKindFromText(text));
}

TEST_F(PendingOpsTest, QueueComesBackInCreationThenOpIdOrder) {
    EXPECT_TRUE(store->pendingOps().empty());
    const Uuid high = Uuid::fromText("FFFFFFFF-0000-4000-8000-000000000000");
    const Uuid low = Uuid::fromText("00000000-0000-4000-8000-000000000000");
    const Uuid mid = Uuid::fromText("88888888-0000-4000-8000-000000000000");
    // Queued in time order with falling opIds: time wins.
    store->enqueue(op(high, sampleTime(0ms)));
    store->enqueue(op(mid, sampleTime(1ms)));
    store->enqueue(op(low, sampleTime(2ms)));
    EXPECT_EQ(opIds(store->pendingOps()), (std::vector<Uuid>{high, mid, low}));

    // Within one millisecond, opId text decides, whatever the queueing order.
    const Uuid a = Uuid::fromText("AAAAAAAA-0000-4000-8000-000000000000");
    const Uuid b = Uuid::fromText("BBBBBBBB-0000-4000-8000-000000000000");
    store->enqueue(op(b, sampleTime(5ms)));
    store->enqueue(op(a, sampleTime(5ms) + std::chrono::microseconds(700)));
    EXPECT_EQ(opIds(store->pendingOps()), (std::vector<Uuid>{high, mid, low, a, b}));
}

TEST_F(PendingOpsTest, OpsOfOneItemComeInQueueOrder) {
    auto other = op(id(3), sampleTime(1ms));
    other.itemId = id(2);
    store->enqueue(op(id(5), sampleTime(4ms)));
    store->enqueue(other);
    store->enqueue(op(id(4), sampleTime(2ms), Kind::delete_));
    EXPECT_EQ(opIds(store->pendingOps(id(1))), (std::vector<Uuid>{id(4), id(5)}));
    EXPECT_EQ(opIds(store->pendingOps(id(2))), std::vector<Uuid>{id(3)});
    EXPECT_TRUE(store->pendingOps(id(9)).empty());
}

TEST_F(PendingOpsTest, LatestTimeIsTheNewestQueuedCreation) {
    EXPECT_FALSE(store->latestPendingOpTime());
    store->enqueue(op(id(1), sampleTime(5ms)));
    store->enqueue(op(id(2), sampleTime(2ms)));
    EXPECT_EQ(store->latestPendingOpTime(), sampleTime(5ms));
    store->deletePendingOp(id(1));
    EXPECT_EQ(store->latestPendingOpTime(), sampleTime(2ms));
}

TEST_F(PendingOpsTest, EveryFieldRoundTripsAndEmptyPayloadStaysEmpty) {
    for (auto kind : {Kind::put, Kind::delete_, Kind::create, Kind::createCollection, Kind::putCollection,
                      Kind::deleteCollection}) {
        auto record = op(Uuid::random(), sampleTime(), kind);
        record.payloadBlob = {};
        record.baseRevision = -5;
        store->enqueue(record);
        const auto ops = store->pendingOps();
        ASSERT_EQ(ops.size(), 1u);
        EXPECT_EQ(ops[0], record);
        store->deletePendingOp(record.opId);
    }
    EXPECT_TRUE(store->pendingOps().empty());
}

TEST_F(PendingOpsTest, UnknownKindFailsTheWholeRead) {
    for (const char* kind : {"Put", "remove", ""}) {
        TempDir own;
        VaelStore s(own.file("r.sqlite").string());
        s.enqueue(op(Uuid::random(), sampleTime()));
        SQLite::Database db(own.file("r.sqlite").string(), SQLite::OPEN_READWRITE);
        db.exec(std::string("INSERT INTO pending_ops VALUES ('") + id(7).text() + "', '" + kind + "', '" +
                id(1).text() + "', x'', 0, '2025-03-07 09:05:01.250')");
        try {
            (void)s.pendingOps();
            ADD_FAILURE() << "kind \"" << kind << "\" was accepted";
        } catch (const SQLite::Exception& e) {
            EXPECT_EQ(e.getErrorCode(), SQLITE_MISMATCH);
        }
    }
}

TEST_F(PendingOpsTest, DuplicateOpIdFailsAndDeletingTwiceIsHarmless) {
    const auto first = op(id(1), sampleTime());
    store->enqueue(first);
    auto second = op(id(1), sampleTime(1ms), Kind::delete_);
    EXPECT_THROW(store->enqueue(second), SQLite::Exception);
    EXPECT_EQ(store->pendingOps(), std::vector<PendingOpRecord>{first});

    store->deletePendingOp(id(1));
    EXPECT_NO_THROW(store->deletePendingOp(id(1)));
    EXPECT_TRUE(store->pendingOps().empty());
}

#include <nlohmann/json.hpp>

#include "EngineFixtures.h"

using namespace vael;
using namespace vael::test;

TEST(SyncTypes, ConflictChoiceTextsAreExact) {
    EXPECT_EQ(toText(ConflictChoice::keepMine), "keepMine");
    EXPECT_EQ(conflictChoiceFromText("keepTheirs"), ConflictChoice::keepTheirs);
    EXPECT_EQ(conflictChoiceFromText("keepMine"), ConflictChoice::keepMine);
    for (const char* text : {"KeepTheirs", "keep_theirs", "", "keepmine"}) EXPECT_FALSE(conflictChoiceFromText(text));
}

TEST(SyncTypes, BodyAndRecordDifferOnlyInTheTombstone) {
    const auto body = sampleBody(1);
    const auto live = body.toRecord(false), dead = body.toRecord(true);
    EXPECT_FALSE(live.deleted);
    EXPECT_TRUE(dead.deleted);
    auto same = dead;
    same.deleted = false;
    EXPECT_EQ(same, live);
    EXPECT_EQ(ItemBody::fromRecord(dead), body);
}

TEST(SyncTypes, ErrorEquality) {
    EXPECT_NE(SyncAPIError::transport("a"), SyncAPIError::transport("b"));
    EXPECT_EQ(SyncAPIError::transport("a"), SyncAPIError::transport("a"));
    EXPECT_NE(SyncAPIError::conflict(5), SyncAPIError::conflict(6));
    EXPECT_EQ(SyncAPIError::offline(), SyncAPIError::offline());
    EXPECT_NE(SyncAPIError::offline(), SyncAPIError::transport(""));
    EXPECT_STREQ(SyncAPIError::transport("timed out").what(), "timed out");
}

TEST(SyncTypes, ResponsesCompareInOrder) {
    const SyncItemDelta a{.id = id(1), .collectionId = id(9), .revision = 1, .updatedAt = sampleTime(), .deleted = false};
    auto b = a;
    b.id = id(2);
    const SyncResponse one{.now = sampleTime(), .items = {a, b}, .collections = {}};
    const SyncResponse two{.now = sampleTime(), .items = {b, a}, .collections = {}};
    EXPECT_NE(one, two);

    SyncCollectionDelta g{.id = id(3), .orgId = id(4), .parentId = std::nullopt, .nameBlob = {1},
                          .sort = 0, .wrappedKey = {2}, .updatedAt = sampleTime(), .deleted = false};
    auto h = g;
    EXPECT_EQ(g, h);
    h.parentId = id(5);
    EXPECT_NE(g, h);
}

TEST(SyncTypes, ItemBodyJsonRoundTripsAndNeedsEveryKey) {
    auto body = sampleBody(1);
    body.nameBlob = {};
    body.revision = -1;
    body.updatedAt = sampleTime() + std::chrono::microseconds(3);
    EXPECT_EQ(itemBodyFromJson(toJsonText(body)), body);

    auto json = nlohmann::json::parse(toJsonText(body));
    EXPECT_FALSE(json.contains("deleted"));
    for (const char* key : {"id", "collectionId", "type", "nameBlob", "contentBlob", "cryptoParams", "wrappedItemKey",
                            "aiAccess", "revision", "updatedAt"}) {
        auto without = json;
        without.erase(key);
        EXPECT_THROW(itemBodyFromJson(without.dump()), JsonDecodingError) << key;
    }
}

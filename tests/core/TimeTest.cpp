#include <gtest/gtest.h>

#include "core/Time.h"

using namespace std::chrono;
using namespace vael;

TEST(Time, DatabaseTextRoundTripsWholeMilliseconds) {
    const TimePoint t = sys_days{2025y / 3 / 7} + 9h + 5min + 1s + 250ms;
    EXPECT_EQ(toDatabaseText(t), "2025-03-07 09:05:01.250");
    EXPECT_EQ(fromDatabaseText("2025-03-07 09:05:01.250"), t);
    EXPECT_EQ(toDatabaseText(t + 999us), "2025-03-07 09:05:01.250");
    EXPECT_EQ(truncatedToMilliseconds(t + 999us), t);
}

TEST(Time, DatabaseTextBeforeUnixEpochFloors) {
    const TimePoint t = sys_days{1969y / 12 / 31} + 23h + 59min + 59s + 999ms;
    EXPECT_EQ(toDatabaseText(t), "1969-12-31 23:59:59.999");
    EXPECT_EQ(fromDatabaseText(toDatabaseText(t)), t);
}

TEST(Time, DatabaseTextRejectsGarbage) {
    for (const char* text : {"", "2025-03-07", "2025-13-07 09:05:01.250", "2025-02-30 09:05:01.250",
                             "2025-03-07T09:05:01.250", "2025-03-07 09:05:01.", "2025-03-07 09:05:01.2500",
                             "2025-03-07 24:05:01.250", "9999-01-01 00:00:00.000", "0001-01-01 00:00:00.000"}) {
        EXPECT_FALSE(fromDatabaseText(text)) << text;
    }
}

TEST(Time, ReferenceSecondsCountFrom2001) {
    const TimePoint zero = sys_days{2001y / 1 / 1};
    EXPECT_EQ(toReferenceSeconds(zero), 0.0);
    EXPECT_EQ(fromReferenceSeconds(0), zero);
    EXPECT_EQ(fromReferenceSeconds(1.5), zero + 1500ms);
    // Absurd numbers from outside clamp instead of overflowing.
    EXPECT_GT(fromReferenceSeconds(1e300), zero);
}

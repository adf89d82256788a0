#include <gtest/gtest.h>

#include <limits>

#include "app/model/ModelTime.h"

namespace vael {
namespace {

using std::chrono::seconds;
constexpr auto kMax = std::numeric_limits<std::int64_t>::max();

TEST(ModelTime, MinutesSaturateInsteadOfOverflowing) {
    struct Case {
        std::int64_t minutes;
        std::int64_t seconds;
    };
    for (auto [minutes, expected] : {Case{0, 0}, Case{-5, 0}, Case{std::numeric_limits<std::int64_t>::min(), 0},
                                     Case{1, 60}, Case{60, 3600}, Case{kMax / 60, (kMax / 60) * 60},
                                     Case{kMax / 60 + 1, kMax}, Case{kMax, kMax}}) {
        EXPECT_EQ(minutesToSeconds(minutes), expected) << minutes;
    }
}

TEST(ModelTime, SecondsBetweenNeverOverflows) {
    const BootTime start{seconds(1000)};
    EXPECT_EQ(secondsBetween(start, start + seconds(59)), 59);
    EXPECT_EQ(secondsBetween(start, start + std::chrono::milliseconds(59'999)), 59);
    EXPECT_EQ(secondsBetween(start + seconds(5), start), 0);
    // The distant past is "longer ago than any limit", not a wrapped-around negative number.
    EXPECT_EQ(secondsBetween(BootTime::min(), start), kMax);
    EXPECT_GT(secondsBetween(BootTime::min(), BootTime::max()), 0);
}

}  // namespace
}  // namespace vael

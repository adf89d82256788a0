#include "app/platform/PolkitPresenceAuthority.h"

#include <gtest/gtest.h>

namespace vael {
namespace {

TEST(ProcessStartTime, ReadsFieldTwentyTwoWhateverTheCommandName) {
    const std::string tail = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 424242 20 21";
    EXPECT_EQ(processStartTime("1234 (vael)" + tail), 424242u);
    EXPECT_EQ(processStartTime("1234 (a) (b c) d)" + tail), 424242u);
    EXPECT_EQ(processStartTime("1234 ()" + tail), 424242u);
    EXPECT_EQ(processStartTime("1234 (vael) S 1 2 3"), std::nullopt);
    EXPECT_EQ(processStartTime("1234 vael" + tail), std::nullopt);
    EXPECT_EQ(processStartTime("1234 (vael) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 42x 20"), std::nullopt);
    EXPECT_EQ(processStartTime(""), std::nullopt);
}

}  // namespace
}  // namespace vael

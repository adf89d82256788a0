#include <gtest/gtest.h>

#include <vector>

#include "app/items/TOTPDisplay.h"

using namespace vael;

namespace {

TimePoint at(std::int64_t unixSeconds) { return TimePoint(std::chrono::seconds(unixSeconds)); }

}  // namespace

TEST(TOTPDisplay, GroupsEvenCodesOfSixOrMoreInTwoHalves) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"123456", "123 456"},
        {"12345678", "1234 5678"},
        {"1234567", "1234567"},
        {"1234", "1234"},
        {"", ""},
        // Halves by user-perceived characters, never inside one.
        {"e\u0301e\u0301e\u0301abc", "e\u0301e\u0301e\u0301 abc"},
    };
    for (const auto& [code, shown] : cases) EXPECT_EQ(TOTPDisplay::grouped(code), shown) << code;
}

TEST(TOTPDisplay, CountdownTurnsOrangeAtFiveSecondsWhateverThePeriod) {
    struct Case {
        std::string seed;
        std::int64_t time;
        TOTPDisplay::Countdown expected;
    };
    const std::string thirty = "JBSWY3DPEHPK3PXP";
    const std::string sixty = "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&period=60";
    const std::vector<Case> cases = {
        {thirty, 24, {30, 6, 6.0 / 30, false}},
        {thirty, 25, {30, 5, 5.0 / 30, true}},
        {thirty, 30, {30, 30, 1.0, false}},
        {sixty, 54, {60, 6, 6.0 / 60, false}},
        {sixty, 55, {60, 5, 5.0 / 60, true}},
        // No readable parameters: the remaining seconds over 30.
        {"not a seed", 10, {30, 20, 20.0 / 30, false}},
    };
    for (const auto& c : cases) EXPECT_EQ(TOTPDisplay::countdown(c.seed, at(c.time)), c.expected) << c.seed << " @" << c.time;
    EXPECT_EQ(TOTPDisplay::countdownDescription(12), "12 seconds until the code changes");
    EXPECT_EQ(TOTPDisplay::countdownDescription(1), "1 second until the code changes");
}

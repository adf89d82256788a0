#include <gtest/gtest.h>

#include <cstring>

#include "app/agent/LineReader.h"
#include "app/agent/UnicodeText.h"

using namespace vael;

namespace {

// Feeds `input` in pieces of `step` bytes and collects what the reader hands out.
std::vector<std::string> lines(LineReader& reader, std::string_view input, std::size_t step, bool* overlong = nullptr) {
    std::vector<std::string> out;
    while (!input.empty()) {
        auto space = reader.space();
        auto n = std::min({step, space.size(), input.size()});
        std::memcpy(space.data(), input.data(), n);
        reader.commit(n);
        input.remove_prefix(n);
        std::string_view line;
        for (;;) {
            auto next = reader.next(line);
            if (next == LineReader::Next::overlong) {
                if (overlong) *overlong = true;
                return out;
            }
            if (next == LineReader::Next::needMore) break;
            out.emplace_back(line);
        }
    }
    return out;
}

}  // namespace

TEST(LineReader, CutsAtLineFeedsOnlyWhateverTheReadsLookLike) {
    const std::string input = "one\r\n\ntwo\nthree-without-end";
    for (std::size_t step : {1u, 2u, 5u, 64u}) {
        LineReader reader(100, 8);
        EXPECT_EQ(lines(reader, input, step), (std::vector<std::string>{"one\r", "", "two"})) << step;
    }
}

TEST(LineReader, KeepsLongLinesWholeAcrossBufferGrowthAndCompaction) {
    std::string a(50, 'a'), b(70, 'b'), c(3, 'c');
    LineReader reader(100, 8);
    EXPECT_EQ(lines(reader, a + "\n" + b + "\n" + c + "\n" + a + "\n", 7), (std::vector<std::string>{a, b, c, a}));
}

TEST(LineReader, ReportsALineOverTheLimitWithOrWithoutItsLineFeed) {
    bool overlong = false;
    LineReader exact(10, 4);
    EXPECT_EQ(lines(exact, std::string(10, 'x') + "\n", 3, &overlong), std::vector<std::string>{std::string(10, 'x')});
    EXPECT_FALSE(overlong);

    LineReader complete(10, 4);
    EXPECT_EQ(lines(complete, "ok\n" + std::string(11, 'x') + "\n", 64, &overlong), std::vector<std::string>{"ok"});
    EXPECT_TRUE(overlong);

    overlong = false;
    LineReader endless(10, 4);
    EXPECT_TRUE(lines(endless, std::string(1000, 'x'), 3, &overlong).empty());
    EXPECT_TRUE(overlong);
}

TEST(DisplaySafe, RemovesControlsSeparatorsAndBidiControlsOnly) {
    EXPECT_EQ(displaySafe("Git\u202eHub\u202c"), "GitHub");
    EXPECT_EQ(displaySafe("a\nb\rc\td\x1b[31m\x7f\u0085"), "abcd[31m");
    EXPECT_EQ(displaySafe("\u2066x\u2069\u200e\u200f\u061c\u2028\u2029"), "x");
    EXPECT_EQ(displaySafe("caf\u00e9 \U0001F511 \u05e9\u05dc\u05d5\u05dd"), "caf\u00e9 \U0001F511 \u05e9\u05dc\u05d5\u05dd");
    EXPECT_EQ(displaySafe("a\xff" "b"), "a\uFFFDb");
}

TEST(GraphemeTail, CountsUserPerceivedCharacters) {
    const std::string flag = "\U0001F1E9\U0001F1EA";  // two regional indicators, one flag
    const std::string text = "ab" + flag + "c";
    auto t = graphemeTail(text, 2);
    EXPECT_EQ(t.count, 4u);
    EXPECT_EQ(t.tail, flag + "c");
    EXPECT_EQ(graphemeTail("ab", 4).tail, "ab");
    EXPECT_EQ(graphemeTail("", 4).count, 0u);
}

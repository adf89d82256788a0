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

// Two names that look alike must read alike: invisible format characters go, combining marks
// cannot pile up over the neighbouring rows, and emoji sequences keep their joiners.
TEST(DisplayLine, RemovesFormatCharactersAndCapsStackedMarks) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    const std::string thumbs = "\U0001F44D\U0001F3FD";                      // with a skin tone
    const std::string rainbowFlag = "\U0001F3F3\uFE0F\u200D\U0001F308";
    const std::string keycap = "1\uFE0F\u20E3";
    const struct {
        std::string stored;
        std::string shown;
    } cases[] = {
        {"Pay\u200Bpal", "Paypal"},
        {"Git\u2060Hub\uFEFF\u00AD", "GitHub"},
        {"a\u200Db", "ab"},                                   // a joiner between letters draws nothing
        {"\U0001F468\u200Dx", "\U0001F468x"},                   // nor one that joins no second emoji
        {"\U0001F468\u200D", "\U0001F468"},
        {family, family},
        {thumbs + "\u200D" + "\U0001F525", thumbs + "\u200D\U0001F525"},
        {rainbowFlag, rainbowFlag},
        {keycap, keycap},
        {"\U0001F3F4\U000E0067\U000E0062\U000E007F", "\U0001F3F4"},  // tags are format characters too
        {"e\u0301\u0302\u0303\u0304\u0305\u0306x", "e\u0301\u0302\u0303x"},
        {"Z\u0336\u0336\u0336\u0336 \u0336", "Z\u0336\u0336\u0336 \u0336"},   // counted per character
        {"vi\u1EC7t", "vi\u1EC7t"},
        {"line\none\u2028two", "line one two"},
        {"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645", "\u0645\u06CC\u062E\u0648\u0627\u0647\u0645"},
    };
    for (const auto& c : cases) EXPECT_EQ(displayLine(c.stored), c.shown) << c.stored;
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

#include <gtest/gtest.h>

#include "app/ui/widgets/DisplayText.h"

namespace vael {
namespace {

// Names cut for display lose whole characters only, and say so with "…".
TEST(DisplayText, ShortNameCutsWholeCharactersAfterFiltering) {
    const QString family = QString::fromUtf8("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    const struct {
        std::string stored;
        std::size_t characters;
        QString shown;
    } cases[] = {
        {"GitHub", 6, "GitHub"},
        {"GitHub!", 6, QString::fromUtf8("GitHub\u2026")},
        {"Git\u200BHub\nX", 8, "GitHub X"},                          // filtered before counting
        {"ab\U0001F468\u200D\U0001F469\u200D\U0001F467cd", 3, "ab" + family + QString::fromUtf8("\u2026")},
        {"e\u0301e\u0301e\u0301", 2, QString::fromUtf8("e\u0301e\u0301\u2026")},
        {"", 3, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(shortName(c.stored, c.characters), c.shown) << c.stored;
    EXPECT_EQ(shortName(std::string(1000, 'x')).size(), static_cast<qsizetype>(kShownNameCharacters + 1));
}

TEST(DisplayText, MenuAndTooltipTextShowsExactly) {
    EXPECT_EQ(withoutMnemonic("R&D"), "R&&D");
    EXPECT_EQ(plainToolTip("<b>x</b>"), "<p>&lt;b&gt;x&lt;/b&gt;</p>");
}

}  // namespace
}  // namespace vael

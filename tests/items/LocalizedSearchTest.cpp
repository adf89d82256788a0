#include <gtest/gtest.h>

#include <string>

#include "app/items/LocalizedSearch.h"

namespace vael {
namespace {

// A case-insensitive "contains": case is all that is ignored.
TEST(LocalizedSearch, IgnoresCaseOnly) {
    struct Case {
        const char* needle;
        const char* text;
        bool found;
    };
    const Case cases[] = {
        {"abc", "xABCx", true},
        {"ABC", "abc", true},
        {"", "anything", true},
        {"a", "", false},
        {"abc", "\uFF21BC", false},              // full-width A is another letter
        {"\uFF41bc", "\uFF21BC", true},          // ...with a case of its own
        {"\u304B", "\u30AB", false},              // hiragana ka is not katakana ka
        {"cafe", "Caf\u00E9", false},             // accents count
        {"CAF\u00C9", "caf\u00E9", true},
        {"caf\u00E9", "Cafe\u0301 au lait", true},  // canonically equal spellings are one text
        {"cafe", "Cafe\u0301", false},            // a match never ends inside a letter
        {"caf", "Caf\u00E9", true},
        {"stra\u00DFe", "STRASSE", true},          // full case folding
        {"\u03C3", "\u039F\u0394\u039F\u03A3", true},  // final and medial sigma are one letter's cases
        {"tok", "TOKEN", true},
        {"42", "Item 427", true},
        {"427 ", "Item 427", false},               // trimming is the caller's
    };
    for (const auto& c : cases) {
        const LocalizedSearch search(c.needle);
        EXPECT_EQ(search.foundIn(c.text), c.found) << c.needle << " in " << c.text;
        EXPECT_EQ(search.foundInKey(LocalizedSearch::key(c.text)), c.found) << c.needle << " in " << c.text;
    }
}

}  // namespace
}  // namespace vael

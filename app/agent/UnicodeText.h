#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vael {

// Lengths and tails of UTF-8 text in user-perceived characters (extended grapheme clusters).
struct GraphemeTail {
    std::size_t count = 0;       // clusters in the whole text
    std::string_view tail;       // the last `n` clusters (all of them when there are fewer)
};
GraphemeTail graphemeTail(std::string_view utf8, std::size_t n);
// The first `n` clusters of the text (all of it when it has fewer).
std::string graphemeHead(std::string_view utf8, std::size_t n);

// A name an agent chose, made safe to show inside a prompt: control characters, line and paragraph
// separators, bidirectional controls and other invisible format characters are removed, so the name
// cannot break the sentence it is shown in, reorder it, or pass for another name; a character keeps
// at most kMaxCombiningMarks combining marks, so marks cannot stack over neighbouring lines. A zero
// width joiner stays only between two emoji, where it joins them into one (a family, a flag).
// Bytes that are not UTF-8 become U+FFFD.
inline constexpr int kMaxCombiningMarks = 3;
std::string displaySafe(std::string_view utf8);
// The same, for a name shown on one line of its own (a list row, a title): line breaks become
// spaces first, so the words they parted stay apart.
std::string displayLine(std::string_view utf8);

}  // namespace vael

#pragma once

// User-perceived characters (extended grapheme clusters) of UTF-8 text, one at a time.

#include <cstddef>
#include <memory>
#include <string_view>

namespace vael {

class GraphemeWalker {
public:
    // `utf8` must stay alive while the walker reads it. Bytes that are not UTF-8 count as one
    // character each.
    explicit GraphemeWalker(std::string_view utf8);
    ~GraphemeWalker();
    GraphemeWalker(const GraphemeWalker&) = delete;
    GraphemeWalker& operator=(const GraphemeWalker&) = delete;

    // The next character; an empty view at the end of the text.
    std::string_view next();

private:
    std::string_view text_;
    std::size_t at_ = 0;
    struct Breaks;  // ICU's iterator, made at the first non-ASCII character
    std::unique_ptr<Breaks> breaks_;
};

std::size_t graphemeCount(std::string_view utf8);

}  // namespace vael

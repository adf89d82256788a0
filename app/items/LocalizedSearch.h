#pragma once

#include <string>
#include <string_view>

namespace vael {

// A search text matched inside names the way the user reads them: letter case ignored (as the
// user's locale folds it) and nothing else folded: accents and other marks count, full-width and
// kana forms are letters of their own. Canonically equal spellings are the same text.
//
// A name's key() is built once and searched for every search text; the search text is folded once.
class LocalizedSearch {
public:
    // The form a text is searched in: composed, case folded, UTF-16.
    using Key = std::u16string;
    static Key key(std::string_view text);

    explicit LocalizedSearch(std::string_view needle) : needle_(key(needle)) {}

    bool empty() const { return needle_.empty(); }
    // Whether the text (UTF-8, or its key) contains the search text. An empty search text is in
    // every text. A match never ends inside a letter: "e" is not in "e" followed by a combining accent.
    bool foundIn(std::string_view text) const { return foundInKey(key(text)); }
    bool foundInKey(const Key& text) const;

private:
    Key needle_;
};

}  // namespace vael

#pragma once

#include <memory>
#include <string_view>

namespace vael {

// A search text matched inside names the way the user reads them: in their locale, with letter
// case ignored and nothing else folded (accents and other marks count). Built once per search
// text, asked for each name.
class LocalizedSearch {
public:
    explicit LocalizedSearch(std::string_view needle);
    ~LocalizedSearch();
    LocalizedSearch(const LocalizedSearch&) = delete;
    LocalizedSearch& operator=(const LocalizedSearch&) = delete;

    // Whether `text` (UTF-8) contains the search text. An empty search text is in every text.
    bool foundIn(std::string_view text) const;

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};

}  // namespace vael

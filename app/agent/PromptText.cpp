#include "app/agent/PromptText.h"

#include "app/agent/UnicodeText.h"

namespace vael {

std::string shownName(std::string_view name) { return graphemeHead(displayLine(name), kShownNameCharacters); }

std::string promptName(std::string_view name) {
    auto line = displayLine(name);
    // Line breaks became spaces: none at the ends, where they would only pad the sentence.
    const auto first = line.find_first_not_of(' ');
    line = first == std::string::npos ? std::string() : line.substr(first, line.find_last_not_of(' ') - first + 1);
    auto shown = graphemeHead(line, kShownNameCharacters);
    if (shown.size() < line.size()) shown += "\u2026";
    return shown;
}

std::string quotedName(std::string_view name) { return "\"" + promptName(name) + "\""; }

std::string countedItems(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " item" : " items");
}

}  // namespace vael

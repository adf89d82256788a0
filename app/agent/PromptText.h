#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vael {

// Names an agent chose, as the owner is shown them: on one line, without characters that could
// reorder or hide the words around them, and cut so that a page of text cannot fill a prompt or a
// sheet. The whole name stays stored.
inline constexpr std::size_t kShownNameCharacters = 80;

// The name made safe for one line and cut to kShownNameCharacters user-perceived characters.
std::string shownName(std::string_view name);
// The same with an ellipsis where it was cut (a prompt must show that it cut), without spaces at
// the ends; quotedName puts it in quotation marks, for a name inside a sentence.
std::string promptName(std::string_view name);
std::string quotedName(std::string_view name);
// "1 item", "3 items".
std::string countedItems(std::size_t count);

}  // namespace vael

#pragma once

// Text that comes from the vault, an agent or a server, as the screens show it. Names are stored as
// anyone typed them (an agent included): they never render as markup, and never reorder or break
// the line they are shown in.

#include <QString>

#include <cstddef>
#include <string>

namespace vael {

// A stored name as every screen shows it: on one line, without control characters, bidirectional
// controls or invisible format characters, and with few combining marks per character (the filter
// the approval prompts use).
QString displayName(const std::string& stored);
QString displayName(const QString& stored);

// Where a name or server text stands on its own (a title, a sheet, a check box, a tooltip), at
// most this many characters of it are shown; the rest is left out with "…". What is stored stays
// whole.
inline constexpr std::size_t kShownNameCharacters = 120;
// displayName, cut to `characters` user-perceived characters.
QString shortName(const std::string& stored, std::size_t characters = kShownNameCharacters);
QString shortName(const QString& stored, std::size_t characters = kShownNameCharacters);

// A tooltip that shows `text` exactly, whatever markup it seems to hold.
QString plainToolTip(const QString& text);

// Text for a menu entry, button or check box that shows `text` exactly: "&" is no mnemonic.
QString withoutMnemonic(const QString& text);

}  // namespace vael

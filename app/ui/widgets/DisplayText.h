#pragma once

// Text that comes from the vault, an agent or a server, as the screens show it. Names are stored as
// anyone typed them (an agent included): they never render as markup, and never reorder or break
// the line they are shown in.

#include <QString>

#include <string>

namespace vael {

// A stored name as every screen shows it: on one line, without control characters or bidirectional
// controls (the filter the approval prompts use).
QString displayName(const std::string& stored);
QString displayName(const QString& stored);

// A tooltip that shows `text` exactly, whatever markup it seems to hold.
QString plainToolTip(const QString& text);

// Text for a menu entry, button or check box that shows `text` exactly: "&" is no mnemonic.
QString withoutMnemonic(const QString& text);

}  // namespace vael

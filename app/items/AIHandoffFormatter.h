#pragma once

// The plain-text block a user pastes into a conversation with an AI agent: which item this is, its
// tier, its fields with their references, and the rules of use. Concealed values appear only as
// their length.

#include <string>
#include <string_view>

#include "crypto/ItemPayload.h"

namespace vael::AIHandoffFormatter {

// Lines joined with "\n", no line feed after the last. `collection` is the item's group name; every
// reference is built from it, so an agent resolves it to this item.
std::string render(const ItemPayload& payload, std::string_view aiAccess, std::string_view collection);

}  // namespace vael::AIHandoffFormatter

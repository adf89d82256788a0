#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vael {

// An invite that was opened and not yet accepted or dismissed.
struct PendingInvite {
    std::string token;  // trimmed, never empty
    bool operator==(const PendingInvite&) const = default;
};

// Reads invite tokens out of opened URLs: "https://<any host>/invite#TOKEN" (or ".../invite/TOKEN")
// and "vael://invite#TOKEN" (or "vael://invite/TOKEN"). Pure; anything else gives nothing.
namespace InviteLink {

std::optional<std::string> parseToken(std::string_view url);

bool isInviteURL(std::string_view url);
// Trims white space and line breaks at both ends; nothing when nothing is left.
std::optional<std::string> sanitize(std::string_view text);
std::optional<std::string> inviteTailComponent(std::string_view url);

}  // namespace InviteLink
}  // namespace vael

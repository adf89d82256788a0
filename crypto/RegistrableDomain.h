#pragma once

// The host of a URL text and its registrable domain (the name under which a site registers, one
// label below its public suffix), from the system's public suffix list through libpsl.

#include <optional>
#include <string>
#include <string_view>

namespace vael::RegistrableDomain {

// The host in its IDNA ASCII form and lower case ("BÜCHER.de" gives "xn--bcher-kva.de"), without a
// trailing dot, IPv6 literals without brackets; nothing when the text names no valid host. A text
// without a scheme counts as starting with its host ("www.example.com/login").
std::optional<std::string> host(std::string_view urlText);
// The registrable domain of that host, in the same form, or nothing for a public suffix itself, an IP
// address or a single-label host.
std::optional<std::string> registrable(std::string_view urlText);
// A host of that ASCII form as a person reads it ("xn--bcher-kva.de" gives "bücher.de"); the text
// unchanged when it has no readable Unicode form.
std::string readableHost(std::string_view asciiHost);

}  // namespace vael::RegistrableDomain

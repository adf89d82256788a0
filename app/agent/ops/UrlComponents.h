#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vael {

// What libcurl's URL parser reports of a URL text: the scheme, the host (IPv6 literals in brackets)
// and the port only when the text writes one. Nothing when the parser refuses the text, which it
// does for a text without a scheme.
struct UrlComponents {
    std::string scheme;
    std::optional<std::string> host;
    std::optional<std::uint32_t> port;

    static std::optional<UrlComponents> parse(std::string_view text);

    // The host of an http or https URL, IPv6 literals without their brackets; nothing for any
    // other text, so that what is shown as a site is a site.
    static std::optional<std::string> webHost(std::string_view text);

    // Whether a host (as webHost answers it) is an IP address or a host name of at most 253
    // characters whose labels are 1 to 63 letters, digits, hyphens or underscores (or bytes of a
    // non-ASCII name).
    static bool isHostName(std::string_view host);
};

}  // namespace vael

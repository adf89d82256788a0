#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vael {

// Which pages a browser extension may be served, and which stored logins belong to a page. Pure
// functions of their texts; safe from any thread.
class BrowserMatchPolicy {
public:
    BrowserMatchPolicy() = delete;

    // Secure pages anywhere; plain-HTTP pages only on the local machine. Spaces and tabs around the
    // origin are ignored.
    static bool pageEligible(std::string_view origin);

    // Site-wide by registrable domain, unless the item is strict or either side has no registrable
    // domain: then the hosts must be equal and an explicit port on the item must be the page's
    // explicit port. Schemes are never compared and no default port is filled in.
    static bool matches(const std::optional<std::string>& itemURL, bool strict, std::string_view pageOrigin);

private:
    static bool portsCompatible(std::string_view itemURL, std::string_view pageOrigin);
};

}  // namespace vael

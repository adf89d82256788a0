#include "app/agent/ops/BrowserMatchPolicy.h"

#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/UrlComponents.h"
#include "crypto/RegistrableDomain.h"

namespace vael {

bool BrowserMatchPolicy::pageEligible(std::string_view origin) {
    const auto components = UrlComponents::parse(trimBlanks(origin));
    if (!components || components->scheme.empty() || !components->host) return false;
    const std::string scheme = lowercased(components->scheme);
    const std::string host = lowercased(*components->host);
    if (scheme == "https") return true;
    if (scheme == "http") return host == "localhost" || host == "127.0.0.1" || host == "::1" || host == "[::1]";
    return false;
}

bool BrowserMatchPolicy::matches(const std::optional<std::string>& itemURL, bool strict, std::string_view pageOrigin) {
    if (!itemURL) return false;
    const auto itemHost = RegistrableDomain::host(*itemURL);
    if (!itemHost) return false;
    const auto pageHost = RegistrableDomain::host(pageOrigin);
    if (!pageHost) return false;
    if (!strict) {
        const auto itemSite = RegistrableDomain::registrable(*itemURL);
        const auto pageSite = RegistrableDomain::registrable(pageOrigin);
        if (itemSite && pageSite) return canonicallyEqual(*itemSite, *pageSite);
    }
    if (!canonicallyEqual(*itemHost, *pageHost)) return false;
    return portsCompatible(*itemURL, pageOrigin);
}

bool BrowserMatchPolicy::portsCompatible(std::string_view itemURL, std::string_view pageOrigin) {
    const auto item = UrlComponents::parse(itemURL);
    if (!item || !item->port) return true;
    const auto page = UrlComponents::parse(pageOrigin);
    if (!page || !page->port) return false;
    return *item->port == *page->port;
}

}  // namespace vael

// Page origins and stored websites come from outside: the policy never crashes on them, ignores
// spaces and tabs around an origin, and a strict match of ASCII texts is always also a site-wide one
// (for other texts the public suffix rules may split two canonically equal hosts differently).
// Input: a flag byte, then the item URL and the page origin separated by a line feed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/agent/ops/BrowserMatchPolicy.h"
#include "app/agent/ops/UrlComponents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool strict = (data[0] & 1) != 0;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto split = text.find('\n');
    const std::string item(text.substr(0, split));
    const std::string page(split == std::string_view::npos ? std::string_view{} : text.substr(split + 1));

    using vael::BrowserMatchPolicy;
    const bool eligible = BrowserMatchPolicy::pageEligible(page);
    if (BrowserMatchPolicy::pageEligible(" \t" + page + "\t ") != eligible) std::abort();
    const bool matched = BrowserMatchPolicy::matches(item, strict, page);
    const bool ascii = std::all_of(data + 1, data + size, [](std::uint8_t b) { return b < 0x80; });
    if (ascii && strict && matched && !BrowserMatchPolicy::matches(item, false, page)) std::abort();
    if (BrowserMatchPolicy::matches(std::nullopt, strict, page)) std::abort();
    // A host accepted as a host name is never longer than a host name may be.
    if (auto host = vael::UrlComponents::webHost(page); host && vael::UrlComponents::isHostName(*host) &&
                                                        host->size() > 254 && host->find(':') == std::string::npos) {
        std::abort();
    }
    return 0;
}

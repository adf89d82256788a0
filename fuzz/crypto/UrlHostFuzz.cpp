// Page origins and item websites as browsers and users give them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crypto/RegistrableDomain.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto host = vael::RegistrableDomain::host(text);
    const auto site = vael::RegistrableDomain::registrable(text);
    if (site && !host) __builtin_trap();
    // One spelling per host: lower case, no trailing dot.
    if (host) {
        if (!host->empty() && host->back() == '.') __builtin_trap();
        for (const char c : *host)
            if (c >= 'A' && c <= 'Z') __builtin_trap();
    }
    return 0;
}

// The keyring's session item: decoding answers an entry or nothing, and an entry survives a
// write and a second read (dates centuries away may move by a microsecond: seconds are a double).
#include <chrono>
#include <cstdlib>

#include "app/auth/SessionStore.h"

using namespace vael;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto entry = decodeSessionEntry(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!entry) return 0;
    const auto again = decodeSessionEntry(encodeSessionEntry(*entry).view());
    if (!again || again->token != entry->token) std::abort();
    const auto twice = decodeSessionEntry(encodeSessionEntry(*again).view());
    if (!twice || twice->token != again->token ||
        std::chrono::abs(twice->expiresAt - again->expiresAt) > std::chrono::milliseconds(1))
        std::abort();
    return 0;
}

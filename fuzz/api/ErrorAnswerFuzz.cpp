#include <cstddef>
#include <cstdint>
#include <string_view>

#include "api/Codec.h"

// The first two bytes pick the status; the rest is the body of a refusal.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::int64_t status = (data[0] << 8 | data[1]) % 1000;
    const vael::APIError error =
        vael::wire::errorFromAnswer(status, std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));
    for (const char c : error.text())
        if (c < 0x20 || c > 0x7E) __builtin_trap();  // server text reaches logs: printable only
    return 0;
}

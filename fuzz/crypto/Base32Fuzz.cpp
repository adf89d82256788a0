#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crypto/Base32.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto decoded = vael::base32Decode(std::string_view(reinterpret_cast<const char*>(data), size));
    if (decoded) {
        const auto again = vael::base32Decode(vael::base32Encode(*decoded));
        if (!again || *again != *decoded) __builtin_trap();
    }
    const std::string encoded = vael::base32Encode(data, size);
    const auto back = vael::base32Decode(encoded);
    if (!back || *back != vael::Bytes(data, data + size)) __builtin_trap();
    return 0;
}

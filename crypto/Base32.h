#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"

namespace vael {

// RFC 4648 Base32: upper-case alphabet, "=" padding to a multiple of 8 characters.
std::string base32Encode(const std::uint8_t* data, std::size_t size);
inline std::string base32Encode(const Bytes& bytes) { return base32Encode(bytes.data(), bytes.size()); }

// Either case; padding optional but, when present, exactly what the encoder writes. Bits left over
// after the last whole byte are ignored, as authenticator apps do. No white space or separators.
std::optional<Bytes> base32Decode(std::string_view text);

}  // namespace vael

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"

namespace vael {

enum class Base64Variant {
    Standard,        // RFC 4648 alphabet with padding: our local JSON
    UrlNoPadding,    // RFC 4648 URL alphabet without padding: the server and WebAuthn
    UrlWithPadding,
};

std::string base64Encode(const std::uint8_t* data, std::size_t size, Base64Variant variant);
inline std::string base64Encode(const Bytes& bytes, Base64Variant variant) {
    return base64Encode(bytes.data(), bytes.size(), variant);
}
// Strict: nothing but the variant's alphabet (and its padding); no white space.
std::optional<Bytes> base64Decode(std::string_view text, Base64Variant variant);

}  // namespace vael

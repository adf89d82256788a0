#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/Base64.h"
#include "core/Bytes.h"

namespace vael {

// The server's byte encoding: the URL alphabet without padding.
struct Base64URL {
    static std::string encode(const Bytes& bytes) { return base64Encode(bytes, Base64Variant::UrlNoPadding); }
    static std::string encode(const std::uint8_t* data, std::size_t size) {
        return base64Encode(data, size, Base64Variant::UrlNoPadding);
    }
    // Nothing when the text is not valid unpadded Base64URL.
    static std::optional<Bytes> decode(std::string_view text) {
        return base64Decode(text, Base64Variant::UrlNoPadding);
    }
};

}  // namespace vael

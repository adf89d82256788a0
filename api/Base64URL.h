#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/Base64.h"
#include "core/Bytes.h"

namespace vael {

// The server's byte encoding: the URL alphabet, sent without padding; padded text is read too, since
// RFC 4648 allows it.
struct Base64URL {
    static std::string encode(const Bytes& bytes) { return base64Encode(bytes, Base64Variant::UrlNoPadding); }
    static std::string encode(const std::uint8_t* data, std::size_t size) {
        return base64Encode(data, size, Base64Variant::UrlNoPadding);
    }
    // Nothing when the text is not valid Base64URL, with or without padding.
    static std::optional<Bytes> decode(std::string_view text) {
        if (!text.empty() && text.back() == '=') return base64Decode(text, Base64Variant::UrlWithPadding);
        return base64Decode(text, Base64Variant::UrlNoPadding);
    }
};

}  // namespace vael

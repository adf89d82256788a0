#include "core/Base64.h"

#include <sodium.h>

namespace vael {

namespace {

int sodiumVariant(Base64Variant variant) {
    switch (variant) {
        case Base64Variant::Standard: return sodium_base64_VARIANT_ORIGINAL;
        case Base64Variant::UrlNoPadding: return sodium_base64_VARIANT_URLSAFE_NO_PADDING;
        case Base64Variant::UrlWithPadding: return sodium_base64_VARIANT_URLSAFE;
    }
    return sodium_base64_VARIANT_ORIGINAL;
}

}  // namespace

std::string base64Encode(const std::uint8_t* data, std::size_t size, Base64Variant variant) {
    const int v = sodiumVariant(variant);
    std::string out(sodium_base64_encoded_len(size, v), '\0');
    sodium_bin2base64(out.data(), out.size(), data, size, v);
    out.resize(out.size() - 1);  // the terminating NUL
    return out;
}

std::optional<Bytes> base64Decode(std::string_view text, Base64Variant variant) {
    Bytes out(text.size() / 4 * 3 + 3);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &length, &end,
                          sodiumVariant(variant)) != 0 ||
        end != text.data() + text.size())
        return std::nullopt;
    out.resize(length);
    return out;
}

}  // namespace vael

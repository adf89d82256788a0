#include "app/platform/PasskeyEncoding.h"

#include <cbor.h>
#include <sodium.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "core/Base64.h"

namespace vael::PasskeyEncoding {

namespace {

// Authenticator data: rpIdHash (32), flags (1), signCount (4), then the attested credential data:
// AAGUID (16), credential ID length (2), credential ID, public key.
constexpr std::size_t kFlagsOffset = 32;
constexpr std::size_t kAaguidOffset = 37;
constexpr std::size_t kAaguidBytes = 16;
constexpr std::uint8_t kUserPresent = 0x01;
constexpr std::uint8_t kUserVerified = 0x04;
constexpr std::uint8_t kAttestedCredential = 0x40;

struct ItemRelease {
    void operator()(cbor_item_t* item) const { cbor_decref(&item); }
};
using Item = std::unique_ptr<cbor_item_t, ItemRelease>;

bool addPair(cbor_item_t* map, Item key, Item value) {
    if (!key || !value) return false;
    return cbor_map_add(map, cbor_pair{key.get(), value.get()});
}

}  // namespace

Bytes clientDataJSON(std::string_view type, const Bytes& challenge, const std::string& rpID) {
    nlohmann::ordered_json data;
    data["type"] = type;
    data["challenge"] = base64Encode(challenge, Base64Variant::UrlNoPadding);
    data["origin"] = "https://" + rpID;
    data["crossOrigin"] = false;
    // The relying party id is the server's text; never let bad UTF-8 make the dump throw.
    const std::string text = data.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return Bytes(text.begin(), text.end());
}

Bytes sha256(const Bytes& data) {
    Bytes digest(crypto_hash_sha256_BYTES);
    crypto_hash_sha256(digest.data(), data.data(), data.size());
    return digest;
}

Bytes prfSalt(const Bytes& input) {
    static constexpr std::string_view kLabel = "WebAuthn PRF";
    Bytes message(kLabel.begin(), kLabel.end());
    message.push_back(0x00);
    message.insert(message.end(), input.begin(), input.end());
    return sha256(message);
}

bool userVerified(const Bytes& authenticatorData) {
    if (authenticatorData.size() < kAaguidOffset) return false;
    const std::uint8_t flags = authenticatorData[kFlagsOffset];
    return (flags & kUserPresent) != 0 && (flags & kUserVerified) != 0;
}

std::optional<Bytes> attestationObject(const Bytes& authenticatorData) {
    if (authenticatorData.size() < kAaguidOffset + kAaguidBytes + 2) return std::nullopt;
    if ((authenticatorData[kFlagsOffset] & kAttestedCredential) == 0) return std::nullopt;
    const std::size_t idLength = (std::size_t{authenticatorData[kAaguidOffset + kAaguidBytes]} << 8) |
                                 authenticatorData[kAaguidOffset + kAaguidBytes + 1];
    // A credential ID and at least one byte of public key must follow.
    if (idLength == 0 || authenticatorData.size() <= kAaguidOffset + kAaguidBytes + 2 + idLength) return std::nullopt;

    Bytes authData = authenticatorData;
    std::fill_n(authData.begin() + kAaguidOffset, kAaguidBytes, 0);

    Item map(cbor_new_definite_map(3));
    if (!map) return std::nullopt;
    // Canonical order: shorter keys first.
    const bool built = addPair(map.get(), Item(cbor_build_string("fmt")), Item(cbor_build_string("none"))) &&
                       addPair(map.get(), Item(cbor_build_string("attStmt")), Item(cbor_new_definite_map(0))) &&
                       addPair(map.get(), Item(cbor_build_string("authData")),
                               Item(cbor_build_bytestring(authData.data(), authData.size())));
    if (!built) return std::nullopt;

    unsigned char* buffer = nullptr;
    std::size_t capacity = 0;
    const std::size_t length = cbor_serialize_alloc(map.get(), &buffer, &capacity);
    if (length == 0 || buffer == nullptr) {
        free(buffer);
        return std::nullopt;
    }
    Bytes out(buffer, buffer + length);
    free(buffer);
    return out;
}

std::optional<Bytes> unwrapByteString(const Bytes& cbor) {
    // Only a definite byte string (major type 2) goes to the decoder: a container's header could
    // claim any number of members, and the decoder would reserve room for them first.
    if (cbor.empty() || (cbor[0] >> 5) != 2 || (cbor[0] & 0x1F) == 31) return std::nullopt;
    cbor_load_result result{};
    Item item(cbor_load(cbor.data(), cbor.size(), &result));
    if (!item || result.error.code != CBOR_ERR_NONE || result.read != cbor.size()) return std::nullopt;
    if (!cbor_isa_bytestring(item.get()) || !cbor_bytestring_is_definite(item.get())) return std::nullopt;
    const unsigned char* data = cbor_bytestring_handle(item.get());
    const std::size_t size = cbor_bytestring_length(item.get());
    if (size == 0) return Bytes{};
    return Bytes(data, data + size);
}

}  // namespace vael::PasskeyEncoding

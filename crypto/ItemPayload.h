#pragma once

// An item's decrypted content and its JSON form, the plaintext that VaultCrypto::sealBlob seals.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/SecureBytes.h"

namespace vael {

struct ItemField {
    // Raw values are the one-byte kinds; texts are the wire texts.
    enum class Kind : std::uint8_t {
        username = 0,
        password = 1,
        token = 2,  // a generic secret
        text = 3,
        otp = 4,  // a one-time-code seed: an otpauth link or a bare Base32 secret
        file = 5,
        sshPrivateKey = 6,
        sshPublicKey = 7,
    };

    std::string label;
    Kind kind = Kind::text;
    std::string value;
    bool concealed = false;

    ~ItemField();  // wipes the value
    bool operator==(const ItemField&) const = default;
};

// "username", "password", "token", "text", "otp", "file", "ssh_private_key", "ssh_public_key".
std::string_view kindText(ItemField::Kind kind);
// Exact text only (case-sensitive, untrimmed); any other text is no kind.
std::optional<ItemField::Kind> kindFromText(std::string_view text);

struct ItemPayload {
    std::string name;
    std::vector<ItemField> fields;
    std::optional<std::string> url;
    std::optional<std::string> notes;
    std::vector<std::string> tags;
    std::optional<std::vector<std::string>> allowedHosts;
    std::optional<std::vector<std::string>> allowedCommands;
    std::optional<bool> strictMatch;

    ~ItemPayload();  // wipes the notes
    bool operator==(const ItemPayload&) const = default;
};

// Compact JSON with members in the order above; absent optionals are left out; a field's kind is its
// text. Text that is not valid UTF-8 raises VaelCryptoError::Code::InvalidArgument.
SecureBytes encodeItemPayload(const ItemPayload& payload);
// Strict: raises VaelCryptoError::Code::MalformedInput for anything that is not such a payload (an
// unknown kind included). Null reads as absent, unknown members are ignored, absent tags are empty.
ItemPayload decodeItemPayload(const SecureBytes& json);

}  // namespace vael

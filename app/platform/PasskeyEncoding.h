#pragma once

// What a WebAuthn client adds around a FIDO2 authenticator: the client data, the PRF salt it hands
// the hmac-secret extension, and the attestation object in CBOR. No device and no Qt here.

#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"

namespace vael::PasskeyEncoding {

// {"type", "challenge" (Base64URL), "origin" ("https://" + rpID), "crossOrigin": false}.
Bytes clientDataJSON(std::string_view type, const Bytes& challenge, const std::string& rpID);
Bytes sha256(const Bytes& data);
// The hmac-secret salt for a PRF input: SHA-256("WebAuthn PRF" || 0x00 || input).
Bytes prfSalt(const Bytes& input);

// The authenticator data's flags: user present and user verified.
bool userVerified(const Bytes& authenticatorData);

// The attestation object of a new credential as a client that asked for no attestation sends it:
// {"fmt": "none", "attStmt": {}, "authData": the authenticator data with its AAGUID zeroed}, in
// canonical CBOR. Nothing when the authenticator data holds no attested credential.
std::optional<Bytes> attestationObject(const Bytes& authenticatorData);

// An authenticator reports assertion data as one CBOR byte string: its contents, or nothing when the
// bytes are anything else.
std::optional<Bytes> unwrapByteString(const Bytes& cbor);

}  // namespace vael::PasskeyEncoding

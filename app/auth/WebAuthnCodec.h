#pragma once

#include <stdexcept>
#include <string>

#include "core/Bytes.h"

namespace vael::WebAuthnCodec {

// What registration needs from the server's creation options.
struct CreationOptions {
    Bytes challenge;
    Bytes userID;
    std::string userName;
    std::string rpID;

    bool operator==(const CreationOptions&) const = default;
};

// What login needs from the server's request options.
struct RequestOptions {
    Bytes challenge;
    std::string rpID;
    Bytes prfSaltInput;

    bool operator==(const RequestOptions&) const = default;
};

// A new credential, as the authenticator made it.
struct CreationResult {
    Bytes credentialID;
    Bytes attestationObject;
    Bytes clientDataJSON;

    bool operator==(const CreationResult&) const = default;
};

// One assertion, as the authenticator signed it.
struct AssertionResult {
    Bytes credentialID;
    Bytes authenticatorData;
    Bytes signature;
    Bytes userHandle;
    Bytes clientDataJSON;

    bool operator==(const AssertionResult&) const = default;
};

// The member that was missing or unusable: "json", "publicKey", "challenge", "user.id" or
// "extensions.prf.eval.first".
class CodecError : public std::runtime_error {
public:
    enum class Kind { Malformed };
    explicit CodecError(std::string member)
        : std::runtime_error("malformed WebAuthn options: " + member), member_(std::move(member)) {}
    Kind kind() const { return Kind::Malformed; }
    const std::string& member() const { return member_; }
    bool operator==(const CodecError& other) const { return member_ == other.member_; }

private:
    std::string member_;
};

// Server JSON in. Byte values are Base64URL with, without or with part of their padding; the
// standard alphabet's "+" and "/" pass too. Members not named above are ignored.
CreationOptions parseCreation(const Bytes& data);
RequestOptions parseRequest(const Bytes& data);

// Response JSON out, every byte value as Base64URL without padding. The PRF output never leaves:
// "clientExtensionResults" is always empty.
Bytes encodeCreationResponse(const CreationResult& result);
Bytes encodeAssertionResponse(const AssertionResult& result);

}  // namespace vael::WebAuthnCodec

#pragma once

// Building blocks shared inside the crypto library; not for other layers.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/Bytes.h"
#include "core/SecureBytes.h"

namespace vael::cryptodetail {

inline constexpr std::size_t kKeyBytes = 32;
inline constexpr std::uint8_t kFormatVersion = 1;
inline constexpr std::size_t kNonceBytes = 24;  // XChaCha20-Poly1305 IETF
inline constexpr std::size_t kTagBytes = 16;
// version byte + nonce + tag
inline constexpr std::size_t kEnvelopeOverhead = 1 + kNonceBytes + kTagBytes;

// libsodium must be initialised once before use; safe to call from any thread.
void ensureSodium();

SecureBytes randomSecret(std::size_t size);
Bytes randomBytes(std::size_t size);

// Associated data starts with a domain label and the format version; callers append their context.
Bytes associatedData(std::string_view label);
void appendBytes(Bytes& out, const std::uint8_t* data, std::size_t size);

// The one envelope of every blob: version (1) || nonce (24) || XChaCha20-Poly1305 ciphertext with tag.
Bytes envelopeSeal(const SecureBytes& key, const std::uint8_t* plaintext, std::size_t size, const Bytes& ad);
// Throws VaelCryptoError: MalformedInput for a wrong length or version, AuthenticationFailed when the
// tag does not verify.
SecureBytes envelopeOpen(const SecureBytes& key, const Bytes& envelope, const Bytes& ad);

// HKDF-SHA256 (RFC 5869) through OpenSSL; an empty salt means no salt.
SecureBytes hkdfSha256(const std::uint8_t* ikm, std::size_t ikmSize, const Bytes& salt, std::string_view info,
                       std::size_t outputSize);

void appendBigEndian32(Bytes& out, std::uint32_t value);
void appendBigEndian64(Bytes& out, std::uint64_t value);

}  // namespace vael::cryptodetail

#pragma once

// Time-based one-time codes (RFC 6238) from an item's seed: an "otpauth://totp/..." link or a bare
// Base32 secret. The time is always passed in.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/SecureBytes.h"
#include "core/Time.h"
#include "crypto/CryptoError.h"

namespace vael {

enum class TOTPAlgorithm { sha1, sha256, sha512 };

// A parsed seed. A bare secret has no issuer or account and the defaults: SHA-1, 6 digits, 30 s.
struct OTPAuthURI {
    std::optional<std::string> issuer;
    std::optional<std::string> account;  // present (possibly empty) when the link has a label
    SecureBytes secret;
    TOTPAlgorithm algorithm = TOTPAlgorithm::sha1;
    int digits = 6;             // 6 to 8
    std::uint32_t period = 30;  // seconds, at least 1
};

namespace TOTP {

using TOTPError = vael::TOTPError;

// Raises TOTPError when the text is no usable seed: not Base32, empty secret, a counter-based or
// malformed link, digits outside 6..8, period 0, an unknown algorithm. White space around the text
// is ignored, as are spaces and hyphens inside a bare secret.
OTPAuthURI parameters(std::string_view fieldValue);
// The code at that time, zero-padded to the seed's digits. Raises TOTPError as parameters() does,
// and for a time before 1970.
std::string code(std::string_view fieldValue, TimePoint date);
std::string code(const OTPAuthURI& seed, TimePoint date);
// Whole seconds until the code changes (1..period); a seed that does not parse counts as 30 s.
int remaining(std::string_view fieldValue, TimePoint date);

}  // namespace TOTP

}  // namespace vael

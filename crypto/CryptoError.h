#pragma once

#include <stdexcept>
#include <string>

namespace vael {

// Failures of the vault crypto library. Callers tell the cases apart by code(); what() is a short
// sentence that never carries key material or plaintext.
class VaelCryptoError : public std::runtime_error {
public:
    enum class Code {
        Locked,              // the vault is not unlocked (or was locked since)
        WrongPassphrase,     // an unlock input that opens none of the wrapped keys
        AuthenticationFailed,  // a blob or wrapped key that fails its authentication tag
        MalformedInput,      // bytes or text that are not of the expected format
        InvalidArgument,     // a caller's argument out of range (key size, parameters)
        Internal,            // the underlying library failed
    };

    VaelCryptoError(Code code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

// An item's one-time-code seed is not valid Base32 (or its parameters are unusable).
class TOTPError : public std::runtime_error {
public:
    explicit TOTPError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace vael

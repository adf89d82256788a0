#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vael {

// The random source failed; carries its errno.
class MasterPassphraseGeneratorError : public std::runtime_error {
public:
    explicit MasterPassphraseGeneratorError(int status)
        : std::runtime_error("the random source failed"), status_(status) {}
    int status() const { return status_; }
    bool operator==(const MasterPassphraseGeneratorError& other) const { return status_ == other.status_; }

private:
    int status_;
};

// Master passphrases of 160 random bits: eight groups of four Base32 characters joined by "-".
namespace MasterPassphraseGenerator {

constexpr std::size_t kRandomBytes = 32;

// Reads 32 bytes from getrandom and maps them. Throws MasterPassphraseGeneratorError.
std::string generate();
// The mapping alone: each byte's low five bits index "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567".
std::string fromBytes(const std::array<std::uint8_t, kRandomBytes>& bytes);

}  // namespace MasterPassphraseGenerator

}  // namespace vael

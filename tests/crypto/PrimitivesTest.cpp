#include <gtest/gtest.h>

#include "core/Bytes.h"
#include "crypto/Primitives.h"

using namespace vael;

namespace {

Bytes hex(std::string_view text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return out;
}

}  // namespace

// RFC 5869, test cases 1 and 3 (the second without salt and info).
TEST(Hkdf, MatchesTheRfcTestVectors) {
    const Bytes ikm(22, 0x0b);
    const Bytes salt = hex("000102030405060708090a0b0c");
    const Bytes info = hex("f0f1f2f3f4f5f6f7f8f9");
    const SecureBytes one = cryptodetail::hkdfSha256(ikm.data(), ikm.size(), salt,
                                                     std::string_view(reinterpret_cast<const char*>(info.data()), info.size()), 42);
    EXPECT_EQ(one.copyBytes(), hex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"));
    const SecureBytes three = cryptodetail::hkdfSha256(ikm.data(), ikm.size(), Bytes(), "", 42);
    EXPECT_EQ(three.copyBytes(), hex("8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"));
}

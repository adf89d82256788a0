#include "crypto/Base32.h"

namespace vael {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

int symbolValue(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a';
    if (c >= '2' && c <= '7') return c - '2' + 26;
    return -1;
}

}  // namespace

std::string base32Encode(const std::uint8_t* data, std::size_t size) {
    std::string out;
    out.reserve((size + 4) / 5 * 8);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (std::size_t i = 0; i < size; ++i) {
        buffer = (buffer << 8) | data[i];
        bits += 8;
        while (bits >= 5) {
            out.push_back(kAlphabet[(buffer >> (bits - 5)) & 0x1F]);
            bits -= 5;
        }
        buffer &= (1u << bits) - 1;
    }
    if (bits > 0) out.push_back(kAlphabet[(buffer << (5 - bits)) & 0x1F]);
    while (out.size() % 8 != 0) out.push_back('=');
    return out;
}

std::optional<Bytes> base32Decode(std::string_view text) {
    std::size_t symbols = text.size();
    while (symbols > 0 && text[symbols - 1] == '=') --symbols;
    const std::size_t padding = text.size() - symbols;
    // Only these counts of symbols end on a whole byte: 0, 2, 4, 5 or 7 in the last group of 8.
    const std::size_t tail = symbols % 8;
    if (tail == 1 || tail == 3 || tail == 6) return std::nullopt;
    if (padding > 0 && (text.size() % 8 != 0 || padding >= 8)) return std::nullopt;

    Bytes out;
    out.reserve(symbols * 5 / 8);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (std::size_t i = 0; i < symbols; ++i) {
        const int value = symbolValue(text[i]);
        if (value < 0) return std::nullopt;
        buffer = (buffer << 5) | static_cast<std::uint32_t>(value);
        bits += 5;
        if (bits >= 8) {
            out.push_back(static_cast<std::uint8_t>(buffer >> (bits - 8)));
            bits -= 8;
        }
        buffer &= (1u << bits) - 1;
    }
    return out;
}

}  // namespace vael

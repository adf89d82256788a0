#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "api/APIError.h"

// Runs one reader: an answer is either read or refused with APIError; anything else is a finding.
template <typename Decode>
void fuzzDecode(const std::uint8_t* data, std::size_t size, Decode decode) {
    try {
        decode(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const vael::APIError& error) {
        if (error.kind() != vael::APIError::Kind::BadResponse) __builtin_trap();
    }
}

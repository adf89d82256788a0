#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vael {

// A 16-byte identifier; its text form is the 36-character upper-case form.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random();  // version 4
    // Accepts upper or lower case hex in the 8-4-4-4-12 form; nothing else.
    static std::optional<Uuid> parse(std::string_view text);
    // For identifiers fixed at compile time; throws std::invalid_argument on bad text.
    static Uuid fromText(std::string_view text);

    std::string text() const;

    auto operator<=>(const Uuid&) const = default;
    bool operator==(const Uuid&) const = default;
};

}  // namespace vael

template <>
struct std::hash<vael::Uuid> {
    std::size_t operator()(const vael::Uuid& id) const noexcept {
        std::size_t h = 1469598103934665603ull;
        for (auto b : id.bytes) h = (h ^ b) * 1099511628211ull;
        return h;
    }
};

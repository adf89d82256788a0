#pragma once

// A JSON type whose every allocation is wiped before it is freed, for plaintext payloads.

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vael::cryptodetail {

template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept {
        sodium_memzero(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
};

using SecretString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;
using SecretJson = nlohmann::basic_json<std::map, std::vector, SecretString, bool, std::int64_t, std::uint64_t,
                                        double, WipingAllocator>;
using SecretOrderedJson = nlohmann::basic_json<nlohmann::ordered_map, std::vector, SecretString, bool, std::int64_t,
                                               std::uint64_t, double, WipingAllocator>;

}  // namespace vael::cryptodetail

#pragma once

#include <sodium.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Bytes.h"
#include "core/ProcessHardening.h"

namespace vael {

// Key material and plaintext: wiped when it goes away, whichever way that happens.
class SecureBytes {
public:
    SecureBytes() = default;
    explicit SecureBytes(std::size_t size) : data_(size) {}
    SecureBytes(const std::uint8_t* data, std::size_t size) : data_(data, data + size) {}
    explicit SecureBytes(Bytes&& bytes) : data_(std::move(bytes)) {}
    explicit SecureBytes(std::string_view text) : data_(text.begin(), text.end()) {}
    SecureBytes(const SecureBytes& other) : data_(other.data_) {}
    SecureBytes(SecureBytes&& other) noexcept : data_(std::move(other.data_)), locked_(other.locked_) {
        other.data_.clear();
        other.locked_ = false;
    }
    SecureBytes& operator=(const SecureBytes& other) {
        if (this != &other) {
            wipe();
            data_ = other.data_;
        }
        return *this;
    }
    SecureBytes& operator=(SecureBytes&& other) noexcept {
        if (this != &other) {
            wipe();
            data_ = std::move(other.data_);
            locked_ = other.locked_;
            other.data_.clear();
            other.locked_ = false;
        }
        return *this;
    }
    ~SecureBytes() { wipe(); }

    std::uint8_t* data() { return data_.data(); }
    const std::uint8_t* data() const { return data_.data(); }
    std::size_t size() const { return data_.size(); }
    bool empty() const { return data_.empty(); }
    std::uint8_t& operator[](std::size_t i) { return data_[i]; }
    std::uint8_t operator[](std::size_t i) const { return data_[i]; }
    auto begin() const { return data_.begin(); }
    auto end() const { return data_.end(); }

    // Resizing may move the buffer: wipe the old one first.
    void resize(std::size_t size) {
        if (size <= data_.size()) {
            if (size < data_.size()) sodium_memzero(data_.data() + size, data_.size() - size);
            data_.resize(size);
            return;
        }
        std::vector<std::uint8_t> bigger(size);
        std::copy(data_.begin(), data_.end(), bigger.begin());
        const bool wasLocked = locked_;
        wipe();
        data_ = std::move(bigger);
        if (wasLocked) lockInMemory();
    }

    void wipe() {
        if (locked_) {
            unlockKeyMemory(data_.data(), data_.size());
            locked_ = false;
        } else if (!data_.empty()) {
            sodium_memzero(data_.data(), data_.size());
        }
        data_.clear();
    }

    // For keys that live as long as a session: kept out of swap and core dumps where the system
    // allows. Copies are not locked.
    void lockInMemory() {
        if (locked_ || data_.empty()) return;
        lockKeyMemory(data_.data(), data_.size());
        locked_ = true;
    }

    // Constant-time comparison; sizes are not secret.
    bool operator==(const SecureBytes& other) const {
        return data_.size() == other.data_.size() &&
               (data_.empty() || sodium_memcmp(data_.data(), other.data_.data(), data_.size()) == 0);
    }

    std::string_view view() const {
        return {reinterpret_cast<const char*>(data_.data()), data_.size()};
    }
    Bytes copyBytes() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
    bool locked_ = false;
};

}  // namespace vael

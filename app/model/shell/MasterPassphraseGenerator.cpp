#include "app/model/shell/MasterPassphraseGenerator.h"

#include <sodium.h>
#include <sys/random.h>

#include <cerrno>

namespace vael::MasterPassphraseGenerator {

std::string fromBytes(const std::array<std::uint8_t, kRandomBytes>& bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    std::string text;
    text.reserve(kRandomBytes + kRandomBytes / 4);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 4 == 0) text.push_back('-');
        text.push_back(alphabet[bytes[i] & 0x1F]);
    }
    return text;
}

std::string generate() {
    std::array<std::uint8_t, kRandomBytes> bytes{};
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            const int status = errno;
            sodium_memzero(bytes.data(), bytes.size());
            throw MasterPassphraseGeneratorError(status);
        }
        filled += std::size_t(got);
    }
    std::string text = fromBytes(bytes);
    sodium_memzero(bytes.data(), bytes.size());
    return text;
}

}  // namespace vael::MasterPassphraseGenerator

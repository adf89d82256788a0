// One-time-code seeds as pasted or scanned: otpauth links and bare Base32 secrets.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crypto/TOTP.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vael::TimePoint now{std::chrono::seconds(1'700'000'000)};
    try {
        const vael::OTPAuthURI seed = vael::TOTP::parameters(text);
        const std::string code = vael::TOTP::code(seed, now);
        if (code.size() != static_cast<std::size_t>(seed.digits)) __builtin_trap();
    } catch (const vael::TOTPError&) {
    }
    const int left = vael::TOTP::remaining(text, now);
    if (left < 1) __builtin_trap();
    return 0;
}

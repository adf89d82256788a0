#include "app/items/TOTPDisplay.h"

#include "app/agent/UnicodeText.h"
#include "crypto/TOTP.h"

namespace vael::TOTPDisplay {

std::string grouped(std::string_view code) {
    const auto count = graphemeTail(code, 0).count;
    if (count < 6 || count % 2 != 0) return std::string(code);
    const auto secondHalf = graphemeTail(code, count / 2).tail;
    std::string out(code.substr(0, code.size() - secondHalf.size()));
    out += ' ';
    out += secondHalf;
    return out;
}

std::optional<std::string> codeAt(std::string_view fieldValue, TimePoint date) {
    try {
        return TOTP::code(fieldValue, date);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

Countdown countdown(std::string_view fieldValue, TimePoint date) {
    Countdown state;
    try {
        state.period = static_cast<double>(TOTP::parameters(fieldValue).period);
    } catch (const std::exception&) {
        state.period = 30;
    }
    state.remaining = TOTP::remaining(fieldValue, date);
    state.fraction = static_cast<double>(state.remaining) / state.period;
    state.warning = state.remaining <= 5;
    return state;
}

std::string countdownDescription(int remaining) {
    return std::to_string(remaining) + (remaining == 1 ? " second" : " seconds") + " until the code changes";
}

}  // namespace vael::TOTPDisplay

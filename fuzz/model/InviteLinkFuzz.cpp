// Any opened URL either gives a token that is trimmed and non-empty, or nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/model/InviteLink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    const auto token = vael::InviteLink::parseToken(url);
    if (token) {
        if (token->empty()) std::abort();
        if (vael::InviteLink::sanitize(*token) != token) std::abort();
        if (!vael::InviteLink::isInviteURL(url)) std::abort();
    }
    return 0;
}

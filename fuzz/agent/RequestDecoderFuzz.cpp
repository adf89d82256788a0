// Any bytes a peer sends as one line: decoding never crashes, and whatever decodes writes back to
// a line that decodes to the same request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/agent/VaultUDSRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    auto request = vael::decodeRequest(line);
    if (request) {
        auto again = vael::decodeRequest(vael::encodeRequest(*request));
        if (!again || *again != *request) std::abort();
    }
    return 0;
}

// "trusted-keys.json" as found on disk: pins or nothing, and the pins survive a write and a read.
#include <cstdlib>

#include "app/custody/TrustedKeyStore.h"

using namespace vael;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto pins = decodeTrustedKeyPins(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!pins) return 0;
    const auto again = decodeTrustedKeyPins(encodeTrustedKeyPins(*pins));
    if (!again || *again != *pins) std::abort();
    return 0;
}

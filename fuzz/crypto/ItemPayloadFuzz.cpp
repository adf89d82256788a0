// Decrypted item payloads, which arrive from other members' devices through the server.
#include <cstddef>
#include <cstdint>

#include "crypto/CryptoError.h"
#include "crypto/ItemPayload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const vael::ItemPayload payload = vael::decodeItemPayload(vael::SecureBytes(data, size));
        if (vael::decodeItemPayload(vael::encodeItemPayload(payload)) != payload) __builtin_trap();
    } catch (const vael::VaelCryptoError&) {
    }
    return 0;
}

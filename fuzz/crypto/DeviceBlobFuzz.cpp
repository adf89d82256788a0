// Blobs wrapped to the device key.
#include <cstddef>
#include <cstdint>

#include "crypto/CryptoError.h"
#include "crypto/SecureEnclaveKeyStore.h"

using namespace vael;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static LiveSecureEnclaveKeyStore store = [] {
        LiveSecureEnclaveKeyStore s("fuzz", std::make_shared<InMemoryEnclaveKeyStorage>());
        s.createKey();
        return s;
    }();
    try {
        store.unwrap(Bytes(data, data + size));
    } catch (const SecureEnclaveStoreError& error) {
        if (error.code() == SecureEnclaveStoreError::Code::noKey) __builtin_trap();
    } catch (const VaelCryptoError& error) {
        if (error.code() != VaelCryptoError::Code::MalformedInput) __builtin_trap();
    }
    return 0;
}

// What a security key answers: its CBOR-wrapped assertion data and its raw authenticator data.
// Neither reader may crash; an attestation object built from any input must read back as CBOR
// that carries the same authenticator data with the AAGUID zeroed.
#include <cbor.h>

#include <algorithm>
#include <cstdlib>

#include "app/platform/PasskeyEncoding.h"

using namespace vael;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, data + size);
    (void)PasskeyEncoding::unwrapByteString(input);
    (void)PasskeyEncoding::userVerified(input);

    const auto object = PasskeyEncoding::attestationObject(input);
    if (!object) return 0;
    cbor_load_result result{};
    cbor_item_t* item = cbor_load(object->data(), object->size(), &result);
    if (item == nullptr || result.read != object->size() || !cbor_isa_map(item) || cbor_map_size(item) != 3) abort();
    cbor_item_t* authData = cbor_map_handle(item)[2].value;
    if (!cbor_isa_bytestring(authData) || cbor_bytestring_length(authData) != input.size()) abort();
    Bytes expected = input;
    std::fill_n(expected.begin() + 37, 16, 0);
    if (!std::equal(expected.begin(), expected.end(), cbor_bytestring_handle(authData))) abort();
    cbor_decref(&item);
    return 0;
}

#include "FuzzDecode.h"
#include "api/Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzDecode(data, size, vael::wire::decodeItem);
    fuzzDecode(data, size, vael::wire::decodeCollection);
    fuzzDecode(data, size, vael::wire::decodeOrg);
    return 0;
}

#include "FuzzDecode.h"
#include "api/Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzDecode(data, size, vael::wire::decodeAccount);
    fuzzDecode(data, size, vael::wire::decodeLoginFinish);
    fuzzDecode(data, size, vael::wire::decodeMe);
    return 0;
}

#include "FuzzDecode.h"
#include "api/Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzDecode(data, size, vael::wire::decodeMembers);
    fuzzDecode(data, size, vael::wire::decodeInvites);
    fuzzDecode(data, size, vael::wire::decodeInvite);
    fuzzDecode(data, size, vael::wire::decodeInviteCreated);
    fuzzDecode(data, size, vael::wire::decodeInviteClaim);
    return 0;
}

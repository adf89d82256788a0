// The server's WebAuthn options: either parser answers or names a member; nothing else escapes.
// What an encoder writes must read back as the same bytes.
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/auth/WebAuthnCodec.h"
#include "core/Base64.h"

using namespace vael;
using namespace vael::WebAuthnCodec;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, data + size);
    try {
        const auto creation = parseCreation(input);
        (void)creation;
    } catch (const CodecError&) {
    }
    try {
        const auto request = parseRequest(input);
        // Whatever was read goes out again as unpadded Base64URL and reads back the same.
        const auto body = encodeAssertionResponse({request.challenge, request.prfSaltInput, {}, {}, {}});
        const auto json = nlohmann::json::parse(body);
        const auto back = base64Decode(json.at("id").get<std::string>(), Base64Variant::UrlNoPadding);
        if (!back || *back != request.challenge) std::abort();
    } catch (const CodecError&) {
    }
    return 0;
}

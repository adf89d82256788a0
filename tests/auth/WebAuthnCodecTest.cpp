#include "app/auth/WebAuthnCodec.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/Base64.h"

namespace vael {
namespace {

using namespace WebAuthnCodec;

Bytes json(std::string_view text) { return bytesOf(text); }

TEST(WebAuthnCodec, ReadsTheCreationOptionsItNeedsAndIgnoresTheRest) {
    const auto options = parseCreation(json(R"({"publicKey":{
        "challenge":"AAEC", "rp":{"id":"vault.example","name":"Vael"},
        "user":{"id":"dXNlcg","name":"alice","displayName":"Alice"},
        "pubKeyCredParams":[{"type":"public-key","alg":-7}], "timeout":60000},
        "mediation":"optional"})"));
    EXPECT_EQ(options, (CreationOptions{{0, 1, 2}, bytesOf("user"), "alice", "vault.example"}));

    const auto sparse = parseCreation(json(R"({"publicKey":{"challenge":"","user":{"id":"AA"},"rp":{"id":7}}})"));
    EXPECT_EQ(sparse, (CreationOptions{{}, {0}, "", ""})) << "no name and a non-text rp id give empty texts";
    EXPECT_EQ(parseCreation(json(R"({"publicKey":{"challenge":"AA","user":{"id":"AA"}}})")).rpID, "");
}

TEST(WebAuthnCodec, ReadsTheRequestOptionsWithTheFirstPrfInputOnly) {
    const auto options = parseRequest(json(R"({"publicKey":{"challenge":"AAEC","rpId":"vault.example",
        "allowCredentials":[],"userVerification":"required",
        "extensions":{"prf":{"eval":{"first":"c2FsdA","second":"b3RoZXI"}}}}})"));
    EXPECT_EQ(options, (RequestOptions{{0, 1, 2}, "vault.example", bytesOf("salt")}));
}

TEST(WebAuthnCodec, AcceptsEveryPaddingAndBothAlphabets) {
    // Lengths 1 to 5 cover every remainder; 0xfb 0xff produce the characters that differ between alphabets.
    for (std::size_t length = 1; length <= 5; ++length) {
        const Bytes value(length, 0xfb);
        Bytes valueWithFf = value;
        valueWithFf.back() = 0xff;
        for (const Bytes& bytes : {value, valueWithFf}) {
            const std::string padded = base64Encode(bytes, Base64Variant::UrlWithPadding);
            const std::string bare = base64Encode(bytes, Base64Variant::UrlNoPadding);
            const std::string standard = base64Encode(bytes, Base64Variant::Standard);
            std::vector<std::string> forms{padded, bare, standard, base64Encode(bytes, Base64Variant::Standard)};
            if (padded.size() - bare.size() == 2) forms.push_back(bare + "=");  // part of the padding
            for (const auto& form : forms) {
                const auto request = parseRequest(json(R"({"publicKey":{"challenge":")" + form +
                                                       R"(","extensions":{"prf":{"eval":{"first":")" + form +
                                                       R"("}}}}})"));
                EXPECT_EQ(request.challenge, bytes) << form;
                EXPECT_EQ(request.prfSaltInput, bytes) << form;
            }
        }
    }
}

TEST(WebAuthnCodec, NamesTheFirstMemberItCannotUse) {
    struct Case {
        const char* body;
        std::function<void(const Bytes&)> parse;
        const char* member;
    };
    const auto creation = [](const Bytes& data) { parseCreation(data); };
    const auto request = [](const Bytes& data) { parseRequest(data); };
    const Case cases[] = {
        {"not json", creation, "json"},
        {"", request, "json"},
        {"[{\"publicKey\":{}}]", creation, "json"},
        {"{\"publicKey\":{}} trailing", creation, "json"},
        {"{\"publicKey\":{\"challenge\":\"\xff\"}}", request, "json"},
        {"{}", request, "publicKey"},
        {R"({"publicKey":"AAEC"})", creation, "publicKey"},
        {R"({"publicKey":null})", request, "publicKey"},
        {R"({"publicKey":{"user":{"id":"AA"}}})", creation, "challenge"},
        {R"({"publicKey":{"challenge":12,"user":{"id":"AA"}}})", creation, "challenge"},
        {R"({"publicKey":{"challenge":null}})", request, "challenge"},
        {R"({"publicKey":{}})", creation, "challenge"},  // both missing: the challenge is reported
        {R"({"publicKey":{"challenge":"AAEC3"}})", request, "challenge"},  // one character too many
        {R"({"publicKey":{"challenge":"AA EC"}})", request, "challenge"},
        {R"({"publicKey":{"challenge":"AA=C"}})", request, "challenge"},
        {R"({"publicKey":{"challenge":"AA","user":{"name":"a"}}})", creation, "user.id"},
        {R"({"publicKey":{"challenge":"AA","user":"AA"}})", creation, "user.id"},
        {R"({"publicKey":{"challenge":"AA","user":{"id":"A"}}})", creation, "user.id"},
        {R"({"publicKey":{"challenge":"AA"}})", request, "extensions.prf.eval.first"},
        {R"({"publicKey":{"challenge":"AA","extensions":{"prf":{"eval":{"second":"AA"}}}}})", request,
         "extensions.prf.eval.first"},
        {R"({"publicKey":{"challenge":"AA","extensions":{"prf":{"eval":["AA"]}}}})", request,
         "extensions.prf.eval.first"},
    };
    for (const auto& c : cases) {
        try {
            c.parse(json(c.body));
            ADD_FAILURE() << c.body << " was accepted";
        } catch (const CodecError& error) {
            EXPECT_EQ(error.member(), c.member) << c.body;
        }
    }
}

TEST(WebAuthnCodec, WritesTheCreationResponseInUnpaddedBase64Url) {
    const auto body = encodeCreationResponse({{0xfb, 0xff}, {0xa3, 0x01}, bytesOf("{\"type\":\"webauthn.create\"}")});
    EXPECT_EQ(textOf(body),
              R"({"id":"-_8","rawId":"-_8","type":"public-key","response":{"clientDataJSON":)"
              R"("eyJ0eXBlIjoid2ViYXV0aG4uY3JlYXRlIn0","attestationObject":"owE"},"clientExtensionResults":{}})");
}

TEST(WebAuthnCodec, WritesTheAssertionResponseEvenWithAnEmptyUserHandle) {
    const auto body = encodeAssertionResponse({{1}, {2, 3}, {0xfb, 0xef, 0xbe}, {}, bytesOf("{}")});
    EXPECT_EQ(textOf(body),
              R"({"id":"AQ","rawId":"AQ","type":"public-key","response":{"clientDataJSON":"e30",)"
              R"("authenticatorData":"AgM","signature":"----","userHandle":""},"clientExtensionResults":{}})");
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>

#include "CryptoTestSupport.h"
#include "crypto/ItemPayload.h"

using namespace vael;
using namespace vael::testing;
using Kind = ItemField::Kind;

namespace {

ItemPayload fullPayload() {
    ItemPayload p;
    p.name = "GitHub";
    p.fields.push_back(ItemField{"username", Kind::username, "octo", false});
    p.fields.push_back(ItemField{"password", Kind::password, "hunter2 \"quoted\" é", true});
    p.fields.push_back(ItemField{"otp", Kind::otp, "otpauth://totp/GitHub:octo?secret=JBSWY3DPEHPK3PXP", true});
    p.url = "https://github.com/login";
    p.notes = "line one\nline two";
    p.tags = {"work", "dev"};
    p.allowedHosts = std::vector<std::string>{"api.github.com"};
    p.allowedCommands = std::vector<std::string>{};
    p.strictMatch = false;
    return p;
}

}  // namespace

TEST(ItemPayloadJson, RoundTripsEveryMember) {
    const ItemPayload payload = fullPayload();
    EXPECT_EQ(decodeItemPayload(encodeItemPayload(payload)), payload);
}

TEST(ItemPayloadJson, WritesCompactMembersInOrderAndLeavesAbsentOptionalsOut) {
    ItemPayload p;
    p.name = "n";
    p.fields.push_back(ItemField{"api key", Kind::token, "v", true});
    EXPECT_EQ(encodeItemPayload(p).view(),
              R"({"name":"n","fields":[{"label":"api key","kind":"token","value":"v","concealed":true}],"tags":[]})");
    const std::string full(encodeItemPayload(fullPayload()).view());
    EXPECT_LT(full.find("\"url\""), full.find("\"notes\""));
    EXPECT_LT(full.find("\"tags\""), full.find("\"allowedHosts\""));
    EXPECT_LT(full.find("\"allowedCommands\""), full.find("\"strictMatch\""));
}

TEST(ItemPayloadJson, ReadsNullAsAbsentAndIgnoresUnknownMembers) {
    const ItemPayload p = decodeItemPayload(SecureBytes(
        R"({"name":"n","fields":[],"url":null,"notes":null,"allowedHosts":null,"strictMatch":null,"extra":{"a":1}})"));
    EXPECT_EQ(p.name, "n");
    EXPECT_FALSE(p.url);
    EXPECT_FALSE(p.notes);
    EXPECT_TRUE(p.tags.empty());
    EXPECT_FALSE(p.allowedHosts);
    EXPECT_FALSE(p.strictMatch);
}

TEST(ItemPayloadJson, RefusesWhatIsNotAPayload) {
    const char* cases[] = {
        "",
        "not json",
        R"([])",
        R"({"fields":[]})",
        R"({"name":"n"})",
        R"({"name":1,"fields":[]})",
        R"({"name":"n","fields":{}})",
        R"({"name":"n","fields":[{"label":"l","kind":"Password","value":"v","concealed":true}]})",
        R"({"name":"n","fields":[{"label":"l","kind":1,"value":"v","concealed":true}]})",
        R"({"name":"n","fields":[{"label":"l","kind":"password","value":"v"}]})",
        R"({"name":"n","fields":[{"label":"l","kind":"password","value":"v","concealed":"yes"}]})",
        R"({"name":"n","fields":[],"tags":"work"})",
        R"({"name":"n","fields":[],"tags":[1]})",
        R"({"name":"n","fields":[],"strictMatch":1})",
        R"({"name":"n","fields":[]} trailing)",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(errorCode([&] { decodeItemPayload(SecureBytes(text)); }), VaelCryptoError::Code::MalformedInput);
    }
}

TEST(ItemPayloadJson, TextThatIsNotUtf8IsRefusedWhenEncoding) {
    ItemPayload p;
    p.name = "bad \xC3";
    EXPECT_EQ(errorCode([&] { encodeItemPayload(p); }), VaelCryptoError::Code::InvalidArgument);
}

TEST(ItemFieldKind, RawValuesAndWireTextsPairUp) {
    const std::pair<Kind, const char*> kinds[] = {
        {Kind::username, "username"}, {Kind::password, "password"},           {Kind::token, "token"},
        {Kind::text, "text"},         {Kind::otp, "otp"},                     {Kind::file, "file"},
        {Kind::sshPrivateKey, "ssh_private_key"}, {Kind::sshPublicKey, "ssh_public_key"},
    };
    for (std::size_t i = 0; i < std::size(kinds); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(kinds[i].first), i);
        EXPECT_EQ(kindText(kinds[i].first), kinds[i].second);
        EXPECT_EQ(kindFromText(kinds[i].second), kinds[i].first);
    }
    EXPECT_FALSE(kindFromText("Password"));
    EXPECT_FALSE(kindFromText(" password"));
    EXPECT_FALSE(kindFromText(""));
}

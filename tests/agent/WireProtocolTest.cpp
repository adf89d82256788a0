#include <gtest/gtest.h>

#include "app/agent/VaultUDSAnswers.h"
#include "app/agent/VaultUDSRequest.h"

using namespace vael;
using Op = VaultUDSRequest::Op;

TEST(VaultUDSRequestOp, EveryWireTextRoundTripsAndNothingElseIsAnOp) {
    const std::vector<std::string> texts = {
        "resolve",       "preview",       "list",          "capture",        "secret_create", "secret_get",
        "secret_update", "secret_delete", "group_list",    "group_create",   "group_get",     "group_update",
        "group_delete",  "project_list",  "project_create", "project_get",   "project_update", "project_delete",
        "browser_match", "browser_fill",  "browser_totp",  "browser_save"};
    ASSERT_EQ(texts.size(), kVaultUDSOpCount);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto op = opFromText(texts[i]);
        ASSERT_TRUE(op) << texts[i];
        EXPECT_EQ(static_cast<std::size_t>(*op), i);
        EXPECT_EQ(toText(*op), texts[i]);
    }
    for (const char* text : {"Resolve", "RESOLVE", "secretCreate", "secret-create", " resolve", "resolve ", ""}) {
        EXPECT_FALSE(opFromText(text)) << text;
    }
}

struct DecodeCase {
    const char* name;
    std::string line;
    bool decodes;
};

TEST(VaultUDSRequestDecode, AcceptsAndRejectsLinesAsTheProtocolSays) {
    const std::vector<DecodeCase> cases = {
        {"minimal", R"({"op":"list"})", true},
        {"crlf", "{\"op\":\"list\"}\r", true},
        {"surrounding white space", " \t{\"op\":\"list\"} \r", true},
        {"unknown keys ignored", R"({"op":"list","extra":{"deep":[1,2,{"x":null}]},"approved2":7})", true},
        {"null is absent", R"({"op":"resolve","ref":null,"approved":null,"allowed_hosts":null})", true},
        {"empty text and array are values", R"({"op":"list","query":"","allowed_hosts":[]})", true},
        {"unknown tier text is not a decoding failure", R"({"op":"secret_update","ai_access":"public"})", true},
        {"empty line", "", false},
        {"only white space", "  \r", false},
        {"not json", "resolve vael://a/b/c", false},
        {"truncated", R"({"op":"list")", false},
        {"two values", R"({"op":"list"}{"op":"list"})", false},
        {"array", R"([{"op":"list"}])", false},
        {"string", R"("list")", false},
        {"number", "42", false},
        {"missing op", R"({"ref":"vael://a/b/c"})", false},
        {"null op", R"({"op":null})", false},
        {"op not a string", R"({"op":1})", false},
        {"op in other case", R"({"op":"List"})", false},
        {"camel-case op", R"({"op":"secretCreate"})", false},
        {"ref a number", R"({"op":"resolve","ref":5})", false},
        {"ref an object", R"({"op":"resolve","ref":{}})", false},
        {"approved a string", R"({"op":"resolve","approved":"true"})", false},
        {"approved a number", R"({"op":"resolve","approved":1})", false},
        {"hosts a string", R"({"op":"secret_create","allowed_hosts":"a.com"})", false},
        {"hosts holding a number", R"({"op":"secret_create","allowed_hosts":["a.com",1]})", false},
        {"commands holding a null", R"({"op":"secret_create","allowed_commands":[null]})", false},
        {"field_label a bool", R"({"op":"secret_create","field_label":true})", false},
        {"camel-case key is unknown, not read", R"({"op":"secret_create","fieldLabel":5})", true},
        {"invalid utf-8 in a text", "{\"op\":\"list\",\"query\":\"\xff\"}", false},
        {"lone surrogate escape", R"({"op":"list","query":"\ud800"})", false},
        {"raw control character in a text", "{\"op\":\"list\",\"query\":\"a\tb\"}", false},
        {"nul byte after the object", std::string("{\"op\":\"list\"}\0", 14), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeRequest(c.line).has_value(), c.decodes) << c.name;
    }
}

TEST(VaultUDSRequestDecode, ReadsEveryKeyIntoItsField) {
    auto request = decodeRequest(
        R"({"op":"secret_update","ref":"vael://local/a/b","id":"X","approved":true,"collection":"c","query":"q",)"
        R"("name":"n","value":"v/1","kind":"token","username":"u","group":"g","project":"p","parent":"pa",)"
        R"("url":"https://x.test/","field_label":"fl","ai_access":"injectable","allowed_hosts":["h1","h2"],)"
        R"("allowed_commands":["gh"]})");
    ASSERT_TRUE(request);
    VaultUDSRequest expected;
    expected.op = Op::secretUpdate;
    expected.ref = "vael://local/a/b";
    expected.id = "X";
    expected.approved = true;
    expected.collection = "c";
    expected.query = "q";
    expected.name = "n";
    expected.value = "v/1";
    expected.kind = "token";
    expected.username = "u";
    expected.group = "g";
    expected.project = "p";
    expected.parent = "pa";
    expected.url = "https://x.test/";
    expected.fieldLabel = "fl";
    expected.aiAccess = "injectable";
    expected.allowedHosts = std::vector<std::string>{"h1", "h2"};
    expected.allowedCommands = std::vector<std::string>{"gh"};
    EXPECT_EQ(*request, expected);
    EXPECT_EQ(decodeRequest(encodeRequest(expected)), expected);
}

TEST(VaultUDSRequestDecode, NullEmptyAndAbsentStayDistinct) {
    auto absent = decodeRequest(R"({"op":"list","query":null})");
    auto empty = decodeRequest(R"({"op":"list","query":"","approved":false})");
    ASSERT_TRUE(absent && empty);
    EXPECT_FALSE(absent->query);
    EXPECT_EQ(empty->query, "");
    EXPECT_EQ(empty->approved, false);
    EXPECT_NE(*absent, *empty);
}

TEST(VaultUDSRequestDecode, TheLastOfRepeatedKeysCounts) {
    auto request = decodeRequest(R"({"op":"resolve","ref":5,"ref":"vael://a/b/c","op":"preview"})");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->op, Op::preview);
    EXPECT_EQ(request->ref, "vael://a/b/c");
    EXPECT_FALSE(decodeRequest(R"({"op":"resolve","ref":"vael://a/b/c","ref":5})"));
}

TEST(VaultUDSRequestEncode, WritesOpThenPresentKeysInKeyOrder) {
    VaultUDSRequest request;
    request.op = Op::secretCreate;
    request.allowedHosts = std::vector<std::string>{};
    request.aiAccess = "injectable";
    request.fieldLabel = "api key";
    request.url = "https://a.test/x";
    request.name = "n";
    EXPECT_EQ(encodeRequest(request),
              R"({"op":"secret_create","name":"n","url":"https://a.test/x","field_label":"api key",)"
              R"("ai_access":"injectable","allowed_hosts":[]})");
}

TEST(AnswerEncoding, RefusalHasExactlyTwoKeys) {
    EXPECT_EQ(encodeAnswer(VaultUDSResponse::refusal()), R"({"decision":"refused","ai_access":"ai_hidden"})");
}

TEST(AnswerEncoding, ResponseWritesPresentFieldsInOrderAndNumbersAsNumbers) {
    VaultUDSResponse r;
    r.decision = UDSDecision::allowed;
    r.aiAccess = UDSAIAccess::injectable;
    r.type = "token";
    r.length = 12;
    r.last4 = "wxyz";
    r.url = "https://a.test/p";
    r.allowedHosts = std::vector<std::string>{};
    EXPECT_EQ(encodeAnswer(r), R"({"decision":"allowed","ai_access":"injectable","type":"token","length":12,)"
                               R"("last4":"wxyz","url":"https://a.test/p","allowed_hosts":[]})");
    r = {UDSDecision::needsApproval, UDSAIAccess::humanGated};
    EXPECT_EQ(encodeAnswer(r), R"({"decision":"needs_approval","ai_access":"human_gated"})");
}

TEST(AnswerEncoding, EveryRecordKeepsItsKeysAndLeavesAbsentOptionalsOut) {
    VaultUDSSecretMetadata bare{"ID", "vael://g/i/f", "i", "", "", UDSAIAccess::injectable, ""};
    EXPECT_EQ(encodeAnswer(bare), R"({"id":"ID","ref":"vael://g/i/f","name":"i","kind":"","group":"",)"
                                  R"("field_label":"","ai_access":"injectable"})");
    VaultUDSSecretMetadata full = bare;
    full.url = "https://a.test/";
    full.allowedHosts = std::vector<std::string>{};
    full.allowedCommands = std::vector<std::string>{"git"};
    EXPECT_EQ(encodeAnswer(full), R"({"id":"ID","ref":"vael://g/i/f","name":"i","kind":"","group":"",)"
                                  R"("url":"https://a.test/","field_label":"","ai_access":"injectable",)"
                                  R"("allowed_hosts":[],"allowed_commands":["git"]})");

    EXPECT_EQ(encodeAnswer(VaultUDSBrowserFill{std::nullopt, "pw", std::nullopt}), R"({"password":"pw"})");
    EXPECT_EQ(encodeAnswer(VaultUDSBrowserFill{"u", "pw", "123456"}),
              R"({"username":"u","password":"pw","totp":"123456"})");
    EXPECT_EQ(encodeAnswer(VaultUDSBrowserMatches{{VaultUDSBrowserItem{"I", "n", std::nullopt, std::nullopt, "g"}}}),
              R"({"items":[{"id":"I","name":"n","group":"g","strict":false,"has_otp":false}]})");
    EXPECT_EQ(encodeAnswer(VaultUDSBrowserMatches{}), R"({"items":[]})");
    EXPECT_EQ(encodeAnswer(VaultUDSBrowserTotp{"123456", 17}), R"({"code":"123456","remaining":17})");
    EXPECT_EQ(encodeAnswer(VaultUDSDeleteResult{false}), R"({"deleted":false})");
    EXPECT_EQ(encodeAnswer(VaultUDSGroup{"G", "n", "P", std::nullopt}), R"({"id":"G","name":"n","project":"P"})");
    EXPECT_EQ(encodeAnswer(VaultUDSGroup{"G", "n", "P", "top"}),
              R"({"id":"G","name":"n","project":"P","parent":"top"})");
    EXPECT_EQ(encodeAnswer(VaultUDSGroupList{}), R"({"groups":[]})");
    EXPECT_EQ(encodeAnswer(VaultUDSProjectList{{VaultUDSProject{"P", "Personal"}}}),
              R"({"projects":[{"id":"P","name":"Personal"}]})");
    EXPECT_EQ(encodeAnswer(std::vector<VaultUDSListEntry>{}), "[]");
    EXPECT_EQ(encodeAnswer(std::vector<VaultUDSListEntry>{{"vael://g/i/f", "i", "token", UDSAIAccess::humanGated}}),
              R"([{"ref":"vael://g/i/f","name":"i","type":"token","ai_access":"human_gated"}])");
    EXPECT_EQ(encodeAnswer(VaultUDSErrorEnvelope{"x"}), R"({"error":"x"})");
}

TEST(AnswerEncoding, SlashesAndNonAsciiAreWrittenAsTheyAre) {
    auto line = encodeAnswer(VaultUDSListEntry{"vael://my%20g/a/b", "caf\u00e9 / \U0001F511", "t", UDSAIAccess::injectable});
    EXPECT_EQ(line.find("\\/"), std::string::npos);
    EXPECT_NE(line.find("vael://my%20g/a/b"), std::string::npos);
    EXPECT_NE(line.find("caf\u00e9 / \U0001F511"), std::string::npos);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(encodeAnswer(VaultUDSErrorEnvelope{"a\nb\"c\\"}), R"({"error":"a\nb\"c\\"})");
}

TEST(AnswerEncoding, TextThatIsNotUtf8FailsToEncode) {
    EXPECT_THROW(encodeAnswer(VaultUDSErrorEnvelope{"\xff"}), nlohmann::json::exception);
}

TEST(AnswerDecoding, ReadsBackWhatIsWrittenAndRejectsUnknownTexts) {
    VaultUDSResponse r{UDSDecision::allowed, UDSAIAccess::injectable, "v", "token", 1, std::nullopt, std::nullopt,
                       std::vector<std::string>{"h"}, std::nullopt};
    EXPECT_EQ(decodeAnswerLine<VaultUDSResponse>(encodeAnswer(r)), r);
    EXPECT_EQ(decodeAnswerLine<VaultUDSResponse>(R"({"decision":"refused","ai_access":"ai_hidden","value":null,"x":1})"),
              VaultUDSResponse::refusal());
    EXPECT_FALSE(decodeAnswerLine<VaultUDSResponse>(R"({"decision":"maybe","ai_access":"ai_hidden"})"));
    EXPECT_FALSE(decodeAnswerLine<VaultUDSResponse>(R"({"decision":"refused"})"));
    EXPECT_FALSE(decodeAnswerLine<VaultUDSResponse>(R"({"decision":"refused","ai_access":"public"})"));
    EXPECT_FALSE(decodeAnswerLine<VaultUDSResponse>(R"({"decision":"allowed","ai_access":"injectable","length":"3"})"));

    VaultUDSSecretMetadata m{"ID", "vael://g/i/f", "i", "f", "password", UDSAIAccess::humanGated, "g", "u",
                             std::vector<std::string>{}, std::nullopt};
    EXPECT_EQ(decodeAnswerLine<VaultUDSSecretMetadata>(encodeAnswer(m)), m);
    EXPECT_FALSE(decodeAnswerLine<VaultUDSSecretMetadata>(R"({"id":"ID","ref":"r","name":"n","kind":"k",)"
                                                          R"("field_label":"f","ai_access":"injectable"})"));
    VaultUDSBrowserMatches matches{{VaultUDSBrowserItem{"I", "n", "u", std::nullopt, "g", true, true}}};
    EXPECT_EQ(decodeAnswerLine<VaultUDSBrowserMatches>(encodeAnswer(matches)), matches);
    EXPECT_FALSE(decodeAnswerLine<VaultUDSBrowserMatches>(R"({"items":[{"id":"I","name":"n","group":"g"}]})"));
    EXPECT_EQ(decodeAnswerLine<VaultUDSBrowserTotp>(R"({"code":"1","remaining":30})"), (VaultUDSBrowserTotp{"1", 30}));
    EXPECT_EQ(decodeAnswerLine<std::vector<VaultUDSListEntry>>("[]"), std::vector<VaultUDSListEntry>{});
    EXPECT_FALSE(decodeAnswerLine<VaultUDSGroupList>(R"({"groups":null})"));
}

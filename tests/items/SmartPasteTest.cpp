#include <gtest/gtest.h>

#include "app/items/SmartPaste.h"

namespace vael {
namespace {

using Kind = ItemField::Kind;

ItemField field(std::string label, Kind kind, std::string value) {
    return ItemField{std::move(label), kind, std::move(value), kind != Kind::username};
}

struct PasteCase {
    const char* what;
    std::string text;
    SmartPaste::Draft expected;
};

TEST(SmartPasteTest, TurnsPastesIntoDrafts) {
    const std::string url = "https://example.com/login";
    const std::vector<PasteCase> cases = {
        {"empty", "", {}},
        {"blank lines only", "\n  \t\n\r\n", {}},
        {"one long line is a token", "sk_live_abcdefghijkl", {{}, {}, {field("token", Kind::token, "sk_live_abcdefghijkl")}}},
        {"a loose value beside a field is dropped", "password=abc123\nsk_live_abcdefghijkl",
         {{}, {}, {field("password", Kind::password, "abc123")}}},
        {"short line without a digit", "abcdefgh", {}},
        {"short line with a digit", "abc12345", {{}, {}, {field("token", Kind::token, "abc12345")}}},
        {"an e-mail address alone", "someone@example.com", {{}, {}, {field("token", Kind::token, "someone@example.com")}}},
        {"label then value", "Username\nsomeone@example.com",
         {{}, {}, {field("username", Kind::username, "someone@example.com")}}},
        {"CR LF is one break", "Username\r\nsomeone@example.com",
         {{}, {}, {field("username", Kind::username, "someone@example.com")}}},
        {"line and paragraph separators break",
         "Username\u2028someone@example.com\u2029OTP secret\xC2\x85JBSWY3DPEHPK3PXP",
         {{}, {}, {field("username", Kind::username, "someone@example.com"), field("otp secret", Kind::otp, "JBSWY3DPEHPK3PXP")}}},
        {"inline pair with =", "API_KEY=abcdefghij0123456789",
         {{}, {}, {field("api key", Kind::token, "abcdefghij0123456789")}}},
        {"inline pair with : and spaces", "API_KEY : abcdefghij0123456789",
         {{}, {}, {field("api key", Kind::token, "abcdefghij0123456789")}}},
        {"a value with a space gives nothing", "Password: hello world", {}},
        {"Base64 padding stays in the value", "secret=YWJjZGVm==", {{}, {}, {field("secret", Kind::token, "YWJjZGVm==")}}},
        {"repeated labels are numbered", "password=one1\npassword=two2\npassword=three3",
         {{}, {}, {field("password", Kind::password, "one1"), field("password 2", Kind::password, "two2"),
                   field("password 3", Kind::password, "three3")}}},
        {"a written label already given is numbered on", "password=one1\npassword=two2\npassword 2=three3",
         {{}, {}, {field("password", Kind::password, "one1"), field("password 2", Kind::password, "two2"),
                   field("password 2 2", Kind::password, "three3")}}},
        {"a later repeat skips a written label", "password=one1\npassword 2=two2\npassword=three3",
         {{}, {}, {field("password", Kind::password, "one1"), field("password 2", Kind::password, "two2"),
                   field("password 3", Kind::password, "three3")}}},
        {"labels compare canonically", "caf\u00E9=abc123x\ncafe\u0301=def456y",
         {{}, {}, {field("caf\u00E9", Kind::token, "abc123x"), field("cafe\u0301 2", Kind::token, "def456y")}}},
        {"otp label", "OTP secret\nJBSWY3DPEHPK3PXP", {{}, {}, {field("otp secret", Kind::otp, "JBSWY3DPEHPK3PXP")}}},
        {"a label before a URL is not paired", "supersecretlabel\n" + url,
         {"example.com", url, {field("token", Kind::token, "supersecretlabel")}}},
        {"four words are a label", "a b c d\nabcdef123456", {{}, {}, {field("a b c d", Kind::token, "abcdef123456")}}},
        {"five words are not", "a b c d e\nabcdef123456", {{}, {}, {field("token", Kind::token, "abcdef123456")}}},
        {"33 characters are not a label", std::string(33, 'a') + "\nabcdef123456", {}},
        {"a 12-letter word is a label", "abcdefghijkl\nabcdef123456",
         {{}, {}, {field("abcdefghijkl", Kind::token, "abcdef123456")}}},
        {"a 12-character word with a digit is not", "abcdefghijk1\nabcdef123456", {}},
        {"the second URL is dropped", url + "\nhttps://other.org", {"example.com", url, {}}},
        {"www. without a scheme", "  www.Example.co.uk  ", {"example.co.uk", "www.Example.co.uk", {}}},
        {"a host without a dot is no URL", "http://localhost", {{}, {}, {field("http", Kind::token, "//localhost")}}},
        {"a URL with a space is no URL", "https://example.com/a b", {}},
        {"a trailing underscore goes", "API_KEY_=abcdefghijkl", {{}, {}, {field("api key", Kind::token, "abcdefghijkl")}}},
        {"invalid UTF-8 is read, never kept", "token=\xFF\xFEsecret1",
         {{}, {}, {field("token", Kind::token, "\uFFFD\uFFFDsecret1")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SmartPaste::parse(c.text), c.expected);
    }
}

TEST(SmartPasteTest, KindFollowsTheFirstWordFound) {
    const std::vector<std::pair<std::string, Kind>> cases = {
        {"account password", Kind::username}, {"E-Mail", Kind::token},     {"Email", Kind::username},
        {"LOGIN", Kind::username},            {"passcode", Kind::password}, {"TOTP", Kind::otp},
        {"2fa backup", Kind::otp},            {"api key", Kind::token},     {"", Kind::token},
    };
    for (const auto& [label, kind] : cases) {
        SCOPED_TRACE(label);
        EXPECT_EQ(SmartPaste::kind(label), kind);
    }
}

}  // namespace
}  // namespace vael

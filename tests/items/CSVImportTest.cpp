#include <gtest/gtest.h>

#include <optional>

#include "app/items/CSVImport.h"

namespace vael {
namespace {

using CSVImport::ImportError;
using Rows = std::vector<CSVImport::Row>;

TEST(CSVImportTest, SplitsTheDialect) {
    const std::vector<std::pair<std::string, Rows>> cases = {
        {"", {}},
        {"ab\"c,d\"e", {{"abc,de"}}},
        {"\"ab\"cd", {{"abcd"}}},
        {"\"\"\nx", {{"x"}}},
        {"\"\",x", {{"", "x"}}},
        {"\"\"\"\"", {{"\""}}},
        {"\"a,b \"\"q\"\"\nc\",d", {{"a,b \"q\"\nc", "d"}}},
        {"a,b\nc", {{"a", "b"}, {"c"}}},
        {"a,b\rc", {{"a", "b"}, {"c"}}},
        {"a,b\r\nc\r\n", {{"a", "b"}, {"c"}}},
        {"a\n\rb", {{"a"}, {"b"}}},
        {"a,", {{"a", ""}}},
        {"a,\"b,c\nd", {{"a", "b,c\nd"}}},
        {" a , b\n   \n,,", {{" a ", " b"}, {"   "}, {"", "", ""}}},
        // A comma or quote carrying a combining mark is an ordinary character.
        {"a,\u0301b,\"\u0301c", {{"a,\u0301b", "\"\u0301c"}}},
    };
    for (const auto& [text, rows] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(CSVImport::parse(text), rows);
    }
}

std::vector<ItemField> loginFields(const std::string& user, const std::string& password) {
    return {ItemField{"username", ItemField::Kind::username, user, false},
            ItemField{"password", ItemField::Kind::password, password, true}};
}

TEST(CSVImportTest, BuildsPayloadsFromTheColumns) {
    const auto parsed = CSVImport::payloads(
        "Name,URL,username,Password,Notes,TOTP,extra\n"
        " Site , https://example.org/login ,  bob ,\"p,w \"\"1\"\"\",\"line one\nline two\",JBSWY3DP,ignored\n"
        "\t,,,,,\n");
    ItemPayload expected;
    expected.name = "Site";
    expected.url = "https://example.org/login";
    expected.fields = loginFields("bob", "p,w \"1\"");
    expected.fields.push_back(ItemField{"otp", ItemField::Kind::otp, "JBSWY3DP", true});
    expected.notes = "line one\nline two";
    expected.tags = {"imported"};
    EXPECT_EQ(parsed.payloads, std::vector<ItemPayload>{expected});
    EXPECT_EQ(parsed.skipped, 1);
}

TEST(CSVImportTest, MatchesHeaderAliasesInTheirOrder) {
    struct Case {
        const char* what;
        std::string text;
        std::string name;
        std::vector<ItemField> fields;
    };
    const std::vector<Case> cases = {
        {"trimmed and lower-cased; User Name matches nothing", "Title ,User Name,Password\nSite,bob,pw1", "Site",
         {ItemField{"password", ItemField::Kind::password, "pw1", true}}},
        {"username beats user wherever it stands", "user,username,password\nu1,u2,p", "Imported item",
         loginFields("u2", "p")},
        {"the first of two password columns", "password,password,username\np1,p2,u", "Imported item",
         loginFields("u", "p1")},
        {"title beats name", "name,title,login_username,login_password\nA,B,u,p", "B", loginFields("u", "p")},
        {"the host names an unnamed row", "website,password\nhttps://example.com:8443/x,p", "example.com",
         {ItemField{"password", ItemField::Kind::password, "p", true}}},
        {"a URL without a scheme has no host", "url,password\nexample.com,p", "Imported item",
         {ItemField{"password", ItemField::Kind::password, "p", true}}},
        {"a code alone", "username,otpauth\n,otpauth://totp/x?secret=JBSW", "Imported item",
         {ItemField{"otp", ItemField::Kind::otp, "otpauth://totp/x?secret=JBSW", true}}},
        {"a short row leaves the rest absent", "password,name,username\np", "Imported item",
         {ItemField{"password", ItemField::Kind::password, "p", true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto parsed = CSVImport::payloads(c.text);
        ASSERT_EQ(parsed.payloads.size(), 1u);
        EXPECT_EQ(parsed.payloads[0].name, c.name);
        EXPECT_EQ(parsed.payloads[0].fields, c.fields);
        EXPECT_EQ(parsed.payloads[0].tags, std::vector<std::string>{"imported"});
        EXPECT_FALSE(parsed.payloads[0].allowedHosts || parsed.payloads[0].allowedCommands || parsed.payloads[0].strictMatch);
    }
}

TEST(CSVImportTest, RefusesFilesThatGiveNoItem) {
    const std::vector<std::pair<std::string, ImportError::Case>> cases = {
        {"", ImportError::Case::empty},
        {"name,password\n\n\r\n\n", ImportError::Case::empty},
        {"name,password\nA,\nB,  \n\"\"", ImportError::Case::empty},
        {"email,pass\na,b", ImportError::Case::unrecognizedHeader},
        {"name,otp\na,JBSWY3DP", ImportError::Case::unrecognizedHeader},
        // The header alone decides, before any row is read.
        {"email,pass", ImportError::Case::empty},
        {"email,pass\n,", ImportError::Case::unrecognizedHeader},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        try {
            CSVImport::payloads(text);
            ADD_FAILURE() << "no error";
        } catch (const ImportError& error) {
            EXPECT_EQ(error.code(), expected);
        }
    }
    EXPECT_STREQ(ImportError(ImportError::Case::empty).what(), "No importable rows found in this file.");
    EXPECT_STREQ(ImportError(ImportError::Case::unrecognizedHeader).what(),
                 "This doesn't look like a password export \u2014 no username/password columns in the header.");
}

TEST(CSVImportTest, RefusesMoreThanFiftyThousandRowsWithASentenceThatSaysSo) {
    const auto exportOf = [](std::size_t rows) {
        std::string text = "username,password\n";
        for (std::size_t i = 0; i < rows; ++i) text += "u,p\n\n";  // blank lines are no rows
        return text;
    };
    EXPECT_EQ(CSVImport::payloads(exportOf(CSVImport::kMaxRows)).payloads.size(), CSVImport::kMaxRows);
    try {
        CSVImport::payloads(exportOf(CSVImport::kMaxRows + 1));
        ADD_FAILURE() << "no error";
    } catch (const ImportError& error) {
        EXPECT_EQ(error.code(), ImportError::Case::tooManyRows);
        EXPECT_STREQ(error.what(), "This file has more than 50,000 rows \u2014 more than Vael imports at once. Split "
                                   "it into smaller files and import each.");
    }
    EXPECT_EQ(CSVImport::parse("a\nb\n", 2).size(), 2u);
    EXPECT_THROW(CSVImport::parse("a\nb\nc", 2), ImportError);
}

TEST(CSVImportTest, RefusesARowOfMoreThanAThousandFieldsWithASentenceThatSaysSo) {
    const auto commas = [](std::size_t n) { return std::string(n, ','); };
    struct Case {
        const char* what;
        std::string text;
        std::optional<ImportError::Case> error;  // none: one item
    };
    const std::vector<Case> cases = {
        {"a header of 1,000 cells", "username,password" + commas(998) + "\nu,p", std::nullopt},
        {"a header of 1,001 cells", "username,password" + commas(999) + "\nu,p", ImportError::Case::tooManyColumns},
        {"a data row of 1,000 fields", "username,password\nu,p" + commas(998), std::nullopt},
        {"a data row of 1,001 fields", "username,password\nu,p" + commas(999), ImportError::Case::tooManyColumns},
        {"a row that would be skipped", "username,password\nu,p\n" + commas(1000), ImportError::Case::tooManyColumns},
        {"commas in quotes are one field", "username,password\nu,\"" + commas(5000) + "\"", std::nullopt},
        // Refused while the text is read, before the header or the rows are judged.
        {"after a header that is no export", "email,pass\n" + commas(1000), ImportError::Case::tooManyColumns},
        {"one line of commas", "username,password" + commas(100'000), ImportError::Case::tooManyColumns},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            EXPECT_EQ(CSVImport::payloads(c.text).payloads.size(), 1u);
            EXPECT_FALSE(c.error) << "no error";
        } catch (const ImportError& error) {
            EXPECT_EQ(std::optional(error.code()), c.error);
        }
    }
    EXPECT_STREQ(ImportError(ImportError::Case::tooManyColumns).what(),
                 "This doesn't look like a password export \u2014 a row has more than 1,000 columns.");
    EXPECT_EQ(CSVImport::parse("a,b\nc,d", SIZE_MAX, 2).size(), 2u);
    EXPECT_THROW(CSVImport::parse("a,b\nc,d,", SIZE_MAX, 2), ImportError);
}

}  // namespace
}  // namespace vael

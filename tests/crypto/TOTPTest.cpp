#include <gtest/gtest.h>

#include "crypto/Base32.h"
#include "crypto/TOTP.h"

using namespace vael;

namespace {

TimePoint at(std::int64_t unixSeconds) { return TimePoint(std::chrono::seconds(unixSeconds)); }

std::string link(const std::string& ascii, const char* algorithm, int digits = 8) {
    return "otpauth://totp/RFC:test?secret=" + base32Encode(bytesOf(ascii)) + "&algorithm=" + algorithm +
           "&digits=" + std::to_string(digits);
}

const std::string kSha1Seed = "12345678901234567890";
const std::string kSha256Seed = "12345678901234567890123456789012";
const std::string kSha512Seed = "1234567890123456789012345678901234567890123456789012345678901234";

}  // namespace

// RFC 6238, Appendix B (its last time, in 2603, lies beyond the system clock's range).
TEST(TOTP, MatchesTheRfcTestVectors) {
    struct Vector {
        std::int64_t time;
        const char* sha1;
        const char* sha256;
        const char* sha512;
    };
    const Vector vectors[] = {
        {59, "94287082", "46119246", "90693936"},
        {1111111109, "07081804", "68084774", "25091201"},
        {1111111111, "14050471", "67062674", "99943326"},
        {1234567890, "89005924", "91819424", "93441116"},
        {2000000000, "69279037", "90698825", "38618901"},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.time);
        EXPECT_EQ(TOTP::code(link(kSha1Seed, "SHA1"), at(v.time)), v.sha1);
        EXPECT_EQ(TOTP::code(link(kSha256Seed, "SHA256"), at(v.time)), v.sha256);
        EXPECT_EQ(TOTP::code(link(kSha512Seed, "SHA512"), at(v.time)), v.sha512);
        // Six and seven digits are the same number cut shorter.
        EXPECT_EQ(TOTP::code(link(kSha1Seed, "sha1", 6), at(v.time)), std::string(v.sha1).substr(2));
        EXPECT_EQ(TOTP::code(link(kSha1Seed, "SHA1", 7), at(v.time)), std::string(v.sha1).substr(1));
    }
}

TEST(TOTP, BareSecretUsesTheDefaultsAndAnyPeriodWorks) {
    const std::string bare = base32Encode(bytesOf(kSha1Seed));
    EXPECT_EQ(TOTP::code(bare, at(59)), "287082");
    std::string spaced;
    for (std::size_t i = 0; i < bare.size(); ++i) {
        if (i > 0 && i % 4 == 0) spaced.push_back(' ');
        spaced.push_back(static_cast<char>(std::tolower(bare[i])));
    }
    EXPECT_EQ(TOTP::code("  " + spaced + "\n", at(59)), "287082");
    // Counter 1 with a 60-second period is at 60..119.
    EXPECT_EQ(TOTP::code(link(kSha1Seed, "SHA1") + "&period=60", at(119)), "94287082");
    EXPECT_EQ(TOTP::code(link(kSha1Seed, "SHA1") + "&period=60", at(120)), TOTP::code(link(kSha1Seed, "SHA1"), at(60)));
}

TEST(TOTP, RemainingCountsDownWithinThePeriod) {
    const std::string seed = "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&period=60";
    EXPECT_EQ(TOTP::remaining(seed, at(0)), 60);
    EXPECT_EQ(TOTP::remaining(seed, at(59)), 1);
    EXPECT_EQ(TOTP::remaining(seed, at(60)), 60);
    EXPECT_EQ(TOTP::remaining(seed, TimePoint(std::chrono::milliseconds(59'999))), 1);
    EXPECT_EQ(TOTP::remaining("JBSWY3DPEHPK3PXP", at(1000)), 20);
    EXPECT_EQ(TOTP::remaining("not a seed", at(1000)), 20);  // counts as 30 s
}

TEST(TOTP, ReadsIssuerAndAccountFromTheLink) {
    struct Case {
        const char* link;
        std::optional<std::string> issuer;
        std::optional<std::string> account;
        int digits;
        std::uint32_t period;
    };
    const Case cases[] = {
        {"otpauth://totp/ACME%20Co:john@example.com?secret=JBSWY3DPEHPK3PXP&issuer=ACME%20Co&digits=8&period=45",
         "ACME Co", "john@example.com", 8, 45},
        {"otpauth://totp/Label%3A%20alice?secret=JBSWY3DPEHPK3PXP", "Label", "alice", 6, 30},
        {"otpauth://totp/alice?secret=JBSWY3DPEHPK3PXP&issuer=Param+Issuer", "Param Issuer", "alice", 6, 30},
        {"otpauth://totp/Issuer:?secret=JBSWY3DPEHPK3PXP", "Issuer", "", 6, 30},
        {"OTPAUTH://TOTP/?SECRET=jbswy3dpehpk3pxp", std::nullopt, std::nullopt, 6, 30},
        {"otpauth://totp?secret=JBSWY3DPEHPK3PXP&secret=!!&unknown=1", std::nullopt, std::nullopt, 6, 30},
        {"JBSWY3DPEHPK3PXP", std::nullopt, std::nullopt, 6, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        const OTPAuthURI uri = TOTP::parameters(c.link);
        EXPECT_EQ(uri.issuer, c.issuer);
        EXPECT_EQ(uri.account, c.account);
        EXPECT_EQ(uri.digits, c.digits);
        EXPECT_EQ(uri.period, c.period);
        EXPECT_EQ(uri.secret, SecureBytes(std::string_view("Hello!\xDE\xAD\xBE\xEF")));
    }
}

TEST(TOTP, UnusableSeedsRaiseTOTPError) {
    const char* cases[] = {
        "",
        "   ",
        "JBSWY3DPEHPK3PX1",
        "JBSWY3DPE",  // 9 symbols: no whole byte count
        "otpauth://totp/x",
        "otpauth://totp/x?issuer=a",
        "otpauth://totp/x?secret=",
        "otpauth://hotp/x?secret=JBSWY3DPEHPK3PXP&counter=1",
        "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&digits=5",
        "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&digits=9",
        "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&digits=six",
        "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&period=0",
        "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&period=-30",
        "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&period=99999999999",
        "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&algorithm=MD5",
        "otpauth://totp/bad%2?secret=JBSWY3DPEHPK3PXP",
        "otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&issuer=%G1",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_THROW(TOTP::parameters(text), TOTP::TOTPError);
        EXPECT_THROW(TOTP::code(text, at(59)), TOTPError);
    }
    EXPECT_THROW(TOTP::code("JBSWY3DPEHPK3PXP", at(-1)), TOTPError);
}

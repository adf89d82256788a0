#include <gtest/gtest.h>

#include "core/Base64.h"

using namespace vael;

TEST(Base64, VariantsEncodeAsTheirAlphabetSays) {
    const Bytes bytes{0xFB, 0xFF, 0xBF};
    EXPECT_EQ(base64Encode(bytes, Base64Variant::Standard), "+/+/");
    EXPECT_EQ(base64Encode(bytes, Base64Variant::UrlNoPadding), "-_-_");
    EXPECT_EQ(base64Encode(Bytes{1}, Base64Variant::Standard), "AQ==");
    EXPECT_EQ(base64Encode(Bytes{1}, Base64Variant::UrlNoPadding), "AQ");
    EXPECT_EQ(base64Encode(Bytes{}, Base64Variant::Standard), "");
}

TEST(Base64, DecodeIsStrict) {
    EXPECT_EQ(base64Decode("AQ==", Base64Variant::Standard), Bytes{1});
    EXPECT_EQ(base64Decode("AQ", Base64Variant::UrlNoPadding), Bytes{1});
    EXPECT_EQ(base64Decode("", Base64Variant::Standard), Bytes{});
    EXPECT_FALSE(base64Decode("AQ", Base64Variant::Standard));
    EXPECT_FALSE(base64Decode("-_-_", Base64Variant::Standard));
    EXPECT_FALSE(base64Decode("+/+/", Base64Variant::UrlNoPadding));
    EXPECT_FALSE(base64Decode("AQ== ", Base64Variant::Standard));
    EXPECT_FALSE(base64Decode("A", Base64Variant::UrlNoPadding));
}

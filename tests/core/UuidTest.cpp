#include <gtest/gtest.h>

#include "core/Uuid.h"

using vael::Uuid;

TEST(Uuid, TextIsUpperCaseWhateverItWasParsedFrom) {
    auto id = Uuid::parse("00000000-0000-0000-0000-00000000a000");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->text(), "00000000-0000-0000-0000-00000000A000");
    EXPECT_EQ(Uuid::parse(id->text()), id);
}

TEST(Uuid, RejectsMalformedText) {
    for (const char* text : {"", "00000000-0000-0000-0000-00000000A00", "00000000-0000-0000-0000-00000000A0000",
                             "00000000_0000-0000-0000-00000000A000", "0000000-00000-0000-0000-00000000A000",
                             "G0000000-0000-0000-0000-00000000A000", "{0000000-0000-0000-0000-00000000A00}"}) {
        EXPECT_FALSE(Uuid::parse(text)) << text;
    }
}

TEST(Uuid, RandomIsVersionFourAndDistinct) {
    auto a = Uuid::random();
    auto b = Uuid::random();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.text()[14], '4');
}

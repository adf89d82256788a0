#include <gtest/gtest.h>

#include "crypto/Base32.h"

using namespace vael;

// RFC 4648, section 10.
TEST(Base32, EncodesAndDecodesTheRfcVectors) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},           {"f", "MY======"},         {"fo", "MZXQ===="},         {"foo", "MZXW6==="},
        {"foob", "MZXW6YQ="}, {"fooba", "MZXW6YTB"}, {"foobar", "MZXW6YTBOI======"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(base32Encode(bytesOf(plain)), encoded);
        EXPECT_EQ(base32Decode(encoded), bytesOf(plain));
        std::string bare(encoded);
        bare.erase(bare.find_last_not_of('=') + 1);
        for (char& c : bare) c = static_cast<char>(std::tolower(c));
        EXPECT_EQ(base32Decode(bare), bytesOf(plain)) << bare;
    }
}

TEST(Base32, RefusesWhatIsNotBase32) {
    const char* cases[] = {"M", "MZX", "MZXW6Y", "MY=====", "MY=======", "M=Y=====", "MZXW6YT1", "MZXW 6YTB", "MZXW-6YTB",
                           "========"};
    for (const char* text : cases) EXPECT_FALSE(base32Decode(text)) << text;
}

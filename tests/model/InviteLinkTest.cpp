#include <gtest/gtest.h>

#include "app/model/InviteLink.h"

namespace vael {
namespace {

TEST(InviteLink, ReadsTheTokenFromEveryAcceptedForm) {
    struct Case {
        const char* url;
        std::optional<std::string> token;
    };
    const Case cases[] = {
        {"https://h.example/invite#abc", "abc"},
        {"https://h.example/invite/abc", "abc"},
        {"https://h.example/invite/abc/def", "abc"},
        {"https://h.example/invite/abc#", "abc"},
        {"https://h.example/invite/zzz#abc", "abc"},
        {"vael://invite#abc", "abc"},
        {"vael://invite/abc", "abc"},
        {"VAEL://invite/abc", "abc"},
        {"HTTPS://h.example/invite#abc", "abc"},
        {"https://h.example/invite#%20abc%0A", "abc"},
        {"https://h.example/invite#a%20b", "a b"},
        {"https://h.example/invite/invite/abc", "invite"},
        {"https://h.example/invite/%20tok%20", "tok"},
        {"https://h.example/invite#%20%20", std::nullopt},
        {"vael://INVITE/abc", std::nullopt},
        {"vael://other/invite/abc", std::nullopt},
        {"https://h.example/invite", std::nullopt},
        {"vael://invite", std::nullopt},
        {"http://h.example/invite#abc", std::nullopt},
        {"https://h.example/invites#abc", std::nullopt},
        {"https://h.example/Invite#abc", std::nullopt},
        {"https://h.example/x/invite/abc", std::nullopt},
        {"invite#abc", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(InviteLink::parseToken(c.url), c.token) << c.url;
}

}  // namespace
}  // namespace vael

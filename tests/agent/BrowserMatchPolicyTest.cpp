#include <gtest/gtest.h>

#include "app/agent/ops/BrowserMatchPolicy.h"

using namespace vael;

TEST(BrowserMatchPolicy, PageEligibility) {
    struct Case {
        const char* origin;
        bool eligible;
    };
    const Case cases[] = {
        {"https://example.com", true},
        {"https://10.0.0.7:8443/login", true},
        {"HTTPS://EXAMPLE.COM/", true},
        {" \thttps://example.com/\t ", true},
        {"http://localhost", true},
        {"http://LOCALHOST:3000/", true},
        {"http://127.0.0.1:8080", true},
        {"http://[::1]:8080/", true},
        {"http://example.com", false},
        {"http://192.168.1.1", false},
        {"http://10.0.0.1", false},
        {"http://localhost.example.com", false},
        {"ftp://localhost", false},
        {"chrome-extension://abcdef/page.html", false},
        {"file:///etc/passwd", false},
        {"example.com", false},
        {"localhost:8080", false},
        {"https://", false},
        {"", false},
        {"https://exa mple.com", false},
        {"\nhttps://example.com", false},  // only spaces and tabs are ignored
    };
    for (const auto& c : cases) EXPECT_EQ(BrowserMatchPolicy::pageEligible(c.origin), c.eligible) << c.origin;
}

TEST(BrowserMatchPolicy, ItemMatching) {
    struct Case {
        std::optional<std::string> item;
        bool strict;
        const char* page;
        bool matches;
    };
    const Case cases[] = {
        {std::nullopt, false, "https://example.com", false},
        {"", false, "https://example.com", false},
        // Site-wide by registrable domain: subdomains, schemes and ports do not matter.
        {"https://www.example.com/login", false, "https://accounts.example.com", true},
        {"http://example.com", false, "https://example.com:8443/x", true},
        {"https://example.co.uk", false, "https://shop.example.co.uk", true},
        {"https://example.com", false, "https://example.org", false},
        {"https://example.co.uk", false, "https://other.co.uk", false},
        {"www.example.com", false, "https://example.com", true},
        // Strict: the exact host, and an explicit port on the item must be the page's.
        {"https://www.example.com", true, "https://accounts.example.com", false},
        {"https://www.example.com", true, "https://www.example.com:8443", true},
        {"https://www.example.com", true, "https://www.example.com", true},
        {"https://www.example.com:8443", true, "https://www.example.com:8443/a", true},
        {"https://www.example.com:8443", true, "https://www.example.com:9443", false},
        {"https://www.example.com:443", true, "https://www.example.com", false},
        {"http://www.example.com", true, "https://www.example.com", true},
        // No registrable domain on either side: the exact-host rule with ports.
        {"http://localhost:3000", false, "http://localhost:3000/app", true},
        {"http://localhost:3000", false, "http://localhost:4000", false},
        {"http://localhost", false, "http://localhost:4000", true},
        {"https://10.0.0.7", false, "https://10.0.0.7:8443", true},
        {"https://10.0.0.7", false, "https://10.0.0.8", false},
        {"https://[::1]:8080", false, "http://[::1]:8080", true},
        {"https://example.com", false, "not a url", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BrowserMatchPolicy::matches(c.item, c.strict, c.page), c.matches)
            << c.item.value_or("(none)") << (c.strict ? " strict " : " ") << c.page;
    }
}

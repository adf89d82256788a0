#include <gtest/gtest.h>

#include "crypto/RegistrableDomain.h"

using namespace vael;

TEST(RegistrableDomain, HostAndSiteOfUrlTexts) {
    struct Case {
        const char* text;
        std::optional<std::string> host;
        std::optional<std::string> site;
    };
    const Case cases[] = {
        {"https://www.Example.com/login?next=/", "www.example.com", "example.com"},
        {"https://user:pw@login.example.co.uk:8443/x", "login.example.co.uk", "example.co.uk"},
        {"www.example.com", "www.example.com", "example.com"},
        {"example.com/path#frag", "example.com", "example.com"},
        {"localhost:8080", "localhost", std::nullopt},
        {"http://localhost", "localhost", std::nullopt},
        {"https://alice.github.io", "alice.github.io", "alice.github.io"},
        {"https://github.io", "github.io", std::nullopt},
        {"https://co.uk", "co.uk", std::nullopt},
        {"https://example.com.", "example.com", "example.com"},
        {"https://Login.Example.COM.:8443/", "login.example.com", "example.com"},
        {"https://BÜCHER.DE/", "xn--bcher-kva.de", "xn--bcher-kva.de"},
        {"https://shop.bücher.de", "shop.xn--bcher-kva.de", "xn--bcher-kva.de"},
        {"https://XN--BCHER-KVA.DE", "xn--bcher-kva.de", "xn--bcher-kva.de"},
        {"https://www.例え.jp", "www.xn--r8jz45g.jp", "xn--r8jz45g.jp"},
        {"https://a\xE2\x80\x8E" "b.com", std::nullopt, std::nullopt},  // a direction mark
        // Mapping drops a soft hyphen and turns an ideographic full stop into a dot.
        {"https://example.com.\xC2\xAD", "example.com", "example.com"},
        {"https://example\xE3\x80\x82" "com\xE3\x80\x82", "example.com", "example.com"},
        {"https://a.\xC2\xAD.com", std::nullopt, std::nullopt},
        {"https://a.\xC2\xAD.", std::nullopt, std::nullopt},
        {"https://\xC2\xAD", std::nullopt, std::nullopt},
        {"https://127.0.0.1:8443", "127.0.0.1", std::nullopt},
        {"http://192.168.1.10", "192.168.1.10", std::nullopt},
        {"http://[::1]:8080/", "::1", std::nullopt},
        {"https://host.internal", "host.internal", "host.internal"},
        {"  https://example.org  ", "example.org", "example.org"},
        {"mailto:someone@example.com", std::nullopt, std::nullopt},
        {"https://", std::nullopt, std::nullopt},
        {"https://exa mple.com", std::nullopt, std::nullopt},
        {"https://a..b.com", std::nullopt, std::nullopt},
        {"https://example.com:http/", std::nullopt, std::nullopt},
        {"http://[::1", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(RegistrableDomain::host(c.text), c.host);
        EXPECT_EQ(RegistrableDomain::registrable(c.text), c.site);
    }
    // A NUL inside a bracketed literal is no address, not "::1".
    EXPECT_EQ(RegistrableDomain::host(std::string_view("http://[::1\0.k.]", 16)), std::nullopt);
}

TEST(RegistrableDomain, OneHostHasOneSpelling) {
    for (const char* spelling : {"https://xn--bcher-kva.de", "https://bücher.de", "https://BÜCHER.DE.", "bücher.de:443"}) {
        SCOPED_TRACE(spelling);
        EXPECT_EQ(RegistrableDomain::host(spelling), "xn--bcher-kva.de");
    }
    // People read the Unicode form; a host without one comes back as it was.
    EXPECT_EQ(RegistrableDomain::readableHost("xn--bcher-kva.de"), "bücher.de");
    EXPECT_EQ(RegistrableDomain::readableHost("example.com"), "example.com");
    EXPECT_EQ(RegistrableDomain::readableHost("xn--zz"), "xn--zz");
}

TEST(RegistrableDomain, SameSiteGivesEqualTexts) {
    EXPECT_EQ(RegistrableDomain::registrable("https://accounts.google.com"),
              RegistrableDomain::registrable("http://mail.GOOGLE.com:8080"));
    EXPECT_NE(RegistrableDomain::registrable("https://a.github.io"), RegistrableDomain::registrable("https://b.github.io"));
}

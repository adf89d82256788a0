#include "crypto/RegistrableDomain.h"

#include <arpa/inet.h>
#include <idn2.h>
#include <libpsl.h>

#include <cstdlib>

namespace vael::RegistrableDomain {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The newest of the distribution's list and libpsl's built-in one, loaded once.
const psl_ctx_t* suffixList() {
    static const psl_ctx_t* list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return list;
}

// Length of a leading "scheme:" (RFC 3986: a letter, then letters, digits, "+", "-", "."), or 0.
std::size_t schemeLength(std::string_view text) {
    if (text.empty() || !isAlpha(text[0])) return 0;
    std::size_t i = 1;
    while (i < text.size() && (isAlpha(text[i]) || isDigit(text[i]) || text[i] == '+' || text[i] == '-' || text[i] == '.'))
        ++i;
    return i < text.size() && text[i] == ':' ? i + 1 : 0;
}

bool validHostName(std::string_view host) {
    if (host.empty() || host.front() == '.') return false;
    char previous = 0;
    for (char c : host) {
        const bool ascii = static_cast<unsigned char>(c) < 0x80;
        if (ascii && !isAlpha(c) && !isDigit(c) && c != '-' && c != '.' && c != '_') return false;
        if (c == '.' && previous == '.') return false;
        previous = c;
    }
    return true;
}

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// One spelling per name: Unicode labels in their IDNA ASCII form (UTS 46 mapping, which also folds
// case), then ASCII lower case, so that "BÜCHER.DE", "bücher.de" and "xn--bcher-kva.de" agree.
// Nothing when the name is no valid internationalised name.
std::optional<std::string> asciiForm(std::string_view name) {
    std::string out;
    if (isAscii(name)) {
        out.assign(name);
    } else {
        const std::string input(name);
        char* converted = nullptr;
        if (idn2_to_ascii_8z(input.c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL) != IDN2_OK) {
            idn2_free(converted);
            return std::nullopt;
        }
        out.assign(converted);
        idn2_free(converted);
    }
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::optional<std::string> host(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);

    if (const std::size_t scheme = schemeLength(text)) {
        const std::string_view rest = text.substr(scheme);
        if (rest.substr(0, 2) == "//") {
            text = rest.substr(2);
        } else if (rest.empty() || !isDigit(rest[0])) {
            return std::nullopt;  // a scheme without an authority, such as "mailto:"
        }
        // else "localhost:8080": a host and port without a scheme
    } else if (text.substr(0, 2) == "//") {
        text.remove_prefix(2);
    }

    std::string_view authority = text.substr(0, text.find_first_of("/?#\\"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);

    std::string_view name;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        name = authority.substr(1, close - 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            port = after.substr(1);
        }
        // Only what an IPv6 literal is made of: inet_pton would stop at an embedded NUL and
        // pass "::1\0junk." as "::1".
        if (name.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos) return std::nullopt;
        const std::string address(name);
        in6_addr parsed{};
        if (inet_pton(AF_INET6, address.c_str(), &parsed) != 1) return std::nullopt;
    } else {
        const std::size_t colon = authority.find(':');
        name = authority.substr(0, colon);
        if (colon != std::string_view::npos) port = authority.substr(colon + 1);
        if (!validHostName(name)) return std::nullopt;
    }
    for (char c : port)
        if (!isDigit(c)) return std::nullopt;
    auto ascii = asciiForm(name);
    if (!ascii || ascii->find(':') != std::string::npos) return ascii;
    // Checked again in ASCII form: the mapping drops some characters (a soft hyphen) and turns others
    // into dots, so "a.\u00AD" or "a\u3002" would otherwise leave an empty label behind.
    // "example.com." is the same host as "example.com".
    if (!validHostName(*ascii)) return std::nullopt;
    if (ascii->size() > 1 && ascii->back() == '.') ascii->pop_back();
    return ascii;
}

std::optional<std::string> registrable(std::string_view urlText) {
    auto name = host(urlText);
    if (!name) return std::nullopt;
    std::string h = std::move(*name);
    if (h.find(':') != std::string::npos) return std::nullopt;  // IPv6
    // No top-level domain is numeric, so this also rules out every IPv4 form.
    const std::size_t lastDot = h.rfind('.');
    const std::string_view last = lastDot == std::string::npos ? std::string_view(h) : std::string_view(h).substr(lastDot + 1);
    if (last.empty()) return std::nullopt;
    bool numeric = true;
    for (char c : last) numeric = numeric && isDigit(c);
    if (numeric || lastDot == std::string::npos) return std::nullopt;

    const psl_ctx_t* list = suffixList();
    if (!list) return std::nullopt;
    const char* domain = psl_registrable_domain(list, h.c_str());
    if (!domain) return std::nullopt;
    return std::string(domain);
}

std::string readableHost(std::string_view asciiHost) {
    const std::string input(asciiHost);
    char* converted = nullptr;
    if (idn2_to_unicode_8z8z(input.c_str(), &converted, 0) != IDN2_OK) {
        idn2_free(converted);
        return input;
    }
    std::string out(converted);
    idn2_free(converted);
    return out;
}

}  // namespace vael::RegistrableDomain

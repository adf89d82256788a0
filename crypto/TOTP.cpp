#include "crypto/TOTP.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sodium.h>

#include <cctype>

#include "crypto/Base32.h"

namespace vael::TOTP {

namespace {

constexpr std::string_view kScheme = "otpauth://";
constexpr std::uint32_t kDefaultPeriod = 30;

[[noreturn]] void fail(const char* message) { throw TOTPError(message); }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size()) fail("the link has a broken percent escape");
            const int hi = hexDigit(text[i + 1]);
            const int lo = hexDigit(text[i + 2]);
            if (hi < 0 || lo < 0) fail("the link has a broken percent escape");
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else if (plusIsSpace && text[i] == '+') {
            out.push_back(' ');
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

SecureBytes decodeSecret(std::string_view text) {
    SecureBytes cleaned;
    cleaned.resize(text.size());
    std::size_t n = 0;
    for (char c : text)
        if (c != ' ' && c != '-' && c != '\t') cleaned[n++] = static_cast<std::uint8_t>(c);
    cleaned.resize(n);
    auto decoded = base32Decode(cleaned.view());
    if (!decoded) fail("the secret is not valid Base32");
    SecureBytes secret(std::move(*decoded));
    if (secret.empty()) fail("the secret is empty");
    return secret;
}

std::uint64_t parseNumber(std::string_view text, std::uint64_t max, const char* message) {
    if (text.empty() || text.size() > 10) fail(message);
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') fail(message);
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > max) fail(message);
    return value;
}

OTPAuthURI parseLink(std::string_view link) {
    std::string_view rest = link.substr(kScheme.size());
    const std::size_t slash = rest.find('/');
    const std::size_t question = rest.find('?');
    const std::string_view type = rest.substr(0, std::min(slash, question));
    if (!equalsIgnoringCase(type, "totp")) fail("only time-based links are supported");

    OTPAuthURI seed;
    std::string_view label;
    if (slash != std::string_view::npos && (question == std::string_view::npos || slash < question))
        label = rest.substr(slash + 1, question == std::string_view::npos ? std::string_view::npos : question - slash - 1);
    const std::string_view query = question == std::string_view::npos ? std::string_view() : rest.substr(question + 1);

    std::optional<std::string> labelIssuer;
    if (!label.empty()) {
        std::string decoded = percentDecoded(label, false);
        const std::size_t colon = decoded.find(':');
        if (colon == std::string::npos) {
            seed.account = decoded;
        } else {
            labelIssuer = decoded.substr(0, colon);
            std::string_view account = decoded;
            account.remove_prefix(colon + 1);
            while (!account.empty() && account.front() == ' ') account.remove_prefix(1);
            seed.account = std::string(account);
        }
    }

    bool haveSecret = false, haveIssuer = false, haveAlgorithm = false, haveDigits = false, havePeriod = false;
    std::size_t start = 0;
    while (start <= query.size() && !query.empty()) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view pair = query.substr(start, end - start);
        start = end + 1;
        if (pair.empty()) continue;
        const std::size_t eq = pair.find('=');
        const std::string_view key = pair.substr(0, eq);
        const std::string_view raw = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        // The first of repeated parameters counts.
        if (equalsIgnoringCase(key, "secret") && !haveSecret) {
            haveSecret = true;
            std::string text = percentDecoded(raw, true);
            seed.secret = decodeSecret(text);
            sodium_memzero(text.data(), text.size());
        } else if (equalsIgnoringCase(key, "issuer") && !haveIssuer) {
            haveIssuer = true;
            seed.issuer = percentDecoded(raw, true);
        } else if (equalsIgnoringCase(key, "algorithm") && !haveAlgorithm) {
            haveAlgorithm = true;
            const std::string name = percentDecoded(raw, true);
            if (equalsIgnoringCase(name, "SHA1")) seed.algorithm = TOTPAlgorithm::sha1;
            else if (equalsIgnoringCase(name, "SHA256")) seed.algorithm = TOTPAlgorithm::sha256;
            else if (equalsIgnoringCase(name, "SHA512")) seed.algorithm = TOTPAlgorithm::sha512;
            else fail("the link names an unknown algorithm");
        } else if (equalsIgnoringCase(key, "digits") && !haveDigits) {
            haveDigits = true;
            const auto digits = parseNumber(percentDecoded(raw, true), 8, "the link's digits must be 6 to 8");
            if (digits < 6) fail("the link's digits must be 6 to 8");
            seed.digits = static_cast<int>(digits);
        } else if (equalsIgnoringCase(key, "period") && !havePeriod) {
            havePeriod = true;
            const auto period = parseNumber(percentDecoded(raw, true), 0x7FFFFFFFu, "the link's period is not usable");
            if (period == 0) fail("the link's period is not usable");
            seed.period = static_cast<std::uint32_t>(period);
        }
        if (end == query.size()) break;
    }
    if (!haveSecret) fail("the link has no secret");
    if (!seed.issuer && labelIssuer) seed.issuer = std::move(labelIssuer);
    return seed;
}

const EVP_MD* digestOf(TOTPAlgorithm algorithm) {
    switch (algorithm) {
        case TOTPAlgorithm::sha1: return EVP_sha1();
        case TOTPAlgorithm::sha256: return EVP_sha256();
        case TOTPAlgorithm::sha512: return EVP_sha512();
    }
    return EVP_sha1();
}

// Whole seconds since 1970, rounded down.
std::int64_t unixSeconds(TimePoint date) {
    return std::chrono::floor<std::chrono::seconds>(date.time_since_epoch()).count();
}

}  // namespace

OTPAuthURI parameters(std::string_view fieldValue) {
    const std::string_view text = trimmed(fieldValue);
    if (text.size() >= kScheme.size() && equalsIgnoringCase(text.substr(0, kScheme.size()), kScheme))
        return parseLink(text);
    OTPAuthURI seed;
    seed.secret = decodeSecret(text);
    return seed;
}

std::string code(const OTPAuthURI& seed, TimePoint date) {
    if (seed.secret.empty()) fail("the secret is empty");
    if (seed.digits < 6 || seed.digits > 8 || seed.period == 0) fail("the seed's parameters are not usable");
    const std::int64_t seconds = unixSeconds(date);
    if (seconds < 0) fail("no code exists before 1970");
    const std::uint64_t counter = static_cast<std::uint64_t>(seconds) / seed.period;

    std::uint8_t message[8];
    for (int i = 0; i < 8; ++i) message[i] = static_cast<std::uint8_t>(counter >> (56 - 8 * i));
    std::uint8_t mac[EVP_MAX_MD_SIZE];
    unsigned int macSize = 0;
    if (!HMAC(digestOf(seed.algorithm), seed.secret.data(), static_cast<int>(seed.secret.size()), message,
              sizeof message, mac, &macSize) || macSize < 20)
        fail("the code could not be computed");

    // Dynamic truncation (RFC 4226, section 5.3).
    const unsigned offset = mac[macSize - 1] & 0x0F;
    const std::uint32_t binary = (static_cast<std::uint32_t>(mac[offset] & 0x7F) << 24) |
                                 (static_cast<std::uint32_t>(mac[offset + 1]) << 16) |
                                 (static_cast<std::uint32_t>(mac[offset + 2]) << 8) | mac[offset + 3];
    OPENSSL_cleanse(mac, sizeof mac);
    std::uint32_t modulus = 1;
    for (int i = 0; i < seed.digits; ++i) modulus *= 10;
    std::string text = std::to_string(binary % modulus);
    return std::string(static_cast<std::size_t>(seed.digits) - text.size(), '0') + text;
}

std::string code(std::string_view fieldValue, TimePoint date) { return code(parameters(fieldValue), date); }

int remaining(std::string_view fieldValue, TimePoint date) {
    std::uint32_t period = kDefaultPeriod;
    try {
        period = parameters(fieldValue).period;
    } catch (const TOTPError&) {
    }
    const std::int64_t seconds = unixSeconds(date);
    std::int64_t into = seconds % static_cast<std::int64_t>(period);
    if (into < 0) into += period;
    return static_cast<int>(static_cast<std::int64_t>(period) - into);
}

}  // namespace vael::TOTP

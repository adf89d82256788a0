#include "app/agent/VaultRef.h"

#include <arpa/inet.h>
#include <unicode/utf8.h>

#include <array>
#include <vector>

namespace vael {

namespace {

using ParseError = VaultRef::ParseError;

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) {
    switch (c) {
        case '!': case '$': case '&': case '\'': case '(': case ')':
        case '*': case '+': case ',': case ';': case '=': return true;
        default: return false;
    }
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// Every character is unreserved, a sub-delimiter, a valid percent-escape or one of `extra`.
bool validComponent(std::string_view s, std::string_view extra) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
            i += 2;
        } else if (!isUnreserved(c) && !isSubDelim(c) && extra.find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool validScheme(std::string_view s) {
    if (s.empty() || !isAlpha(s[0])) return false;
    for (char c : s) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

bool validIpLiteral(std::string_view inner) {
    if (!inner.empty() && (inner[0] == 'v' || inner[0] == 'V')) {
        auto dot = inner.find('.');
        if (dot == std::string_view::npos || dot < 2 || dot + 1 >= inner.size()) return false;
        for (std::size_t i = 1; i < dot; ++i) {
            if (!isHex(inner[i])) return false;
        }
        for (char c : inner.substr(dot + 1)) {
            if (!isUnreserved(c) && !isSubDelim(c) && c != ':') return false;
        }
        return true;
    }
    if (inner.size() >= INET6_ADDRSTRLEN) return false;
    std::array<char, INET6_ADDRSTRLEN> text{};
    inner.copy(text.data(), inner.size());
    in6_addr address{};
    return inet_pton(AF_INET6, text.data(), &address) == 1;
}

struct Uri {
    std::string_view scheme;
    bool hasAuthority = false;
    std::string_view host;
    std::string_view path;
    bool hasQuery = false;
    std::string_view query;
};

// RFC 3986 URI-reference syntax; nothing when the text is not one.
std::optional<Uri> splitUri(std::string_view s) {
    Uri uri;
    auto firstDelimiter = s.find_first_of(":/?#");
    if (firstDelimiter != std::string_view::npos && s[firstDelimiter] == ':') {
        uri.scheme = s.substr(0, firstDelimiter);
        if (!validScheme(uri.scheme)) return std::nullopt;
        s.remove_prefix(firstDelimiter + 1);
    }
    auto fragment = s.find('#');
    if (fragment != std::string_view::npos) {
        if (!validComponent(s.substr(fragment + 1), ":@/?")) return std::nullopt;
        s = s.substr(0, fragment);
    }
    auto question = s.find('?');
    if (question != std::string_view::npos) {
        uri.hasQuery = true;
        uri.query = s.substr(question + 1);
        if (!validComponent(uri.query, ":@/?")) return std::nullopt;
        s = s.substr(0, question);
    }
    if (s.substr(0, 2) == "//") {
        s.remove_prefix(2);
        auto slash = s.find('/');
        auto authority = s.substr(0, slash);
        uri.path = slash == std::string_view::npos ? std::string_view{} : s.substr(slash);
        uri.hasAuthority = true;
        auto at = authority.find('@');
        if (at != std::string_view::npos) {
            if (!validComponent(authority.substr(0, at), ":")) return std::nullopt;
            authority.remove_prefix(at + 1);
        }
        std::string_view port;
        if (!authority.empty() && authority[0] == '[') {
            auto close = authority.find(']');
            if (close == std::string_view::npos || !validIpLiteral(authority.substr(1, close - 1))) return std::nullopt;
            uri.host = authority.substr(1, close - 1);
            auto rest = authority.substr(close + 1);
            if (!rest.empty()) {
                if (rest[0] != ':') return std::nullopt;
                port = rest.substr(1);
            }
        } else {
            auto colon = authority.find(':');
            uri.host = authority.substr(0, colon);
            if (!validComponent(uri.host, "")) return std::nullopt;
            if (colon != std::string_view::npos) port = authority.substr(colon + 1);
        }
        for (char c : port) {
            if (!isDigit(c)) return std::nullopt;
        }
    } else {
        uri.path = s;
    }
    if (!validComponent(uri.path, ":@/")) return std::nullopt;
    return uri;
}

bool validUtf8(std::string_view s) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data());
    if (s.size() > static_cast<std::size_t>(INT32_MAX)) return false;
    int32_t length = static_cast<int32_t>(s.size());
    int32_t i = 0;
    while (i < length) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

// The escapes of an already validated component decoded; nothing when the bytes are not UTF-8.
std::optional<std::string> percentDecoded(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isHex(s[i + 1]) && isHex(s[i + 2])) {
            out.push_back(static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    if (!validUtf8(out)) return std::nullopt;
    return out;
}

void appendEscape(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0xF]);
}

template <class Keep>
std::string percentEncoded(std::string_view s, Keep keep) {
    std::string out;
    out.reserve(s.size() + 8);
    for (char c : s) {
        if (keep(c)) {
            out.push_back(c);
        } else {
            appendEscape(out, static_cast<unsigned char>(c));
        }
    }
    return out;
}

// Characters a raw reference may keep when it is escaped for a second parse: the query set plus
// "%#[]", so that existing escapes stay as they are.
bool keptForSecondParse(char c) {
    return isAlpha(c) || isDigit(c) || std::string_view("!$&'()*+,-./:;=?@_~%#[]").find(c) != std::string_view::npos;
}

// The path character set without the slash.
bool keptInName(char c) {
    return isAlpha(c) || isDigit(c) || std::string_view("!$&'()*+,-.:=@_~").find(c) != std::string_view::npos;
}

// The group stands in the authority, where ':' would start a port and '@' end user information.
bool keptInGroupName(char c) { return c != ':' && c != '@' && keptInName(c); }

VaultRef::Attribute attributeOf(std::string_view query) {
    std::size_t start = 0;
    while (start <= query.size()) {
        auto end = query.find('&', start);
        if (end == std::string_view::npos) end = query.size();
        auto item = query.substr(start, end - start);
        auto equals = item.find('=');
        auto name = percentDecoded(item.substr(0, equals));
        if (name && *name == "attribute") {
            if (equals == std::string_view::npos) return VaultRef::Attribute::value;
            auto value = percentDecoded(item.substr(equals + 1));
            auto attribute = value ? attributeFromText(*value) : std::nullopt;
            if (!attribute) throw ParseError(ParseError::Case::badAttribute);
            return *attribute;
        }
        start = end + 1;
    }
    return VaultRef::Attribute::value;
}

const char* parseErrorMessage(ParseError::Case c) {
    switch (c) {
        case ParseError::Case::badScheme: return "reference is not a vael:// URI";
        case ParseError::Case::badPath: return "reference does not name a group, an item and a field";
        case ParseError::Case::badAttribute: return "reference names an unknown attribute";
    }
    return "bad reference";
}

}  // namespace

VaultRef::ParseError::ParseError(Case c) : std::runtime_error(parseErrorMessage(c)), case_(c) {}

std::string_view toText(VaultRef::Attribute attribute) {
    switch (attribute) {
        case VaultRef::Attribute::type: return "type";
        case VaultRef::Attribute::value: return "value";
        case VaultRef::Attribute::otp: return "otp";
    }
    return "value";
}

std::optional<VaultRef::Attribute> attributeFromText(std::string_view text) {
    if (text == "type") return VaultRef::Attribute::type;
    if (text == "value") return VaultRef::Attribute::value;
    if (text == "otp") return VaultRef::Attribute::otp;
    return std::nullopt;
}

VaultRef VaultRef::parse(std::string_view text) {
    auto uri = splitUri(text);
    std::string escaped;
    if (!uri) {
        escaped = percentEncoded(text, keptForSecondParse);
        uri = splitUri(escaped);
        if (!uri) throw ParseError(ParseError::Case::badScheme);
    }
    if (uri->scheme != "vael") throw ParseError(ParseError::Case::badScheme);

    auto host = uri->hasAuthority ? percentDecoded(uri->host) : std::nullopt;
    if (!host || host->empty()) throw ParseError(ParseError::Case::badPath);

    auto path = percentDecoded(uri->path);
    if (!path) throw ParseError(ParseError::Case::badPath);
    std::string_view rest = *path;
    std::array<std::string_view, 2> pieces;
    std::size_t count = 0;
    while (!rest.empty()) {
        auto slash = rest.find('/');
        auto piece = rest.substr(0, slash);
        if (!piece.empty()) {
            if (count == pieces.size()) throw ParseError(ParseError::Case::badPath);
            pieces[count++] = piece;
        }
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    if (count != 2) throw ParseError(ParseError::Case::badPath);

    VaultRef ref;
    ref.attribute = uri->hasQuery ? attributeOf(uri->query) : Attribute::value;
    ref.collection = std::move(*host);
    ref.item = std::string(pieces[0]);
    ref.field = std::string(pieces[1]);
    return ref;
}

std::string VaultRef::make(std::string_view collection, std::string_view item, std::string_view field) {
    std::string out = "vael://";
    out += percentEncoded(collection, keptInGroupName);
    out += '/';
    out += percentEncoded(item, keptInName);
    out += '/';
    out += percentEncoded(field, keptInName);
    return out;
}

std::string VaultRef::text() const {
    auto out = make(collection, item, field);
    if (attribute != Attribute::value) {
        out += "?attribute=";
        out += toText(attribute);
    }
    return out;
}

}  // namespace vael

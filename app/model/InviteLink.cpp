#include "app/model/InviteLink.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cctype>
#include <vector>

namespace vael::InviteLink {

namespace {

struct UrlParts {
    std::optional<std::string> scheme;  // lower-cased
    std::optional<std::string> host;    // as written
    std::string path;                   // percent-decoded
    std::optional<std::string> fragment;  // percent-decoded
};

std::string percentDecoded(std::string_view text) {
    return QByteArray::fromPercentEncoding(QByteArray(text.data(), static_cast<qsizetype>(text.size()))).toStdString();
}

UrlParts split(std::string_view url) {
    UrlParts parts;
    if (auto hash = url.find('#'); hash != std::string_view::npos) {
        parts.fragment = percentDecoded(url.substr(hash + 1));
        url = url.substr(0, hash);
    }
    if (auto query = url.find('?'); query != std::string_view::npos) url = url.substr(0, query);
    auto colon = url.find(':');
    if (colon != std::string_view::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(url[0])) &&
        std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        })) {
        std::string scheme(url.substr(0, colon));
        std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        parts.scheme = std::move(scheme);
        url = url.substr(colon + 1);
    }
    if (url.starts_with("//")) {
        url = url.substr(2);
        auto end = url.find('/');
        std::string_view authority = url.substr(0, end);
        url = end == std::string_view::npos ? std::string_view{} : url.substr(end);
        if (auto at = authority.rfind('@'); at != std::string_view::npos) authority = authority.substr(at + 1);
        if (auto port = authority.rfind(':'); port != std::string_view::npos) authority = authority.substr(0, port);
        if (!authority.empty()) parts.host = std::string(authority);
    }
    parts.path = percentDecoded(url);
    return parts;
}

std::vector<std::string> segments(const std::string& path) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) out.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool isInvite(const UrlParts& parts) {
    if (!parts.scheme) return false;
    if (*parts.scheme == "https") return parts.path == "/invite" || parts.path.starts_with("/invite/");
    if (*parts.scheme == "vael") return parts.host == std::optional<std::string>("invite");
    return false;
}

std::optional<std::string> tail(const UrlParts& parts) {
    auto pieces = segments(parts.path);
    if (parts.scheme == std::optional<std::string>("vael") && parts.host) pieces.insert(pieces.begin(), *parts.host);
    auto found = std::find(pieces.begin(), pieces.end(), "invite");
    if (found == pieces.end() || found + 1 == pieces.end()) return std::nullopt;
    return *(found + 1);
}

}  // namespace

std::optional<std::string> sanitize(std::string_view text) {
    auto trimmed = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    return trimmed.toStdString();
}

bool isInviteURL(std::string_view url) { return isInvite(split(url)); }

std::optional<std::string> inviteTailComponent(std::string_view url) { return tail(split(url)); }

std::optional<std::string> parseToken(std::string_view url) {
    auto parts = split(url);
    if (!isInvite(parts)) return std::nullopt;
    if (parts.fragment) {
        if (auto token = sanitize(*parts.fragment)) return token;
    }
    if (auto segment = tail(parts)) return sanitize(*segment);
    return std::nullopt;
}

}  // namespace vael::InviteLink

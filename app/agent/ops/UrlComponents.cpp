#include "app/agent/ops/UrlComponents.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <charconv>
#include <memory>

namespace vael {

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* raw = nullptr;
    if (curl_url_get(url, which, &raw, 0) != CURLUE_OK || raw == nullptr) return std::nullopt;
    std::unique_ptr<char, TextDeleter> text(raw);
    return std::string(text.get());
}

}  // namespace

std::optional<UrlComponents> UrlComponents::parse(std::string_view text) {
    // curl reads a C string: a text with a NUL byte is not a URL.
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url) return std::nullopt;
    const std::string copy(text);
    if (curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    UrlComponents components;
    auto scheme = part(url.get(), CURLUPART_SCHEME);
    if (!scheme) return std::nullopt;
    components.scheme = std::move(*scheme);
    components.host = part(url.get(), CURLUPART_HOST);
    if (components.host && components.host->empty()) components.host.reset();
    if (auto port = part(url.get(), CURLUPART_PORT)) {
        std::uint32_t number = 0;
        auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), number);
        if (error != std::errc() || end != port->data() + port->size()) return std::nullopt;
        components.port = number;
    }
    return components;
}

std::optional<std::string> UrlComponents::webHost(std::string_view text) {
    auto components = parse(text);
    if (!components || !components->host) return std::nullopt;
    if (components->scheme != "http" && components->scheme != "https") return std::nullopt;
    auto host = std::move(*components->host);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    return host;
}

bool UrlComponents::isHostName(std::string_view host) {
    constexpr std::size_t kMaxHostName = 253;
    constexpr std::size_t kMaxLabel = 63;
    if (host.empty()) return false;
    if (host.find(':') != std::string_view::npos) {
        if (host.size() >= INET6_ADDRSTRLEN) return false;
        const std::string copy(host);
        in6_addr address{};
        return ::inet_pton(AF_INET6, copy.c_str(), &address) == 1;
    }
    if (host.back() == '.') host.remove_suffix(1);  // the root's dot
    if (host.empty() || host.size() > kMaxHostName) return false;
    std::size_t label = 0;
    for (char c : host) {
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        const bool allowed = byte >= 0x80 || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                             (byte >= '0' && byte <= '9') || c == '-' || c == '_';
        if (!allowed || ++label > kMaxLabel) return false;
    }
    return label > 0;
}

}  // namespace vael

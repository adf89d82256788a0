#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "core/SecureBytes.h"

namespace vael {

enum class HttpMethod { Get, Post, Put, Patch, Delete };

struct HttpAnswer {
    long status = 0;
    std::string body;
};

// Blocking HTTP over libcurl, for any number of threads at once: each request runs on an easy handle
// of its own (reused, with its kept-alive connections, by later requests); only the DNS cache and TLS
// sessions are shared between threads, the two caches libcurl allows to be.
class HttpTransport {
public:
    HttpTransport(std::chrono::milliseconds connectTimeout, std::chrono::milliseconds totalTimeout,
                  std::size_t maxAnswerBytes);
    ~HttpTransport();
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    // Any status is an answer. No answer (refused, unreachable, timed out) throws APIError::network
    // with the negated libcurl code; an answer over the size limit throws APIError::badResponse.
    // Redirects are not followed, so the bearer token only ever goes to the given host.
    HttpAnswer perform(HttpMethod method, const std::string& url, const std::string* body,
                       const SecureBytes& bearerToken) const;

    // Percent-encodes text for a path segment or a query value.
    static std::string escape(std::string_view text);

private:
    struct Shared;
    std::unique_ptr<Shared> shared_;
    std::chrono::milliseconds connectTimeout_;
    std::chrono::milliseconds totalTimeout_;
    std::size_t maxAnswerBytes_;
};

}  // namespace vael

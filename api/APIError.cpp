#include "api/APIError.h"

namespace vael {

APIError APIError::notFound() { return APIError(Kind::NotFound, 0, {}, "not found on the server"); }

APIError APIError::conflict(std::int64_t currentRevision) {
    return APIError(Kind::Conflict, currentRevision, {},
                    "conflict: the server is at revision " + std::to_string(currentRevision));
}

APIError APIError::taken(std::string text) {
    const std::string description = "already in use: " + text;
    return APIError(Kind::Taken, 0, std::move(text), description);
}

APIError APIError::network(std::int64_t code, std::string text) {
    const std::string description = "network failure (" + std::to_string(code) + "): " + text;
    return APIError(Kind::Network, code, std::move(text), description);
}

APIError APIError::rejected(std::int64_t status, std::string text) {
    std::string description = "the server refused the request (HTTP " + std::to_string(status) + ")";
    if (!text.empty()) description += ": " + text;
    return APIError(Kind::Rejected, status, std::move(text), description);
}

APIError APIError::badResponse(std::string text) {
    const std::string description = "unreadable server answer: " + text;
    return APIError(Kind::BadResponse, 0, std::move(text), description);
}

}  // namespace vael

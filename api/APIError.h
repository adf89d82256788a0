#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vael {

// A failed server call. Callers tell the cases apart by kind(); what() is a short description that
// never carries a session token or a request body.
class APIError : public std::runtime_error {
public:
    enum class Kind {
        NotFound,     // the object addressed does not exist
        Conflict,     // a revision mismatch or an existing object: currentRevision() is the server's
        Taken,        // refused because a name is in use (a taken handle): text() is the server's
        Network,      // no answer; code() < 0 when the server could not be reached or timed out
        Rejected,     // any other refusal: code() is the HTTP status, text() the server's
        BadResponse,  // an answer that could not be read
    };

    static APIError notFound();
    static APIError conflict(std::int64_t currentRevision);
    static APIError taken(std::string text);
    static APIError network(std::int64_t code, std::string text);
    static APIError rejected(std::int64_t status, std::string text);
    static APIError badResponse(std::string text);

    Kind kind() const { return kind_; }
    // Conflict: the server's current revision; 0 otherwise.
    std::int64_t currentRevision() const { return kind_ == Kind::Conflict ? value_ : 0; }
    // Network: the failure code; Rejected: the HTTP status; 0 otherwise.
    std::int64_t code() const { return kind_ == Kind::Network || kind_ == Kind::Rejected ? value_ : 0; }
    const std::string& text() const { return text_; }

    bool operator==(const APIError& other) const {
        return kind_ == other.kind_ && value_ == other.value_ && text_ == other.text_;
    }

private:
    APIError(Kind kind, std::int64_t value, std::string text, const std::string& description)
        : std::runtime_error(description), kind_(kind), value_(value), text_(std::move(text)) {}

    Kind kind_;
    std::int64_t value_;
    std::string text_;
};

}  // namespace vael

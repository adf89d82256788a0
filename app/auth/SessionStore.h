#pragma once

#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/SecureBytes.h"
#include "core/Time.h"

namespace vael {

// Where the server's session goes after each passkey login.
class SessionStore {
public:
    virtual ~SessionStore() = default;
    virtual void save(const std::string& token, TimePoint expiresAt) = 0;
};

// The stored session: {"token": text, "expiresAt": seconds since 2001-01-01 UTC}.
struct SessionEntry {
    std::string token;
    TimePoint expiresAt;

    bool operator==(const SessionEntry&) const = default;
};

// The entry's JSON, in memory that is wiped after use.
SecureBytes encodeSessionEntry(const SessionEntry& entry);
// Both keys are required ("token" a string, "expiresAt" a number); unknown keys are ignored.
std::optional<SessionEntry> decodeSessionEntry(std::string_view json);

// A failure of the keyring; the code is the keyring library's, the text says what went wrong
// (never the token).
class SessionStoreError : public std::runtime_error {
public:
    enum class Kind { Keyring };
    SessionStoreError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Kind kind() const { return Kind::Keyring; }
    int code() const { return code_; }
    bool operator==(const SessionStoreError& other) const { return code_ == other.code_; }

private:
    int code_;
};

class InMemorySessionStore final : public SessionStore {
public:
    void save(const std::string& token, TimePoint expiresAt) override;
    std::optional<SessionEntry> entry() const;

private:
    mutable std::mutex mutex_;
    std::optional<SessionEntry> entry_;
};

}  // namespace vael

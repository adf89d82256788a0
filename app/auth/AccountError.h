#pragma once

#include <stdexcept>
#include <string>

namespace vael {

// How an account flow or a passkey ceremony failed, in the terms the user is told about.
class AccountError : public std::runtime_error {
public:
    enum class Kind {
        ceremonyUnavailable,  // the ceremony or the PRF unlock could not be completed; text() says why
        ceremonyCancelled,    // the user cancelled the passkey prompt
        serverRejected,       // the server refused the request
        handleTaken,          // registration only: the handle is in use
        offline,              // the server could not be reached
        decoding,             // the server's WebAuthn options could not be read
    };

    static AccountError ceremonyUnavailable(std::string text) {
        return AccountError(Kind::ceremonyUnavailable, std::move(text));
    }
    // Unavailable because no security key is plugged in: a quiet automatic attempt says nothing.
    static AccountError noSecurityKey() {
        AccountError error(Kind::ceremonyUnavailable, "no security key found");
        error.noSecurityKey_ = true;
        return error;
    }
    static AccountError ceremonyCancelled() { return AccountError(Kind::ceremonyCancelled, {}); }
    static AccountError serverRejected() { return AccountError(Kind::serverRejected, {}); }
    static AccountError handleTaken() { return AccountError(Kind::handleTaken, {}); }
    static AccountError offline() { return AccountError(Kind::offline, {}); }
    static AccountError decoding() { return AccountError(Kind::decoding, {}); }

    Kind kind() const { return kind_; }
    // Only ceremonyUnavailable carries one.
    const std::string& text() const { return text_; }
    bool isNoSecurityKey() const { return noSecurityKey_; }

    bool operator==(const AccountError& other) const {
        return kind_ == other.kind_ && text_ == other.text_ && noSecurityKey_ == other.noSecurityKey_;
    }

private:
    AccountError(Kind kind, std::string text)
        : std::runtime_error(describe(kind, text)), kind_(kind), text_(std::move(text)) {}

    static std::string describe(Kind kind, const std::string& text) {
        switch (kind) {
            case Kind::ceremonyUnavailable: return "passkey unavailable: " + text;
            case Kind::ceremonyCancelled: return "passkey cancelled";
            case Kind::serverRejected: return "the server refused the request";
            case Kind::handleTaken: return "the handle is already taken";
            case Kind::offline: return "the server could not be reached";
            case Kind::decoding: return "the server's passkey options could not be read";
        }
        return "account error";
    }

    Kind kind_;
    std::string text_;
    bool noSecurityKey_ = false;
};

}  // namespace vael

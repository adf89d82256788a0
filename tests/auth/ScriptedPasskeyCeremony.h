#pragma once

// A passkey ceremony for tests: an authenticator with one credential whose PRF output is a keyed
// hash of the salt input, so the same salt always gives the same output. Failures can be scripted
// per call; every call's options are recorded.

#include <sodium.h>

#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/auth/PasskeyCeremony.h"
#include "core/Base64.h"

namespace vael::testing {

class ScriptedPasskeyCeremony final : public PasskeyCeremony {
public:
    // A distinct secret makes a distinct passkey.
    explicit ScriptedPasskeyCeremony(std::string secret = "passkey-one") : secret_(std::move(secret)) {}

    // The next registration or assertion throws what `fail` throws instead of answering.
    void failNextRegistration(std::function<void()> fail) {
        std::lock_guard lock(mutex_);
        registrationFailures_.push_back(std::move(fail));
    }
    void failNextAssertion(std::function<void()> fail) {
        std::lock_guard lock(mutex_);
        assertionFailures_.push_back(std::move(fail));
    }

    WebAuthnCodec::CreationResult registerCredential(const WebAuthnCodec::CreationOptions& options) override {
        std::function<void()> fail;
        {
            std::lock_guard lock(mutex_);
            registrations.push_back(options);
            if (!registrationFailures_.empty()) {
                fail = std::move(registrationFailures_.front());
                registrationFailures_.pop_front();
            }
        }
        if (fail) fail();
        userID_ = options.userID;
        return {credentialID(), Bytes{0xA3, 0x63, 'f', 'm', 't'}, clientData("webauthn.create", options.challenge)};
    }

    PasskeyAssertion assertCredential(const WebAuthnCodec::RequestOptions& options) override {
        std::function<void()> fail;
        {
            std::lock_guard lock(mutex_);
            assertions.push_back(options);
            if (!assertionFailures_.empty()) {
                fail = std::move(assertionFailures_.front());
                assertionFailures_.pop_front();
            }
        }
        if (fail) fail();
        PasskeyAssertion answer;
        answer.result = {credentialID(), Bytes(37, 0x05), Bytes{0x30, 0x44}, userID_,
                         clientData("webauthn.get", options.challenge)};
        answer.prfOutput = prfOutput(options.prfSaltInput);
        return answer;
    }

    // Counts the cancels and runs `onCancel` (set before the ceremony starts), which may release a
    // scripted failure that waits.
    void cancel() override {
        std::function<void()> hook;
        {
            std::lock_guard lock(mutex_);
            ++cancels;
            hook = onCancel;
        }
        if (hook) hook();
    }
    int cancelCount() {
        std::lock_guard lock(mutex_);
        return cancels;
    }
    std::function<void()> onCancel;

    // What this passkey's PRF yields for a salt input.
    SecureBytes prfOutput(const Bytes& saltInput) const {
        SecureBytes out(32);
        crypto_generichash(out.data(), out.size(), saltInput.data(), saltInput.size(),
                           reinterpret_cast<const unsigned char*>(secret_.data()), secret_.size());
        return out;
    }

    Bytes credentialID() const { return Bytes(secret_.begin(), secret_.end()); }

    std::vector<WebAuthnCodec::CreationOptions> registrations;
    std::vector<WebAuthnCodec::RequestOptions> assertions;

private:
    static Bytes clientData(const std::string& type, const Bytes& challenge) {
        const std::string json = R"({"type":")" + type + R"(","challenge":")" +
                                 base64Encode(challenge, Base64Variant::UrlNoPadding) +
                                 R"(","origin":"https://localhost"})";
        return Bytes(json.begin(), json.end());
    }

    std::string secret_;
    Bytes userID_;
    std::mutex mutex_;
    int cancels = 0;
    std::deque<std::function<void()>> registrationFailures_;
    std::deque<std::function<void()>> assertionFailures_;
};

}  // namespace vael::testing

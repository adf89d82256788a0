#include <cbor.h>
#include <gtest/gtest.h>

#include <deque>
#include <nlohmann/json.hpp>

#include "app/auth/AccountError.h"
#include "app/platform/Fido2Authenticators.h"
#include "app/platform/LivePasskeyCeremony.h"
#include "app/platform/PasskeyEncoding.h"
#include "core/Base64.h"

namespace vael {
namespace {

using json = nlohmann::json;
using Kind = FidoError::Kind;

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Authenticator data as a key signs it: flags UP|UV (and AT with a credential), counter 7.
Bytes authData(const std::string& rpID, std::uint8_t flags, const Bytes& credentialID = {}) {
    Bytes out = PasskeyEncoding::sha256(bytesOf(rpID));
    out.push_back(flags);
    out.insert(out.end(), {0, 0, 0, 7});
    if (!credentialID.empty()) {
        out.insert(out.end(), 16, 0xAA);  // the key model's AAGUID
        out.push_back(0);
        out.push_back(static_cast<std::uint8_t>(credentialID.size()));
        out.insert(out.end(), credentialID.begin(), credentialID.end());
        out.insert(out.end(), {0xA5, 0x01, 0x02});  // start of a COSE key
    }
    return out;
}

class ScriptedDevice final : public FidoDevice {
public:
    Verification mode = Verification::pin;
    std::deque<FidoError> failures;
    std::uint8_t flags = 0x45;  // UP, UV, AT
    bool withSecret = true;
    std::vector<std::optional<std::string>> pins;
    std::vector<FidoCredentialRequest> credentialRequests;
    std::vector<FidoAssertionRequest> assertionRequests;
    int cancels = 0;

    Verification verification() override { return mode; }
    FidoCredential makeCredential(const FidoCredentialRequest& request, const SecureBytes* pin) override {
        step(pin);
        credentialRequests.push_back(request);
        return {bytesOf("cred-1"), authData(request.rpID, flags, bytesOf("cred-1"))};
    }
    std::vector<FidoAssertion> getAssertion(const FidoAssertionRequest& request, const SecureBytes* pin) override {
        step(pin);
        assertionRequests.push_back(request);
        std::vector<FidoAssertion> out(2);
        for (int i = 0; i < 2; ++i) {
            out[i] = {bytesOf("cred-" + std::to_string(i + 1)), authData(request.rpID, flags & 0x05), bytesOf("sig"),
                      bytesOf("user-" + std::to_string(i + 1)), {}};
            if (withSecret) out[i].hmacSecret = SecureBytes(Bytes(request.hmacSalt.rbegin(), request.hmacSalt.rend()));
        }
        return out;
    }
    void cancel() override { ++cancels; }

private:
    void step(const SecureBytes* pin) {
        pins.push_back(pin ? std::optional<std::string>(std::string(pin->view())) : std::nullopt);
        if (!failures.empty()) {
            FidoError error = failures.front();
            failures.pop_front();
            throw error;
        }
    }
};

// Hands out the one scripted key (the test keeps it to inspect), or none when unplugged.
struct ScriptedKeys final : FidoAuthenticators {
    struct Opened final : FidoDevice {
        ScriptedDevice& key;
        explicit Opened(ScriptedDevice& k) : key(k) {}
        Verification verification() override { return key.verification(); }
        FidoCredential makeCredential(const FidoCredentialRequest& r, const SecureBytes* p) override {
            return key.makeCredential(r, p);
        }
        std::vector<FidoAssertion> getAssertion(const FidoAssertionRequest& r, const SecureBytes* p) override {
            return key.getAssertion(r, p);
        }
        void cancel() override { key.cancel(); }
    };
    std::unique_ptr<ScriptedDevice> owned = std::make_unique<ScriptedDevice>();
    ScriptedDevice* device = owned.get();
    bool plugged = true;
    std::unique_ptr<FidoDevice> open() override { return plugged ? std::make_unique<Opened>(*device) : nullptr; }
};

struct ScriptedPin final : PinPrompt {
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> messages;
    std::optional<SecureBytes> askPin(const std::string& message) override {
        messages.push_back(message);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        if (!answer) return std::nullopt;
        return SecureBytes(std::string_view(*answer));
    }
};

// Records show/hide; `pressCancel` makes the user press cancel while the key waits.
struct ScriptedTouch final : TouchPrompt {
    int shown = 0, hidden = 0;
    bool pressCancel = false;
    std::function<void()> whileShown;  // runs as the prompt shows, the key waiting
    void show(std::function<void()> cancel) override {
        ++shown;
        if (pressCancel) cancel();
        if (whileShown) whileShown();
    }
    void hide() override { ++hidden; }
};

class PasskeyCeremonyTest : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedKeys> keys = std::make_shared<ScriptedKeys>();
    std::shared_ptr<ScriptedPin> pin = std::make_shared<ScriptedPin>();
    std::shared_ptr<ScriptedTouch> touch = std::make_shared<ScriptedTouch>();
    LivePasskeyCeremony ceremony{keys, pin, touch};
    ScriptedDevice& device = *keys->device;

    const WebAuthnCodec::CreationOptions creation{bytesOf("challenge-1"), bytesOf("user-1"), "ana", "vael.example"};
    const WebAuthnCodec::RequestOptions request{bytesOf("challenge-2"), "vael.example", bytesOf("salt input")};

    AccountError failure(const std::function<void()>& call) {
        try {
            call();
        } catch (const AccountError& error) {
            return error;
        }
        ADD_FAILURE() << "no AccountError";
        return AccountError::decoding();
    }
};

TEST(PasskeyEncoding, PrfSaltIsTheHashOfTheLabelAZeroAndTheInput) {
    // SHA-256("WebAuthn PRF" 0x00 "abc"), computed independently.
    Bytes message = bytesOf("WebAuthn PRF");
    message.push_back(0);
    message.insert(message.end(), {'a', 'b', 'c'});
    EXPECT_EQ(PasskeyEncoding::prfSalt(bytesOf("abc")), PasskeyEncoding::sha256(message));
    EXPECT_EQ(base64Encode(PasskeyEncoding::sha256(bytesOf("abc")), Base64Variant::Standard),
              "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
    EXPECT_EQ(PasskeyEncoding::prfSalt({}).size(), 32u);
    EXPECT_NE(PasskeyEncoding::prfSalt({}), PasskeyEncoding::prfSalt(Bytes{0}));
}

TEST(PasskeyEncoding, ClientDataCarriesTypeChallengeAndOrigin) {
    const Bytes data = PasskeyEncoding::clientDataJSON("webauthn.get", Bytes{0xFB, 0xFF}, "vael.example");
    EXPECT_EQ(std::string(data.begin(), data.end()),
              R"({"type":"webauthn.get","challenge":"-_8","origin":"https://vael.example","crossOrigin":false})");
}

TEST(PasskeyEncoding, AttestationObjectIsNoneWithTheAaguidZeroed) {
    const Bytes raw = authData("vael.example", 0x45, bytesOf("cred-1"));
    const auto object = PasskeyEncoding::attestationObject(raw);
    ASSERT_TRUE(object.has_value());

    cbor_load_result result{};
    cbor_item_t* item = cbor_load(object->data(), object->size(), &result);
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(cbor_isa_map(item));
    ASSERT_EQ(cbor_map_size(item), 3u);
    const cbor_pair* pairs = cbor_map_handle(item);
    auto text = [](cbor_item_t* i) {
        return std::string(reinterpret_cast<const char*>(cbor_string_handle(i)), cbor_string_length(i));
    };
    EXPECT_EQ(text(pairs[0].key), "fmt");
    EXPECT_EQ(text(pairs[0].value), "none");
    EXPECT_EQ(text(pairs[1].key), "attStmt");
    EXPECT_TRUE(cbor_isa_map(pairs[1].value));
    EXPECT_EQ(cbor_map_size(pairs[1].value), 0u);
    EXPECT_EQ(text(pairs[2].key), "authData");
    ASSERT_TRUE(cbor_isa_bytestring(pairs[2].value));
    const Bytes sent(cbor_bytestring_handle(pairs[2].value),
                     cbor_bytestring_handle(pairs[2].value) + cbor_bytestring_length(pairs[2].value));
    Bytes expected = raw;
    std::fill_n(expected.begin() + 37, 16, 0);
    EXPECT_EQ(sent, expected);
    cbor_decref(&item);

    // The exact bytes: a canonical map of three pairs.
    EXPECT_EQ((*object)[0], 0xA3);
    EXPECT_EQ(Bytes(object->begin() + 1, object->begin() + 9), (Bytes{0x63, 'f', 'm', 't', 0x64, 'n', 'o', 'n'}));

    // Without an attested credential there is nothing to send.
    EXPECT_EQ(PasskeyEncoding::attestationObject(authData("vael.example", 0x05)), std::nullopt);
    Bytes truncated = raw;
    truncated.resize(56);
    EXPECT_EQ(PasskeyEncoding::attestationObject(truncated), std::nullopt);
}

TEST(PasskeyEncoding, UnwrapsOnlyOneWholeByteString) {
    EXPECT_EQ(PasskeyEncoding::unwrapByteString(Bytes{0x43, 1, 2, 3}), (Bytes{1, 2, 3}));
    EXPECT_EQ(PasskeyEncoding::unwrapByteString(Bytes{0x40}), Bytes{});
    EXPECT_EQ(PasskeyEncoding::unwrapByteString(Bytes{0x43, 1, 2}), std::nullopt);        // short
    EXPECT_EQ(PasskeyEncoding::unwrapByteString(Bytes{0x41, 1, 2}), std::nullopt);        // trailing
    EXPECT_EQ(PasskeyEncoding::unwrapByteString(Bytes{0x61, 'a'}), std::nullopt);         // text
    EXPECT_EQ(PasskeyEncoding::unwrapByteString(Bytes{0x5F, 0x41, 1, 0xFF}), std::nullopt);  // indefinite
    EXPECT_EQ(PasskeyEncoding::unwrapByteString({}), std::nullopt);
    // Headers that claim far more than is there allocate nothing for it.
    EXPECT_EQ(PasskeyEncoding::unwrapByteString(Bytes{0xBB, 0x01, 0, 0x60, 0x20, 0, 0, 0x65, 0x73}), std::nullopt);
    EXPECT_EQ(PasskeyEncoding::unwrapByteString(Bytes{0x5B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1}),
              std::nullopt);
}

TEST_F(PasskeyCeremonyTest, RegistrationMakesAResidentCredentialAndItsResponse) {
    pin->answers = {"1234"};
    const auto result = ceremony.registerCredential(creation);

    ASSERT_EQ(device.credentialRequests.size(), 1u);
    const FidoCredentialRequest& sent = device.credentialRequests[0];
    EXPECT_EQ(sent.rpID, "vael.example");
    EXPECT_EQ(sent.userID, bytesOf("user-1"));
    EXPECT_EQ(sent.userName, "ana");
    EXPECT_EQ(sent.clientDataHash, PasskeyEncoding::sha256(result.clientDataJSON));
    EXPECT_EQ(device.pins, (std::vector<std::optional<std::string>>{"1234"}));
    EXPECT_EQ(touch->shown, 1);
    EXPECT_EQ(touch->hidden, 1);

    const json clientData = json::parse(result.clientDataJSON);
    EXPECT_EQ(clientData["type"], "webauthn.create");
    EXPECT_EQ(clientData["challenge"], base64Encode(bytesOf("challenge-1"), Base64Variant::UrlNoPadding));
    EXPECT_EQ(clientData["origin"], "https://vael.example");
    EXPECT_EQ(result.credentialID, bytesOf("cred-1"));
    EXPECT_EQ(result.attestationObject, PasskeyEncoding::attestationObject(authData("vael.example", 0x45, bytesOf("cred-1"))));

    // What the server receives.
    const json response = json::parse(WebAuthnCodec::encodeCreationResponse(result));
    EXPECT_EQ(response["id"], base64Encode(bytesOf("cred-1"), Base64Variant::UrlNoPadding));
    EXPECT_EQ(response["response"]["attestationObject"],
              base64Encode(result.attestationObject, Base64Variant::UrlNoPadding));
}

TEST_F(PasskeyCeremonyTest, AssertionHandsTheKeyThePrfSaltAndReturnsItsOutput) {
    device.mode = FidoDevice::Verification::builtIn;
    const PasskeyAssertion answer = ceremony.assertCredential(request);

    ASSERT_EQ(device.assertionRequests.size(), 1u);
    const Bytes salt = PasskeyEncoding::prfSalt(bytesOf("salt input"));
    EXPECT_EQ(device.assertionRequests[0].hmacSalt, salt);
    EXPECT_EQ(device.assertionRequests[0].rpID, "vael.example");
    EXPECT_EQ(device.assertionRequests[0].clientDataHash, PasskeyEncoding::sha256(answer.result.clientDataJSON));
    EXPECT_TRUE(pin->messages.empty()) << "a key that verifies by itself needs no PIN";
    EXPECT_EQ(device.pins, (std::vector<std::optional<std::string>>{std::nullopt}));

    EXPECT_EQ(answer.prfOutput, SecureBytes(Bytes(salt.rbegin(), salt.rend())));
    EXPECT_EQ(answer.result.credentialID, bytesOf("cred-1")) << "the most recent passkey signs";
    EXPECT_EQ(answer.result.userHandle, bytesOf("user-1"));
    EXPECT_EQ(answer.result.signature, bytesOf("sig"));
    EXPECT_EQ(json::parse(answer.result.clientDataJSON)["type"], "webauthn.get");
}

TEST_F(PasskeyCeremonyTest, PinIsAskedAgainAfterAWrongOneAndWhenTheKeyInsists) {
    pin->answers = {"0000", "1234"};
    device.failures = {FidoError(Kind::pinInvalid, "wrong")};
    ceremony.assertCredential(request);
    EXPECT_EQ(device.pins, (std::vector<std::optional<std::string>>{"0000", "1234"}));
    EXPECT_EQ(pin->messages.back(), "Wrong PIN. Try again.");

    auto keys2 = std::make_shared<ScriptedKeys>();
    keys2->device->mode = FidoDevice::Verification::builtIn;
    keys2->device->failures = {FidoError(Kind::pinRequired, "uv blocked")};
    auto pin2 = std::make_shared<ScriptedPin>();
    pin2->answers = {"9999"};
    LivePasskeyCeremony(keys2, pin2, touch).assertCredential(request);
    EXPECT_EQ(keys2->device->pins, (std::vector<std::optional<std::string>>{std::nullopt, "9999"}));
}

TEST_F(PasskeyCeremonyTest, Failures) {
    struct Case {
        const char* name;
        std::function<void(ScriptedKeys&, ScriptedPin&, ScriptedTouch&)> script;
        AccountError expected;
    };
    const std::vector<Case> cases = {
        {"no key", [](ScriptedKeys& k, ScriptedPin&, ScriptedTouch&) { k.plugged = false; },
         AccountError::noSecurityKey()},
        {"pin cancelled", [](ScriptedKeys&, ScriptedPin& p, ScriptedTouch&) { p.answers = {std::nullopt}; },
         AccountError::ceremonyCancelled()},
        {"touch cancelled",
         [](ScriptedKeys& k, ScriptedPin& p, ScriptedTouch& t) {
             p.answers = {"1"};
             t.pressCancel = true;
             k.device->failures = {FidoError(Kind::failed, "keepalive cancel")};
         },
         AccountError::ceremonyCancelled()},
        {"key cancelled",
         [](ScriptedKeys& k, ScriptedPin& p, ScriptedTouch&) {
             p.answers = {"1"};
             k.device->failures = {FidoError(Kind::cancelled, "denied")};
         },
         AccountError::ceremonyCancelled()},
        {"three wrong pins",
         [](ScriptedKeys& k, ScriptedPin& p, ScriptedTouch&) {
             p.answers = {"1", "2", "3", "4"};
             k.device->failures = {FidoError(Kind::pinInvalid, ""), FidoError(Kind::pinInvalid, ""),
                                   FidoError(Kind::pinInvalid, "")};
         },
         AccountError::ceremonyUnavailable("wrong PIN entered too many times")},
        {"blocked",
         [](ScriptedKeys& k, ScriptedPin& p, ScriptedTouch&) {
             p.answers = {"1"};
             k.device->failures = {FidoError(Kind::pinBlocked, "")};
         },
         AccountError::ceremonyUnavailable("the security key's PIN is blocked")},
        {"no pin set", [](ScriptedKeys& k, ScriptedPin&, ScriptedTouch&) { k.device->mode = FidoDevice::Verification::none; },
         AccountError::ceremonyUnavailable("the security key has no PIN; set one first")},
        {"other",
         [](ScriptedKeys& k, ScriptedPin& p, ScriptedTouch&) {
             p.answers = {"1"};
             k.device->failures = {FidoError(Kind::failed, "sign-in: FIDO_ERR_RX")};
         },
         AccountError::ceremonyUnavailable("sign-in: FIDO_ERR_RX")},
        {"no user verification",
         [](ScriptedKeys& k, ScriptedPin& p, ScriptedTouch&) {
             p.answers = {"1"};
             k.device->flags = 0x41;
         },
         AccountError::ceremonyUnavailable("the security key did not verify the user")},
        {"no prf output",
         [](ScriptedKeys& k, ScriptedPin& p, ScriptedTouch&) {
             p.answers = {"1"};
             k.device->withSecret = false;
         },
         AccountError::ceremonyUnavailable("authenticator returned no PRF output")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto k = std::make_shared<ScriptedKeys>();
        auto p = std::make_shared<ScriptedPin>();
        auto t = std::make_shared<ScriptedTouch>();
        c.script(*k, *p, *t);
        EXPECT_EQ(failure([&] { LivePasskeyCeremony(k, p, t).assertCredential(request); }), c.expected);
        EXPECT_EQ(t->shown, t->hidden) << "the touch prompt never stays up";
    }
}

TEST_F(PasskeyCeremonyTest, RegistrationWithoutAttestedCredentialOrRelyingParty) {
    pin->answers = {"1", "1"};
    device.flags = 0x05;
    EXPECT_EQ(failure([&] { ceremony.registerCredential(creation); }),
              AccountError::ceremonyUnavailable("missing attestation object"));

    auto noRp = creation;
    noRp.rpID.clear();
    EXPECT_EQ(failure([&] { ceremony.registerCredential(noRp); }),
              AccountError::ceremonyUnavailable("the server named no relying party"));
}

// Only meaningful where no security key is plugged in, which is how tests run.
TEST(Fido2Authenticators, NoKeyMeansTheCeremonyIsUnavailable) {
    if (Fido2Authenticators().open() != nullptr) GTEST_SKIP() << "a security key is plugged in";
    LivePasskeyCeremony live(std::make_shared<Fido2Authenticators>(), std::make_shared<ScriptedPin>(),
                             std::make_shared<ScriptedTouch>());
    try {
        live.assertCredential({bytesOf("c"), "vael.example", bytesOf("s")});
        ADD_FAILURE() << "no failure";
    } catch (const AccountError& error) {
        EXPECT_EQ(error, AccountError::noSecurityKey());
    }
}

}  // namespace
// The vault opened another way while the key waits: cancel() ends the request as cancelled, the
// key stops waiting and the prompt closes. A cancel with no ceremony running touches nothing.
TEST_F(PasskeyCeremonyTest, CancelEndsTheRequestWaitingForTheKey) {
    ceremony.cancel();
    pin->answers = {"1", "1"};
    touch->whileShown = [this] {
        ceremony.cancel();
        device.failures = {FidoError(Kind::failed, "keepalive cancel")};
    };
    EXPECT_EQ(failure([&] { ceremony.assertCredential(request); }), AccountError::ceremonyCancelled());
    EXPECT_EQ(device.cancels, 1);
    EXPECT_EQ(touch->shown, 1);
    EXPECT_EQ(touch->hidden, 1);

    // The next ceremony is not cancelled by the last one's cancel.
    touch->whileShown = nullptr;
    EXPECT_NO_THROW(ceremony.assertCredential(request));
}

}  // namespace vael

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FakeVaelServer.h"
#include "ScriptedPasskeyCeremony.h"
#include "api/APIError.h"
#include "api/VaelAPIClient.h"
#include "app/auth/AccountService.h"
#include "app/auth/PRFUnlock.h"
#include "core/Base64.h"
#include "crypto/CryptoError.h"

namespace vael {
namespace {

using json = nlohmann::json;
using vael::testing::ScriptedPasskeyCeremony;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string url(const Bytes& bytes) { return base64Encode(bytes, Base64Variant::UrlNoPadding); }

const Bytes kPrfSalt = bytesOf("the server's prf salt");

// A server that answers the five account calls from fixed options, records the calls in order and
// throws what a test scripts for an operation instead of answering (once).
class ScriptedAuthAPI final : public AuthAPI {
public:
    Bytes creationOptions = bytesOf(json{{"publicKey",
                                          {{"challenge", url(bytesOf("reg-challenge"))},
                                           {"rp", {{"id", "vael.example"}}},
                                           {"user", {{"id", url(bytesOf("user-7"))}, {"name", "ana"}}}}}}
                                        .dump());
    Bytes requestOptions = bytesOf(json{{"publicKey",
                                         {{"challenge", url(bytesOf("login-challenge"))},
                                          {"rpId", "vael.example"},
                                          {"extensions", {{"prf", {{"eval", {{"first", url(kPrfSalt)}}}}}}}}}}
                                       .dump());
    AccountDTO registered{Uuid::random(), "ana-from-finish", "x", "ed"};
    AccountDTO current{Uuid::random(), "ana", "x", "ed"};
    TimePoint expiry = fromReferenceSeconds(800000000);

    std::vector<std::string> calls;
    std::vector<Bytes> sentResponses;
    std::map<std::string, std::function<void()>> failures;

    Bytes beginRegistration(const std::string& handle, const Bytes& x, const Bytes& ed, const Bytes& wrapped) override {
        step("beginRegistration");
        registeredWith = {handle, x, ed, wrapped};
        return creationOptions;
    }
    AccountDTO finishRegistration(const Bytes& response) override {
        step("finishRegistration");
        sentResponses.push_back(response);
        return registered;
    }
    Bytes beginLogin(const std::string& handle) override {
        step("beginLogin");
        loginHandle = handle;
        return requestOptions;
    }
    LoginFinishResponse finishLogin(const Bytes& response) override {
        step("finishLogin");
        sentResponses.push_back(response);
        return {"session-token", expiry, current};
    }
    MeResponse me() override {
        step("me");
        return {current};
    }

    struct Registered {
        std::string handle;
        Bytes x, ed, wrapped;
    } registeredWith;
    std::string loginHandle;

private:
    void step(const std::string& name) {
        calls.push_back(name);
        if (auto it = failures.find(name); it != failures.end()) {
            auto fail = std::move(it->second);
            failures.erase(it);
            fail();
        }
    }
};

class FailingSessionStore final : public SessionStore {
public:
    void save(const std::string&, TimePoint) override { throw SessionStoreError(4, "keyring locked"); }
};

// An unlocked vault made with a cheap passphrase cost, and its account keys.
struct TestVault {
    NewVault made = VaultCrypto::createVault(SecureBytes(std::string_view("correct horse")), false, Argon2Cost{1, 8192});
    std::shared_ptr<VaultCrypto> crypto = std::make_shared<VaultCrypto>(Argon2Cost{1, 8192});
    TestVault() { crypto->unlock(made.wrappedKeys, made.wrappedAccountPrivKeys, UnlockInput::passphrase(SecureBytes(std::string_view("correct horse")))); }
};

template <typename Call>
AccountError accountError(Call&& call) {
    try {
        call();
    } catch (const AccountError& error) {
        return error;
    }
    ADD_FAILURE() << "no AccountError";
    return AccountError::ceremonyUnavailable("<none>");
}

class AccountServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedAuthAPI> api = std::make_shared<ScriptedAuthAPI>();
    std::shared_ptr<ScriptedPasskeyCeremony> passkey = std::make_shared<ScriptedPasskeyCeremony>();
    TestVault vault;
    std::shared_ptr<InMemorySessionStore> sessions = std::make_shared<InMemorySessionStore>();

    AccountService service() { return AccountService(api, passkey, vault.crypto, sessions); }
    AccountService::Registration registerAna() {
        return service().registerAccount("ana", vault.made.accountPublicKeys, vault.made.wrappedAccountPrivKeys);
    }
};

TEST_F(AccountServiceTest, RegistrationRunsBothCeremoniesAndAddsAPasskeyKeyThatUnlocksLater) {
    const auto registration = registerAna();

    EXPECT_EQ(api->calls, (std::vector<std::string>{"beginRegistration", "finishRegistration", "beginLogin",
                                                    "finishLogin", "me"}));
    EXPECT_EQ(api->registeredWith.handle, "ana");
    EXPECT_EQ(api->registeredWith.x, vault.made.accountPublicKeys.x25519);
    EXPECT_EQ(api->registeredWith.ed, vault.made.accountPublicKeys.ed25519);
    EXPECT_EQ(api->registeredWith.wrapped, vault.made.wrappedAccountPrivKeys);
    EXPECT_EQ(api->loginHandle, "ana");
    EXPECT_EQ(registration.account, api->current) << "the current account, not the registration's answer";

    ASSERT_EQ(passkey->registrations.size(), 1u);
    EXPECT_EQ(passkey->registrations[0].userID, bytesOf("user-7"));
    EXPECT_EQ(passkey->registrations[0].rpID, "vael.example");
    ASSERT_EQ(passkey->assertions.size(), 1u);
    EXPECT_EQ(passkey->assertions[0].prfSaltInput, kPrfSalt);
    ASSERT_EQ(api->sentResponses.size(), 2u);
    const WebAuthnCodec::CreationOptions asked = passkey->registrations[0];
    EXPECT_EQ(api->sentResponses[0], WebAuthnCodec::encodeCreationResponse(passkey->registerCredential(asked)));
    EXPECT_EQ(sessions->entry(), (SessionEntry{"session-token", api->expiry}));

    const WrappedKey& key = registration.prfWrappedKey;
    EXPECT_EQ(key.method, UnlockMethod::prf);
    ASSERT_TRUE(key.kdfParams.has_value());
    EXPECT_EQ(key.kdfParams->selector, KdfSelector::hkdfSha256);
    EXPECT_EQ(key.kdfParams->salt.size(), 16u);
    EXPECT_EQ(key.kdfParams->info, "vael/prf-kek/v1");
    EXPECT_EQ(key.kdfParams->opsLimit, 0u);
    EXPECT_EQ(key.kdfParams->memLimit, 0u);

    // A later login with the same passkey and salt opens the vault through the new key.
    std::vector<WrappedKey> keys = vault.made.wrappedKeys;
    keys.push_back(key);
    vault.crypto->lock();
    api->calls.clear();
    service().loginAndUnlock("ana", keys, vault.made.wrappedAccountPrivKeys);
    EXPECT_TRUE(vault.crypto->isUnlocked());
    EXPECT_EQ(api->calls, (std::vector<std::string>{"beginLogin", "finishLogin"}));
}

TEST_F(AccountServiceTest, EachRegistrationDrawsAFreshSalt) {
    const auto first = registerAna();
    const auto second = registerAna();
    EXPECT_NE(first.prfWrappedKey.kdfParams->salt, second.prfWrappedKey.kdfParams->salt);
}

TEST(PRFUnlock, AlwaysHkdfWithThePasskeyLabelAndNoOtherParameter) {
    const UnlockInput input = PRFUnlock::makeUnlockInput(SecureBytes(std::string_view("out")), Bytes(16, 9));
    EXPECT_EQ(input.kind(), UnlockInput::Kind::prf);
    EXPECT_EQ(input.secret(), SecureBytes(std::string_view("out")));
    EXPECT_EQ(input.kdfParams(), (KdfParams{KdfSelector::hkdfSha256, Bytes(16, 9), 0, 0, "vael/prf-kek/v1"}));
}

// Every server failure, at every server step of both flows, reaches the caller as its account error.
TEST_F(AccountServiceTest, ServerFailuresMapToAccountErrors) {
    struct Case {
        const char* name;
        std::function<void()> fail;
        AccountError registering;  // at the registration calls
        AccountError loggingIn;    // at the login calls, in either flow
    };
    const std::vector<Case> cases = {
        {"conflict", [] { throw APIError::conflict(3); }, AccountError::handleTaken(), AccountError::serverRejected()},
        {"taken", [] { throw APIError::taken("handle taken"); }, AccountError::handleTaken(), AccountError::serverRejected()},
        {"unreachable", [] { throw APIError::network(-7, "could not connect"); }, AccountError::offline(), AccountError::offline()},
        {"network, positive code", [] { throw APIError::network(2, "odd"); }, AccountError::offline(), AccountError::offline()},
        {"not found", [] { throw APIError::notFound(); }, AccountError::serverRejected(), AccountError::serverRejected()},
        {"rejected", [] { throw APIError::rejected(500, "boom"); }, AccountError::serverRejected(), AccountError::serverRejected()},
        {"bad response", [] { throw APIError::badResponse("garbled"); }, AccountError::serverRejected(), AccountError::serverRejected()},
        {"other", [] { throw std::runtime_error("?"); }, AccountError::serverRejected(), AccountError::serverRejected()},
    };
    for (const auto& c : cases) {
        for (const std::string op : {"beginRegistration", "finishRegistration", "beginLogin", "finishLogin"}) {
            SCOPED_TRACE(std::string(c.name) + " at " + op + " while registering");
            api->failures[op] = c.fail;
            const bool registrationCall = op.find("Registration") != std::string::npos;
            EXPECT_EQ(accountError([&] { registerAna(); }), registrationCall ? c.registering : c.loggingIn);
        }
        for (const std::string op : {"beginLogin", "finishLogin"}) {
            SCOPED_TRACE(std::string(c.name) + " at " + op + " while unlocking");
            api->failures[op] = c.fail;
            EXPECT_EQ(accountError([&] { service().loginAndUnlock("ana", {}, {}); }), c.loggingIn);
        }
    }
}

TEST_F(AccountServiceTest, UnreadableOptionsAreDecodingFailures) {
    api->creationOptions = bytesOf(R"({"publicKey":{"challenge":"AAAA"}})");  // no user id
    EXPECT_EQ(accountError([&] { registerAna(); }), AccountError::decoding());
    EXPECT_TRUE(passkey->registrations.empty());

    api->requestOptions = bytesOf("[]");
    EXPECT_EQ(accountError([&] { service().loginAndUnlock("ana", {}, {}); }), AccountError::decoding());
    EXPECT_TRUE(passkey->assertions.empty());
}

TEST_F(AccountServiceTest, CeremonyFailures) {
    passkey->failNextRegistration([] { throw AccountError::ceremonyCancelled(); });
    EXPECT_EQ(accountError([&] { registerAna(); }), AccountError::ceremonyCancelled());
    EXPECT_EQ(api->calls, (std::vector<std::string>{"beginRegistration"}));

    passkey->failNextRegistration([] { throw std::runtime_error("device unplugged"); });
    EXPECT_EQ(accountError([&] { registerAna(); }), AccountError::ceremonyUnavailable("device unplugged"));

    passkey->failNextAssertion([] { throw AccountError::ceremonyUnavailable("authenticator returned no PRF output"); });
    EXPECT_EQ(accountError([&] { service().loginAndUnlock("ana", {}, {}); }),
              AccountError::ceremonyUnavailable("authenticator returned no PRF output"));

    // Cancelling the second prompt of a registration: the account exists, no session, no key.
    api->calls.clear();
    passkey->failNextAssertion([] { throw AccountError::ceremonyCancelled(); });
    EXPECT_EQ(accountError([&] { registerAna(); }), AccountError::ceremonyCancelled());
    EXPECT_EQ(api->calls, (std::vector<std::string>{"beginRegistration", "finishRegistration", "beginLogin"}));
    EXPECT_EQ(sessions->entry(), std::nullopt);
}

TEST_F(AccountServiceTest, FailuresOfTheStoreTheVaultAndTheLastCallPassUnchanged) {
    {
        AccountService failingStore(api, passkey, vault.crypto, std::make_shared<FailingSessionStore>());
        EXPECT_THROW(failingStore.loginAndUnlock("ana", {}, {}), SessionStoreError);
    }
    {
        api->failures["me"] = [] { throw APIError::network(-7, "gone"); };
        try {
            registerAna();
            ADD_FAILURE() << "no failure";
        } catch (const APIError& error) {
            EXPECT_EQ(error.kind(), APIError::Kind::Network);
        }
    }
    {
        vault.crypto->lock();
        api->calls.clear();
        try {
            registerAna();
            ADD_FAILURE() << "no failure";
        } catch (const VaelCryptoError& error) {
            EXPECT_EQ(error.code(), VaelCryptoError::Code::Locked);
        }
        EXPECT_EQ(api->calls.back(), "finishLogin") << "the current-account call comes after the key";
        EXPECT_TRUE(sessions->entry().has_value());
    }
}

TEST_F(AccountServiceTest, UnlockNeedsAPasskeyKeyThatTheOutputOpens) {
    const WrappedKey passkeyKey = registerAna().prfWrappedKey;
    vault.crypto->lock();
    sessions = std::make_shared<InMemorySessionStore>();

    // No passkey key at all (or one without parameters): told after the login and its session.
    WrappedKey bare = passkeyKey;
    bare.kdfParams.reset();
    EXPECT_EQ(accountError([&] { service().loginAndUnlock("ana", {vault.made.wrappedKeys[0], bare}, vault.made.wrappedAccountPrivKeys); }),
              AccountError::ceremonyUnavailable("no .prf wrapped key on this vault"));
    EXPECT_TRUE(sessions->entry().has_value());

    // Another passkey's output, or a salt the server changed since: the crypto error is not shown.
    passkey = std::make_shared<ScriptedPasskeyCeremony>("passkey-two");
    EXPECT_EQ(accountError([&] { service().loginAndUnlock("ana", {passkeyKey}, vault.made.wrappedAccountPrivKeys); }),
              AccountError::ceremonyUnavailable("prf unlock failed"));
    EXPECT_FALSE(vault.crypto->isUnlocked());
}

TEST_F(AccountServiceTest, AnyOfSeveralPasskeyKeysOpensWithItsOwnSalt) {
    const WrappedKey first = registerAna().prfWrappedKey;
    auto secondPasskey = std::make_shared<ScriptedPasskeyCeremony>("passkey-two");
    const WrappedKey second =
        AccountService(api, secondPasskey, vault.crypto, sessions)
            .registerAccount("ana", vault.made.accountPublicKeys, vault.made.wrappedAccountPrivKeys)
            .prfWrappedKey;
    vault.crypto->lock();

    // The second passkey's key comes after the first: it still opens the vault.
    AccountService(api, secondPasskey, vault.crypto, sessions)
        .loginAndUnlock("ana", {first, second}, vault.made.wrappedAccountPrivKeys);
    EXPECT_TRUE(vault.crypto->isUnlocked());
    vault.crypto->lock();
    service().loginAndUnlock("ana", {first, second}, vault.made.wrappedAccountPrivKeys);
    EXPECT_TRUE(vault.crypto->isUnlocked());
}

// The same flows over HTTP against the in-process server.
class AccountServiceOverHTTP : public ::testing::Test {
protected:
    fake::FakeVaelServer server;
    std::shared_ptr<VaelAPIClient> client = std::make_shared<VaelAPIClient>(server.baseURL());
    std::shared_ptr<ScriptedPasskeyCeremony> passkey = std::make_shared<ScriptedPasskeyCeremony>();
    TestVault vault;
    std::shared_ptr<InMemorySessionStore> sessions = std::make_shared<InMemorySessionStore>();

    void TearDown() override { client.reset(); }
    AccountService service() { return AccountService(client, passkey, vault.crypto, sessions); }
    AccountService::Registration registerAs(const std::string& handle) {
        return service().registerAccount(handle, vault.made.accountPublicKeys, vault.made.wrappedAccountPrivKeys);
    }
};

TEST_F(AccountServiceOverHTTP, RegisterThenUnlockWithTheServersSalt) {
    const auto registration = registerAs("ana");
    const auto stored = server.account("ana");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(registration.account.id, stored->id);
    EXPECT_EQ(registration.account.handle, "ana");
    EXPECT_EQ(base64Decode(stored->wrappedAccountPrivKeys, Base64Variant::UrlNoPadding), vault.made.wrappedAccountPrivKeys);
    ASSERT_EQ(stored->credentials.size(), 1u);
    ASSERT_EQ(stored->assertions.size(), 1u);
    ASSERT_EQ(passkey->assertions.size(), 1u);
    EXPECT_EQ(url(passkey->assertions[0].prfSaltInput), stored->prfSalt);
    const auto session = sessions->entry();
    ASSERT_TRUE(session.has_value());
    EXPECT_FALSE(session->token.empty());

    std::vector<std::string> operations;
    for (const auto& call : server.calls()) operations.push_back(call.operation);
    EXPECT_EQ(operations, (std::vector<std::string>{"beginRegistration", "finishRegistration", "beginLogin",
                                                    "finishLogin", "me"}));
    for (const auto& call : server.calls()) EXPECT_EQ(call.body.find("prf\":{\"results"), std::string::npos);

    std::vector<WrappedKey> keys = vault.made.wrappedKeys;
    keys.push_back(registration.prfWrappedKey);
    vault.crypto->lock();
    service().loginAndUnlock("ana", keys, vault.made.wrappedAccountPrivKeys);
    EXPECT_TRUE(vault.crypto->isUnlocked());
    EXPECT_EQ(server.account("ana")->assertions.size(), 2u);
}

TEST_F(AccountServiceOverHTTP, ServerAnswersMapToAccountErrors) {
    registerAs("ana");
    EXPECT_EQ(accountError([&] { registerAs("ana"); }), AccountError::handleTaken());
    EXPECT_EQ(accountError([&] { service().loginAndUnlock("nobody", {}, {}); }), AccountError::serverRejected());

    server.answerNext("beginLogin", 409, R"({"error":"busy"})");
    EXPECT_EQ(accountError([&] { service().loginAndUnlock("ana", {}, {}); }), AccountError::serverRejected());
    server.answerNext("finishLogin", 500, R"({"error":"down"})");
    EXPECT_EQ(accountError([&] { service().loginAndUnlock("ana", {}, {}); }), AccountError::serverRejected());
    server.answerNext("beginRegistration", 200, R"({"publicKey":"nope"})");
    EXPECT_EQ(accountError([&] { registerAs("ben"); }), AccountError::decoding());
    server.answerNext("finishRegistration", 409, R"({"error":"handle taken"})");
    EXPECT_EQ(accountError([&] { registerAs("ben"); }), AccountError::handleTaken());
}

TEST(AccountServiceOffline, AnUnreachableServerIsOffline) {
    int port = 0;
    {
        fake::FakeVaelServer gone;
        port = gone.port();
    }
    TestVault vault;
    auto client = std::make_shared<VaelAPIClient>("http://127.0.0.1:" + std::to_string(port));
    AccountService service(client, std::make_shared<ScriptedPasskeyCeremony>(), vault.crypto,
                           std::make_shared<InMemorySessionStore>());
    EXPECT_EQ(accountError([&] { service.registerAccount("ana", vault.made.accountPublicKeys, {}); }),
              AccountError::offline());
    EXPECT_EQ(accountError([&] { service.loginAndUnlock("ana", {}, {}); }), AccountError::offline());
}

}  // namespace
}  // namespace vael

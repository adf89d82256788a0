#include <nlohmann/json.hpp>

#include "ClientFixture.h"

namespace vael {
namespace {

using json = nlohmann::json;
using Kind = APIError::Kind;

json parsed(const Bytes& body) { return json::parse(body.begin(), body.end()); }

// What a passkey ceremony sends back: the challenge travels inside the client data.
Bytes ceremonyResponse(const json& options, std::string_view kind) {
    const json clientData{{"type", kind}, {"challenge", options["publicKey"]["challenge"]}};
    const json response{{"id", "Y3JlZA"},
                        {"rawId", "Y3JlZA"},
                        {"type", "public-key"},
                        {"response", {{"clientDataJSON", Base64URL::encode(bytesOf(clientData.dump()))}}},
                        {"clientExtensionResults", json::object()}};
    return bytesOf(response.dump());
}

class ClientAuthTest : public ClientFixture {
protected:
    AccountDTO registerAccount(const std::string& handle) {
        const json creation = parsed(client->beginRegistration(handle, bytes("x-pub"), bytes("ed-pub"), bytes("wrapped")));
        return client->finishRegistration(ceremonyResponse(creation, "webauthn.create"));
    }
};

TEST_F(ClientAuthTest, RegistrationLoginAndCurrentAccount) {
    const json creation = parsed(client->beginRegistration("ana", bytes("x-pub"), bytes("ed-pub"), bytes("wrapped")));
    EXPECT_EQ(creation["publicKey"]["user"]["name"], "ana");
    EXPECT_TRUE(creation["publicKey"]["challenge"].is_string());

    const AccountDTO account = client->finishRegistration(ceremonyResponse(creation, "webauthn.create"));
    EXPECT_EQ(account.handle, "ana");
    EXPECT_EQ(Base64URL::decode(account.x25519PublicKey), bytes("x-pub"));
    EXPECT_EQ(Base64URL::decode(account.ed25519PublicKey), bytes("ed-pub"));
    const auto stored = server.account("ana");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(Base64URL::decode(stored->wrappedAccountPrivKeys), bytes("wrapped"));
    ASSERT_EQ(stored->credentials.size(), 1u);
    EXPECT_EQ(bytesOf(stored->credentials[0]), ceremonyResponse(creation, "webauthn.create"));

    EXPECT_FALSE(client->hasSessionToken());
    const json request = parsed(client->beginLogin("ana"));
    EXPECT_EQ(request["publicKey"]["extensions"]["prf"]["eval"]["first"], stored->prfSalt);
    const LoginFinishResponse login = client->finishLogin(ceremonyResponse(request, "webauthn.get"));
    EXPECT_FALSE(login.token.empty());
    EXPECT_GT(login.expiresAt, server.now());
    EXPECT_EQ(login.account, account);
    EXPECT_TRUE(client->hasSessionToken());

    EXPECT_EQ(client->me().account, account);
    EXPECT_EQ(server.calls().back().bearer, login.token) << "the session token goes out as a bearer token";
    for (const auto& call : server.calls()) {
        if (call.operation != "me") {
            EXPECT_TRUE(call.bearer.empty()) << call.operation;
        }
    }
}

TEST_F(ClientAuthTest, EveryLoginOfAnAccountGetsTheSamePrfSalt) {
    registerAccount("ana");
    const auto first = parsed(client->beginLogin("ana"))["publicKey"];
    const auto second = parsed(client->beginLogin("ana"))["publicKey"];
    EXPECT_NE(first["challenge"], second["challenge"]);
    EXPECT_EQ(first["extensions"]["prf"]["eval"]["first"], second["extensions"]["prf"]["eval"]["first"]);
}

TEST_F(ClientAuthTest, ATakenHandleIsTheTextCarryingCase) {
    registerAccount("ana");
    const APIError taken = apiErrorOf([&] { client->beginRegistration("ana", {}, {}, {}); });
    EXPECT_EQ(taken.kind(), Kind::Taken);
    EXPECT_EQ(taken.text(), "handle taken");
    EXPECT_EQ(apiErrorOf([&] { client->beginLogin("nobody"); }).kind(), Kind::NotFound);
}

TEST_F(ClientAuthTest, SessionRulesAndTokenHandling) {
    const APIError anonymous = apiErrorOf([&] { client->me(); });
    EXPECT_EQ(anonymous.kind(), Kind::Rejected);
    EXPECT_EQ(anonymous.code(), 401);

    const AccountDTO account = registerAccount("ben");
    const std::string token = server.issueSessionToken(account.id);
    client->setSessionToken(token);
    EXPECT_EQ(client->me().account.handle, "ben");

    server.setRequireSession(true);
    EXPECT_NO_THROW(client->sync(std::nullopt));
    client->clearSessionToken();
    const APIError refused = apiErrorOf([&] { client->sync(std::nullopt); });
    EXPECT_EQ(refused.code(), 401);
    EXPECT_EQ(std::string(refused.what()).find(token), std::string::npos);
}

TEST_F(ClientAuthTest, CeremonyOptionsComeBackAsTheServerSentThem) {
    // The account flow reads the options itself; the client hands over the bytes unchanged.
    server.answerNext("beginLogin", 200, "not even JSON");
    EXPECT_EQ(client->beginLogin("ana"), bytes("not even JSON"));
}

}  // namespace
}  // namespace vael

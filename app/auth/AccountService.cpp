#include "app/auth/AccountService.h"

#include <sodium.h>

#include <stdexcept>

#include "api/APIError.h"
#include "app/auth/PRFUnlock.h"
#include "app/auth/WebAuthnCodec.h"

namespace vael {

namespace {

// Runs one server call; any failure becomes the user's account error.
template <typename Call>
auto server(bool registering, Call&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const std::exception& error) {
        throw AccountService::mapServer(error, registering);
    }
}

// Runs one ceremony; its own account errors pass, any other failure becomes "unavailable".
template <typename Call>
auto ceremony(Call&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const AccountError&) {
        throw;
    } catch (const std::exception& error) {
        throw AccountError::ceremonyUnavailable(error.what());
    }
}

}  // namespace

AccountService::AccountService(std::shared_ptr<AuthAPI> api, std::shared_ptr<PasskeyCeremony> ceremony,
                               std::shared_ptr<VaultCrypto> vault, std::shared_ptr<SessionStore> sessions)
    : api_(std::move(api)), ceremony_(std::move(ceremony)), vault_(std::move(vault)), sessions_(std::move(sessions)) {
    if (!api_ || !ceremony_ || !vault_ || !sessions_)
        throw std::invalid_argument("AccountService needs all four collaborators");
}

AccountError AccountService::mapServer(const std::exception& error, bool registering) {
    const auto* api = dynamic_cast<const APIError*>(&error);
    if (api == nullptr) return AccountError::serverRejected();
    switch (api->kind()) {
        case APIError::Kind::Conflict:
        case APIError::Kind::Taken:
            return registering ? AccountError::handleTaken() : AccountError::serverRejected();
        case APIError::Kind::Network:
            return AccountError::offline();
        default:
            return AccountError::serverRejected();
    }
}

SecureBytes AccountService::performLogin(const std::string& handle) {
    const Bytes optionsJSON = server(false, [&] { return api_->beginLogin(handle); });
    WebAuthnCodec::RequestOptions options;
    try {
        options = WebAuthnCodec::parseRequest(optionsJSON);
    } catch (const WebAuthnCodec::CodecError&) {
        throw AccountError::decoding();
    }
    PasskeyAssertion assertion = ceremony([&] { return ceremony_->assertCredential(options); });
    const Bytes response = WebAuthnCodec::encodeAssertionResponse(assertion.result);
    const LoginFinishResponse login = server(false, [&] { return api_->finishLogin(response); });
    sessions_->save(login.token, login.expiresAt);
    return std::move(assertion.prfOutput);
}

AccountService::Registration AccountService::registerAccount(const std::string& handle,
                                                             const AccountPublicKeys& accountPublicKeys,
                                                             const Bytes& wrappedAccountPrivKeys) {
    const Bytes optionsJSON = server(true, [&] {
        return api_->beginRegistration(handle, accountPublicKeys.x25519, accountPublicKeys.ed25519,
                                       wrappedAccountPrivKeys);
    });
    WebAuthnCodec::CreationOptions options;
    try {
        options = WebAuthnCodec::parseCreation(optionsJSON);
    } catch (const WebAuthnCodec::CodecError&) {
        throw AccountError::decoding();
    }
    const WebAuthnCodec::CreationResult created = ceremony([&] { return ceremony_->registerCredential(options); });
    const Bytes response = WebAuthnCodec::encodeCreationResponse(created);
    server(true, [&] { return api_->finishRegistration(response); });

    SecureBytes prfOutput = performLogin(handle);

    Bytes salt(PRFUnlock::kSaltBytes);
    randombytes_buf(salt.data(), salt.size());
    const WrappedKey prfWrappedKey = vault_->addUnlockMethod(PRFUnlock::makeUnlockInput(std::move(prfOutput), salt));

    MeResponse me = api_->me();
    return Registration{std::move(me.account), prfWrappedKey};
}

void AccountService::loginAndUnlock(const std::string& handle, const std::vector<WrappedKey>& wrappedKeys,
                                    const Bytes& wrappedAccountPrivKeys) {
    unlockWithPRFOutput(performLogin(handle), wrappedKeys, wrappedAccountPrivKeys);
}

void AccountService::unlockWithPRFOutput(const SecureBytes& prfOutput, const std::vector<WrappedKey>& wrappedKeys,
                                         const Bytes& wrappedAccountPrivKeys) {
    // Each passkey key keeps the salt chosen when it was added, and the output of one passkey only
    // opens its own key: try every passkey key's parameters in turn, not just the first's.
    bool anyPasskeyKey = false;
    for (const WrappedKey& key : wrappedKeys) {
        if (key.method != UnlockMethod::prf || !key.kdfParams) continue;
        anyPasskeyKey = true;
        try {
            vault_->unlock(wrappedKeys, wrappedAccountPrivKeys, UnlockInput::prf(prfOutput, *key.kdfParams));
            return;
        } catch (const std::exception&) {
            // the next passkey key may be this passkey's
        }
    }
    if (!anyPasskeyKey) throw AccountError::ceremonyUnavailable("no .prf wrapped key on this vault");
    throw AccountError::ceremonyUnavailable("prf unlock failed");
}

}  // namespace vael

#include "app/model/sharing/AcceptInviteViewModel.h"

#include "api/APIError.h"
#include "app/model/Blocking.h"
#include "app/model/Observed.h"

namespace vael {

AcceptInviteViewModel::AcceptInviteViewModel(std::shared_ptr<InviteAPI> api, std::shared_ptr<VaultCrypto> vault,
                                             std::string token, std::string ownFingerprint)
    : api_(std::move(api)), vault_(std::move(vault)), token_(std::move(token)), ownFingerprint_(std::move(ownFingerprint)) {}

void AcceptInviteViewModel::setState(State state) {
    if (assignChanged(state_, state)) emit stateChanged();
}

void AcceptInviteViewModel::setErrorMessage(std::optional<std::string> message) {
    if (assignChanged(errorMessage_, std::move(message))) emit errorMessageChanged();
}

QCoro::Task<> AcceptInviteViewModel::accept() {
    auto keep = weak_from_this().lock();
    setState(State::claiming);
    setErrorMessage(std::nullopt);
    try {
        auto claiming = runBlocking([api = api_, token = token_] { return api->claimInvite(token); });
        auto claim = co_await claiming;
        if (assignChanged(orgID_, std::optional(claim.orgId))) emit orgIDChanged();
        if (assignChanged(role_, std::move(claim.role))) emit roleChanged();
        setState(State::waitingForAccess);
    } catch (const APIError& error) {
        // An invite is only "maybe expired" when the server answered.
        setState(State::error);
        setErrorMessage(std::string(error.kind() == APIError::Kind::Network ? kClaimUnreachable : kClaimFailed));
    } catch (...) {
        setState(State::error);
        setErrorMessage(std::string(kClaimFailed));
    }
}

QCoro::Task<> AcceptInviteViewModel::receiveSealedKey(Bytes sealed) {
    auto keep = weak_from_this().lock();
    try {
        auto opening = runBlocking([vault = vault_, sealed = std::move(sealed)] { return vault->openSealedCollectionKey(sealed); });
        auto key = co_await opening;
        openedCollectionKey_ = std::move(key);
        emit openedCollectionKeyChanged();
        setState(State::accessGranted);
    } catch (...) {
        setErrorMessage(std::string(kOpenFailed));
    }
}

}  // namespace vael

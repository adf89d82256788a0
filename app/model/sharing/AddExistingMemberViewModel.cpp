#include "app/model/sharing/AddExistingMemberViewModel.h"

#include "api/Base64URL.h"
#include "app/model/Blocking.h"
#include "app/model/Observed.h"
#include "app/model/sharing/SharingViewModel.h"
#include "app/model/sharing/VerifyGrantViewModel.h"

namespace vael {

AddExistingMemberViewModel::AddExistingMemberViewModel(std::shared_ptr<InviteAPI> api,
                                                       std::shared_ptr<VaultCrypto> vault,
                                                       std::shared_ptr<TrustedKeyStore> trustStore, Uuid orgID,
                                                       SharingKeys collectionKeys)
    : api_(std::move(api)),
      vault_(std::move(vault)),
      trustStore_(std::move(trustStore)),
      orgID_(orgID),
      collectionKeys_(std::move(collectionKeys)) {}

void AddExistingMemberViewModel::setState(State state) {
    if (assignChanged(state_, state)) emit stateChanged();
}

void AddExistingMemberViewModel::setErrorMessage(std::optional<std::string> message) {
    if (assignChanged(errorMessage_, std::move(message))) emit errorMessageChanged();
}

void AddExistingMemberViewModel::setAutoVerified(bool verified) {
    if (assignChanged(autoVerified_, verified)) emit autoVerifiedChanged();
}

void AddExistingMemberViewModel::setTypedFingerprint(std::string text) {
    if (assignChanged(typedFingerprint_, std::move(text))) emit typedFingerprintChanged();
}

void AddExistingMemberViewModel::setRole(std::string role) {
    if (assignChanged(role_, std::move(role))) emit roleChanged();
}

void AddExistingMemberViewModel::setCollectionSelected(const Uuid& id, bool selected) {
    const bool changed = selected ? selectedCollectionIDs_.insert(id).second : selectedCollectionIDs_.erase(id) > 0;
    if (changed) emit selectedCollectionIDsChanged();
}

bool AddExistingMemberViewModel::fingerprintMatches() const {
    if (derivedFingerprint_.empty()) return false;
    return VerifyGrantViewModel::normalize(typedFingerprint_) == VerifyGrantViewModel::normalize(derivedFingerprint_);
}

bool AddExistingMemberViewModel::canGrant() const {
    return (autoVerified_ || fingerprintMatches()) && !selectedCollectionIDs_.empty();
}

QCoro::Task<> AddExistingMemberViewModel::lookup(std::string handle) {
    auto keep = weak_from_this().lock();
    setState(State::idle);
    setErrorMessage(std::nullopt);
    setAutoVerified(false);
    AccountDTO found;
    try {
        auto asking = runBlocking([api = api_, org = orgID_, handle] { return api->lookupAccount(org, handle); });
        found = co_await asking;
    } catch (...) {
        setState(State::error);
        setErrorMessage(std::string(kNotFound));
        co_return;
    }
    auto x25519 = Base64URL::decode(found.x25519PublicKey);
    auto ed25519 = Base64URL::decode(found.ed25519PublicKey);
    if (!x25519 || !ed25519) {
        setState(State::error);
        setErrorMessage(std::string(kNoKeys));
        co_return;
    }
    if (assignChanged(account_, std::optional(found))) emit accountChanged();
    rawX25519_ = std::move(*x25519);
    rawEd25519_ = std::move(*ed25519);
    if (assignChanged(derivedFingerprint_, VaultCrypto::fingerprint(rawX25519_, rawEd25519_))) emit derivedFingerprintChanged();
    if (auto pin = trustStore_->pinnedFingerprint(found.id)) {
        setAutoVerified(*pin == derivedFingerprint_);
        if (!autoVerified_) setErrorMessage(std::string(kPinDiffers));
    }
    setState(State::found);
}

QCoro::Task<> AddExistingMemberViewModel::grant() {
    if (state_ != State::found || !account_) co_return;
    if (!(autoVerified_ || fingerprintMatches()) || selectedCollectionIDs_.empty()) co_return;
    const auto account = *account_;
    const auto fingerprint = derivedFingerprint_;
    if (!trustStore_->trustOnFirstUse(fingerprint, account.id)) {
        setErrorMessage(std::string(kKeyChanged));
        co_return;
    }
    auto keep = weak_from_this().lock();
    setState(State::granting);
    setErrorMessage(std::nullopt);

    SharingViewModel guard(account.handle, fingerprint);
    guard.setFingerprintConfirmed(true);
    const auto order = sortedByText(std::vector<Uuid>(selectedCollectionIDs_.begin(), selectedCollectionIDs_.end()));
    try {
        std::vector<CollectionGrant> grants;
        for (const auto& id : order) {
            auto key = collectionKeys_.find(id);
            if (key == collectionKeys_.end()) continue;
            // The keys are read again for every seal: a lookup finishing meanwhile fails the guard.
            auto sealed = co_await guard.sealKey(key->second, rawX25519_, rawEd25519_, vault_);
            grants.push_back(CollectionGrant{id, Base64URL::encode(sealed)});
        }
        auto sending = runBlocking([api = api_, org = orgID_, accountId = account.id, role = role_,
                                    grants = std::move(grants)] { api->addExistingMember(org, accountId, role, grants); });
        co_await sending;
    } catch (...) {
        setState(State::found);
        setErrorMessage(std::string(kAddFailed));
        co_return;
    }
    setState(State::granted);
}

}  // namespace vael

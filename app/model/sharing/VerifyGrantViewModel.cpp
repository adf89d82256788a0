#include "app/model/sharing/VerifyGrantViewModel.h"

#include <QString>

#include "api/Base64URL.h"
#include "app/model/Blocking.h"
#include "app/model/Observed.h"
#include "app/model/sharing/SharingViewModel.h"

namespace vael {

std::string VerifyGrantViewModel::normalize(const std::string& text) {
    const auto lower = QString::fromStdString(text).toLower();
    QString kept;
    kept.reserve(lower.size());
    for (auto i = 0; i < lower.size(); ++i) {
        // Surrogate pairs are never white space; keep both halves.
        if (!lower.at(i).isSpace()) kept.append(lower.at(i));
    }
    return kept.toStdString();
}

VerifyGrantViewModel::VerifyGrantViewModel(std::shared_ptr<InviteAPI> api, std::shared_ptr<VaultCrypto> vault,
                                           std::shared_ptr<TrustedKeyStore> trustStore, Uuid orgID,
                                           std::string inviteID, SharingKeys collectionKeys, std::uint32_t keyEpoch)
    : api_(std::move(api)),
      vault_(std::move(vault)),
      trustStore_(std::move(trustStore)),
      orgID_(orgID),
      inviteID_(std::move(inviteID)),
      collectionKeys_(std::move(collectionKeys)),
      keyEpoch_(keyEpoch) {}

void VerifyGrantViewModel::setState(State state) {
    if (assignChanged(state_, state)) emit stateChanged();
}

void VerifyGrantViewModel::setErrorMessage(std::optional<std::string> message) {
    if (assignChanged(errorMessage_, std::move(message))) emit errorMessageChanged();
}

void VerifyGrantViewModel::setTypedFingerprint(std::string text) {
    if (assignChanged(typedFingerprint_, std::move(text))) emit typedFingerprintChanged();
}

void VerifyGrantViewModel::setCollectionSelected(const Uuid& id, bool selected) {
    const bool changed = selected ? selectedCollectionIDs_.insert(id).second : selectedCollectionIDs_.erase(id) > 0;
    if (changed) emit selectedCollectionIDsChanged();
}

bool VerifyGrantViewModel::fingerprintMatches() const {
    if (derivedFingerprint_.empty()) return false;
    return normalize(typedFingerprint_) == normalize(derivedFingerprint_);
}

QCoro::Task<> VerifyGrantViewModel::load() {
    auto keep = weak_from_this().lock();
    setState(State::loading);
    setErrorMessage(std::nullopt);
    InviteDTO invite;
    try {
        auto fetched = runBlocking([api = api_, org = orgID_, id = inviteID_] { return api->getInvite(org, id); });
        invite = co_await fetched;
    } catch (...) {
        setState(State::error);
        setErrorMessage(std::string(kLoadFailed));
        co_return;
    }
    if (invite.status != "claimed") {
        setState(State::error);
        setErrorMessage(std::string(kNotClaimed));
        co_return;
    }
    std::optional<Bytes> x25519, ed25519;
    if (invite.inviteeX25519PublicKey) x25519 = Base64URL::decode(*invite.inviteeX25519PublicKey);
    if (invite.inviteeEd25519PublicKey) ed25519 = Base64URL::decode(*invite.inviteeEd25519PublicKey);
    if (!x25519 || !ed25519) {
        setState(State::error);
        setErrorMessage(std::string(kNoKeys));
        co_return;
    }
    rawX25519_ = std::move(*x25519);
    rawEd25519_ = std::move(*ed25519);
    claimedAccountID_ = invite.claimedAccountId;
    role_ = invite.role;
    if (assignChanged(derivedFingerprint_, VaultCrypto::fingerprint(rawX25519_, rawEd25519_)))
        emit derivedFingerprintChanged();

    std::vector<Uuid> candidates;
    if (invite.folderIds) {
        candidates = *invite.folderIds;
    } else {
        for (const auto& [id, key] : collectionKeys_) candidates.push_back(id);
    }
    std::vector<Uuid> grantable;
    for (const auto& id : candidates)
        if (collectionKeys_.contains(id)) grantable.push_back(id);
    if (assignChanged(grantableCollections_, grantable)) emit grantableCollectionsChanged();
    std::set<Uuid> selected(grantable.begin(), grantable.end());
    if (assignChanged(selectedCollectionIDs_, std::move(selected))) emit selectedCollectionIDsChanged();
    setState(State::ready);
}

QCoro::Task<> VerifyGrantViewModel::confirmAndGrant() {
    if (state_ != State::ready) co_return;
    if (!fingerprintMatches()) {
        setErrorMessage(std::string(kMismatch));
        co_return;
    }
    if (selectedCollectionIDs_.empty()) {
        setErrorMessage(std::string(kNoFolder));
        co_return;
    }
    if (!claimedAccountID_) {
        setErrorMessage(std::string(kNoAccount));
        co_return;
    }
    // Pinned before anything is sealed; the pin stays whatever happens next.
    if (!trustStore_->trustOnFirstUse(derivedFingerprint_, *claimedAccountID_)) {
        setErrorMessage(std::string(kKeyChanged));
        co_return;
    }
    auto keep = weak_from_this().lock();
    setState(State::granting);
    setErrorMessage(std::nullopt);

    SharingViewModel guard("", derivedFingerprint_);
    guard.setFingerprintConfirmed(true);
    const auto order = sortedByText(std::vector<Uuid>(selectedCollectionIDs_.begin(), selectedCollectionIDs_.end()));
    try {
        std::vector<SignedCollectionGrant> grants;
        for (const auto& id : order) {
            auto found = collectionKeys_.find(id);
            if (found == collectionKeys_.end()) continue;
            const auto key = found->second;
            auto sealed = co_await guard.sealKey(key, rawX25519_, rawEd25519_, vault_);
            auto signing = runBlocking([vault = vault_, id, epoch = keyEpoch_, key, x = rawX25519_, org = orgID_] {
                return vault->signGrant(id, epoch, key, x, org);
            });
            auto signature = co_await signing;
            grants.push_back(SignedCollectionGrant{id, Base64URL::encode(sealed), Base64URL::encode(signature)});
        }
        auto sending = runBlocking([api = api_, org = orgID_, invite = inviteID_, grants = std::move(grants)] {
            api->grantInvite(org, invite, grants);
        });
        co_await sending;
    } catch (...) {
        setState(State::ready);
        setErrorMessage(std::string(kGrantFailed));
        co_return;
    }
    setState(State::granted);
}

}  // namespace vael

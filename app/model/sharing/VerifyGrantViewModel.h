#pragma once

#include <QObject>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/sharing/SharingContext.h"
#include "core/Bytes.h"

namespace vael {

// The owner's side of a claimed invite: load it, show the invitee's fingerprint, and once the typed
// fingerprint matches, pin it and grant the chosen folders with sealed, signed keys in one call.
class VerifyGrantViewModel final : public QObject, public std::enable_shared_from_this<VerifyGrantViewModel> {
    Q_OBJECT

public:
    enum class State { loading, ready, granting, granted, error };

    static constexpr const char* kLoadFailed = "Could not load the invite.";
    static constexpr const char* kNotClaimed = "This invite hasn't been claimed yet.";
    static constexpr const char* kNoKeys = "The invitee hasn't published their keys.";
    static constexpr const char* kMismatch = "Fingerprint doesn't match \u2014 do NOT grant. Re-check with the invitee.";
    static constexpr const char* kNoFolder = "Pick at least one folder.";
    static constexpr const char* kNoAccount = "Invite has no claimed account.";
    static constexpr const char* kKeyChanged =
        "This account's key changed since you last verified it. Re-verify out-of-band.";
    static constexpr const char* kGrantFailed = "Could not grant access. Please try again.";

    // Lower-cased, with every white-space character removed; nothing else changes.
    static std::string normalize(const std::string& text);

    VerifyGrantViewModel(std::shared_ptr<InviteAPI> api, std::shared_ptr<VaultCrypto> vault,
                         std::shared_ptr<TrustedKeyStore> trustStore, Uuid orgID, std::string inviteID,
                         SharingKeys collectionKeys, std::uint32_t keyEpoch);

    State state() const { return state_; }
    const std::string& role() const { return role_; }
    const std::string& derivedFingerprint() const { return derivedFingerprint_; }
    const std::vector<Uuid>& grantableCollections() const { return grantableCollections_; }
    const std::string& typedFingerprint() const { return typedFingerprint_; }
    void setTypedFingerprint(std::string text);
    const std::set<Uuid>& selectedCollectionIDs() const { return selectedCollectionIDs_; }
    void setCollectionSelected(const Uuid& id, bool selected);
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    const std::optional<Uuid>& claimedAccountID() const { return claimedAccountID_; }
    bool fingerprintMatches() const;

    QCoro::Task<> load();
    QCoro::Task<> confirmAndGrant();

signals:
    void stateChanged();
    void derivedFingerprintChanged();
    void grantableCollectionsChanged();
    void typedFingerprintChanged();
    void selectedCollectionIDsChanged();
    void errorMessageChanged();

private:
    void setState(State state);
    void setErrorMessage(std::optional<std::string> message);

    std::shared_ptr<InviteAPI> api_;
    std::shared_ptr<VaultCrypto> vault_;
    std::shared_ptr<TrustedKeyStore> trustStore_;
    Uuid orgID_;
    std::string inviteID_;
    SharingKeys collectionKeys_;
    std::uint32_t keyEpoch_;

    State state_ = State::loading;
    std::string role_;
    std::string derivedFingerprint_;
    std::vector<Uuid> grantableCollections_;
    std::string typedFingerprint_;
    std::set<Uuid> selectedCollectionIDs_;
    std::optional<std::string> errorMessage_;
    Bytes rawX25519_;
    Bytes rawEd25519_;
    std::optional<Uuid> claimedAccountID_;
};

}  // namespace vael

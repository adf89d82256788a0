#pragma once

#include <QObject>

#include <memory>
#include <optional>
#include <set>
#include <string>

#include <qcoro/qcorotask.h>

#include "app/model/sharing/SharingContext.h"
#include "core/Bytes.h"

namespace vael {

// Adds an account that already exists, found by its handle: its fingerprint must equal the pinned one
// or the one typed after reading it out; then the pin is written and the chosen keys are sealed to it.
class AddExistingMemberViewModel final : public QObject,
                                         public std::enable_shared_from_this<AddExistingMemberViewModel> {
    Q_OBJECT

public:
    enum class State { idle, found, granting, granted, error };

    static constexpr const char* kNotFound = "No account found for that handle.";
    static constexpr const char* kNoKeys = "That account has no published keys.";
    static constexpr const char* kPinDiffers = "This account's key changed \u2014 re-verify before granting.";
    static constexpr const char* kKeyChanged = "This account's key changed since you last verified it.";
    static constexpr const char* kAddFailed = "Could not add the member.";

    AddExistingMemberViewModel(std::shared_ptr<InviteAPI> api, std::shared_ptr<VaultCrypto> vault,
                               std::shared_ptr<TrustedKeyStore> trustStore, Uuid orgID, SharingKeys collectionKeys);

    State state() const { return state_; }
    const std::optional<AccountDTO>& account() const { return account_; }
    const std::string& derivedFingerprint() const { return derivedFingerprint_; }
    bool autoVerified() const { return autoVerified_; }
    const std::string& typedFingerprint() const { return typedFingerprint_; }
    void setTypedFingerprint(std::string text);
    const std::string& role() const { return role_; }
    void setRole(std::string role);
    const std::set<Uuid>& selectedCollectionIDs() const { return selectedCollectionIDs_; }
    void setCollectionSelected(const Uuid& id, bool selected);
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }

    bool fingerprintMatches() const;
    bool canGrant() const;

    QCoro::Task<> lookup(std::string handle);
    QCoro::Task<> grant();

signals:
    void stateChanged();
    void accountChanged();
    void derivedFingerprintChanged();
    void autoVerifiedChanged();
    void typedFingerprintChanged();
    void roleChanged();
    void selectedCollectionIDsChanged();
    void errorMessageChanged();

private:
    void setState(State state);
    void setErrorMessage(std::optional<std::string> message);
    void setAutoVerified(bool verified);

    std::shared_ptr<InviteAPI> api_;
    std::shared_ptr<VaultCrypto> vault_;
    std::shared_ptr<TrustedKeyStore> trustStore_;
    Uuid orgID_;
    SharingKeys collectionKeys_;

    State state_ = State::idle;
    std::optional<AccountDTO> account_;
    std::string derivedFingerprint_;
    bool autoVerified_ = false;
    std::string typedFingerprint_;
    std::string role_ = "member";
    std::set<Uuid> selectedCollectionIDs_;
    std::optional<std::string> errorMessage_;
    Bytes rawX25519_;
    Bytes rawEd25519_;
};

}  // namespace vael

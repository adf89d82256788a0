#pragma once

#include <QObject>

#include <memory>
#include <optional>
#include <string>

#include <qcoro/qcorotask.h>

#include "api/InviteAPI.h"
#include "core/Bytes.h"
#include "crypto/VaultCrypto.h"

namespace vael {

// The invited user's side: claim the invite with the link's token, then wait for the inviter to
// verify the fingerprint and grant access.
class AcceptInviteViewModel final : public QObject, public std::enable_shared_from_this<AcceptInviteViewModel> {
    Q_OBJECT

public:
    enum class State { idle, claiming, waitingForAccess, accessGranted, error };

    static constexpr const char* kClaimFailed = "Could not accept the invite. It may have expired.";
    static constexpr const char* kClaimUnreachable = "Could not accept the invite. The server is unreachable.";
    static constexpr const char* kOpenFailed = "Received a key we couldn't open.";

    AcceptInviteViewModel(std::shared_ptr<InviteAPI> api, std::shared_ptr<VaultCrypto> vault, std::string token,
                          std::string ownFingerprint);

    const std::string& ownFingerprint() const { return ownFingerprint_; }
    State state() const { return state_; }
    const std::optional<Uuid>& orgID() const { return orgID_; }
    const std::string& role() const { return role_; }
    const std::optional<CollectionKey>& openedCollectionKey() const { return openedCollectionKey_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }

    // No guard on the state: a second call claims again with the same token.
    QCoro::Task<> accept();
    QCoro::Task<> receiveSealedKey(Bytes sealed);

signals:
    void stateChanged();
    void orgIDChanged();
    void roleChanged();
    void openedCollectionKeyChanged();
    void errorMessageChanged();

private:
    void setState(State state);
    void setErrorMessage(std::optional<std::string> message);

    std::shared_ptr<InviteAPI> api_;
    std::shared_ptr<VaultCrypto> vault_;
    std::string token_;  // a credential: never logged
    std::string ownFingerprint_;
    State state_ = State::idle;
    std::optional<Uuid> orgID_;
    std::string role_;
    std::optional<CollectionKey> openedCollectionKey_;
    std::optional<std::string> errorMessage_;
};

}  // namespace vael

#pragma once

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <qcoro/qcorotask.h>

#include "app/model/sharing/SharingContext.h"
#include "core/Bytes.h"

namespace vael {

// Replaces one group's key for every member of its project in one server request, with every item
// key re-wrapped. Nothing is sent unless every member passes its checks and every key step succeeds.
class RotateCollectionViewModel final : public QObject,
                                        public std::enable_shared_from_this<RotateCollectionViewModel> {
    Q_OBJECT

public:
    enum class State { idle, rotating, rotated, error };

    static constexpr const char* kNoKeys = "A member has no published keys \u2014 cannot rotate safely.";
    static constexpr const char* kKeyChanged = "A member's key changed since you verified it \u2014 re-verify before rotating.";
    static constexpr const char* kNoMembers = "No members to rotate to.";
    static constexpr const char* kFailed = "Could not rotate the collection key. No changes were made; please try again.";

    RotateCollectionViewModel(std::shared_ptr<InviteAPI> api, std::shared_ptr<VaultCrypto> vault,
                              std::shared_ptr<TrustedKeyStore> trustStore, Uuid orgID, Uuid collectionID,
                              CollectionKey oldCollectionKey, std::uint32_t currentKeyEpoch,
                              std::map<Uuid, Bytes> oldWrappedItemKeys);

    State state() const { return state_; }
    const std::optional<CollectionKey>& newCollectionKey() const { return newCollectionKey_; }
    std::uint32_t newKeyEpoch() const { return newKeyEpoch_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }

    QCoro::Task<> rotate();

signals:
    void stateChanged();
    void newCollectionKeyChanged();
    void newKeyEpochChanged();
    void errorMessageChanged();

private:
    void fail(const char* message);

    std::shared_ptr<InviteAPI> api_;
    std::shared_ptr<VaultCrypto> vault_;
    std::shared_ptr<TrustedKeyStore> trustStore_;
    Uuid orgID_;
    Uuid collectionID_;
    CollectionKey oldCollectionKey_;
    std::uint32_t currentKeyEpoch_;
    std::map<Uuid, Bytes> oldWrappedItemKeys_;  // ordered by id bytes, which is their text order

    State state_ = State::idle;
    std::optional<CollectionKey> newCollectionKey_;
    std::uint32_t newKeyEpoch_ = 0;
    std::optional<std::string> errorMessage_;
};

}  // namespace vael

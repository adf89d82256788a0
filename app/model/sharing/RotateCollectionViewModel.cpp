#include "app/model/sharing/RotateCollectionViewModel.h"

#include <algorithm>

#include "api/Base64URL.h"
#include "app/model/Blocking.h"
#include "app/model/Observed.h"

namespace vael {

RotateCollectionViewModel::RotateCollectionViewModel(std::shared_ptr<InviteAPI> api, std::shared_ptr<VaultCrypto> vault,
                                                     std::shared_ptr<TrustedKeyStore> trustStore, Uuid orgID,
                                                     Uuid collectionID, CollectionKey oldCollectionKey,
                                                     std::uint32_t currentKeyEpoch,
                                                     std::map<Uuid, Bytes> oldWrappedItemKeys)
    : api_(std::move(api)),
      vault_(std::move(vault)),
      trustStore_(std::move(trustStore)),
      orgID_(orgID),
      collectionID_(collectionID),
      oldCollectionKey_(std::move(oldCollectionKey)),
      currentKeyEpoch_(currentKeyEpoch),
      oldWrappedItemKeys_(std::move(oldWrappedItemKeys)) {}

void RotateCollectionViewModel::fail(const char* message) {
    if (assignChanged(state_, State::error)) emit stateChanged();
    if (assignChanged(errorMessage_, std::optional<std::string>(message))) emit errorMessageChanged();
}

QCoro::Task<> RotateCollectionViewModel::rotate() {
    if (state_ == State::rotating || state_ == State::rotated) co_return;
    auto keep = weak_from_this().lock();
    if (assignChanged(state_, State::rotating)) emit stateChanged();
    if (assignChanged(errorMessage_, std::nullopt)) emit errorMessageChanged();

    const std::uint32_t newEpoch = currentKeyEpoch_ + 1u;  // wraps to 0 after the largest epoch
    try {
        auto listing = runBlocking([api = api_, org = orgID_] { return api->listMembers(org); });
        auto members = co_await listing;
        auto making = runBlocking([vault = vault_] { return vault->newCollectionKey(); });
        const auto newKey = co_await making;

        std::stable_sort(members.begin(), members.end(),
                         [](const MemberDTO& a, const MemberDTO& b) { return a.accountId.text() < b.accountId.text(); });
        std::vector<RotateMemberGrant> grants;
        for (const auto& member : members) {
            std::optional<Bytes> x25519, ed25519;
            if (member.x25519PublicKey) x25519 = Base64URL::decode(*member.x25519PublicKey);
            if (member.ed25519PublicKey) ed25519 = Base64URL::decode(*member.ed25519PublicKey);
            if (!x25519 || !ed25519) {
                fail(kNoKeys);
                co_return;
            }
            const auto fingerprint = VaultCrypto::fingerprint(*x25519, *ed25519);
            if (!trustStore_->trustOnFirstUse(fingerprint, member.accountId)) {
                fail(kKeyChanged);
                co_return;
            }
            auto granting = runBlocking([vault = vault_, key = newKey, x = *x25519, group = collectionID_, newEpoch,
                                         org = orgID_] {
                auto sealed = vault->sealCollectionKey(key, x);
                auto signature = vault->signGrant(group, newEpoch, key, x, org);
                return std::pair{std::move(sealed), std::move(signature)};
            });
            auto [sealed, signature] = co_await granting;
            grants.push_back(RotateMemberGrant{member.accountId, Base64URL::encode(sealed), Base64URL::encode(signature)});
        }
        if (grants.empty()) {
            fail(kNoMembers);
            co_return;
        }
        auto rewrapping = runBlocking([vault = vault_, items = oldWrappedItemKeys_, from = oldCollectionKey_, to = newKey] {
            std::vector<RotateItemKey> keys;
            keys.reserve(items.size());
            for (const auto& [id, wrapped] : items)
                keys.push_back(RotateItemKey{id, Base64URL::encode(vault->rewrapItemKey(wrapped, from, to))});
            return keys;
        });
        auto itemKeys = co_await rewrapping;
        auto sending = runBlocking([api = api_, group = collectionID_, newEpoch, grants = std::move(grants),
                                    itemKeys = std::move(itemKeys)] {
            api->rotateCollectionKey(group, newEpoch, grants, itemKeys);
        });
        co_await sending;
        newCollectionKey_ = newKey;
        emit newCollectionKeyChanged();  // a fresh key every rotation
        if (assignChanged(newKeyEpoch_, newEpoch)) emit newKeyEpochChanged();
        if (assignChanged(state_, State::rotated)) emit stateChanged();
    } catch (...) {
        fail(kFailed);
    }
}

}  // namespace vael

// The sharing context, the sharing screen-model factories and the default group's key rotation.

#include <QUrl>

#include "app/model/sharing/AcceptInviteViewModel.h"
#include "app/model/AppModel.h"
#include "app/model/items/ItemDetailViewModel.h"
#include "app/model/Blocking.h"
#include "app/model/DefaultGroupGate.h"
#include "app/model/ModelVault.h"
#include "app/model/sharing/RotateCollectionViewModel.h"
#include "crypto/CryptoError.h"
#include "store/RecordJson.h"

namespace vael {

namespace {

constexpr const char* kOrgLabel = "Personal";
constexpr const char* kInviterLabel = "You";
constexpr const char* kOwnerRole = "owner";
constexpr const char* kDefaultFolderName = "local";

std::map<Uuid, Bytes> wrappedItemKeys(const std::vector<ItemRecord>& items) {
    std::map<Uuid, Bytes> keys;
    for (const auto& item : items) keys[item.id] = item.wrappedItemKey;
    return keys;
}

// Every row of the local copy that changes key: the default group, its items and the project names
// sealed under it, re-wrapped from `from` to `to`. Raises on any failure; writes nothing itself.
struct SwitchedRows {
    std::optional<CollectionRecord> group;
    std::vector<ItemRecord> items;
    std::vector<ProjectRecord> projects;
    std::vector<PendingOpRecord> queued;  // item bodies waiting for the server, with their new payloads
};

SwitchedRows rewrapLocalCopy(VaelStore& store, VaultCrypto& vault, const std::vector<ItemRecord>& items,
                             const CollectionKey& from, const CollectionKey& to) {
    SwitchedRows rows;
    for (auto& group : store.collections(AppModel::localOrgID())) {
        if (group.id != AppModel::localCollectionID()) continue;
        group.wrappedKey = vault.wrapCollectionKeyToSelf(to);
        if (group.nameWrappedKey) group.nameWrappedKey = vault.rewrapItemKey(*group.nameWrappedKey, from, to);
        rows.group = std::move(group);
        break;
    }
    for (auto item : items) {
        item.wrappedItemKey = vault.rewrapItemKey(item.wrappedItemKey, from, to);
        rows.items.push_back(std::move(item));
    }
    // A queued body is sent as it was queued: its item key must open under the key the server will hold.
    for (auto op : store.pendingOps()) {
        if (op.kind != PendingOpRecord::Kind::put && op.kind != PendingOpRecord::Kind::create) continue;
        ItemBody body;
        try {
            body = itemBodyFromJson(textView(op.payloadBlob));
        } catch (const JsonDecodingError&) {
            continue;  // the replay drops it
        }
        if (body.collectionId != AppModel::localCollectionID()) continue;
        try {
            body.wrappedItemKey = vault.rewrapItemKey(body.wrappedItemKey, from, to);
        } catch (const VaelCryptoError& error) {
            if (error.code() != VaelCryptoError::Code::AuthenticationFailed) throw;
            continue;
        }
        op.payloadBlob = bytesOf(toJsonText(body));
        rows.queued.push_back(std::move(op));
    }
    for (auto project : store.projects()) {
        try {
            project.nameWrappedKey = vault.rewrapItemKey(project.nameWrappedKey, from, to);
        } catch (const VaelCryptoError& error) {
            // A name that never opened under the old key stays as it is.
            if (error.code() != VaelCryptoError::Code::AuthenticationFailed) throw;
            continue;
        }
        rows.projects.push_back(std::move(project));
    }
    return rows;
}

}  // namespace

std::optional<CollectionKey> AppModel::collectionKey() const {
    auto work = modelVault();
    if (!work) return std::nullopt;
    return work->defaultKey();
}

std::string AppModel::publicBaseURL() const {
    const QUrl endpoint(QString::fromStdString(serverEndpoint()));
    return endpoint.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
        .toString()
        .toStdString();
}

QCoro::Task<std::unique_ptr<ItemDetailViewModel>> AppModel::makeItemDetailViewModel(Uuid id) {
    auto loading = loadPayload(id);
    auto payload = co_await loading;
    if (!payload) co_return std::unique_ptr<ItemDetailViewModel>();
    co_return std::make_unique<ItemDetailViewModel>(std::move(*payload), biometric_);
}

std::optional<SharingContext> AppModel::makeSharingContext() const {
    auto key = collectionKey();
    if (!key) return std::nullopt;
    return SharingContext{
        .api = inviteAPI_,
        .vault = vault_,
        .trustStore = trustStore_,
        .orgID = localOrgID(),
        .callerRole = kOwnerRole,
        .orgLabel = kOrgLabel,
        .inviterLabel = kInviterLabel,
        .publicBaseURL = publicBaseURL(),
        .folders = {SharingFolder{localCollectionID(), kDefaultFolderName}},
        .collectionKeys = {{localCollectionID(), *key}},
    };
}

std::shared_ptr<AcceptInviteViewModel> AppModel::makeAcceptInviteViewModel(std::string token) const {
    std::string own;
    try {
        own = configStore_.load().accountPublicKeys.fingerprint();
    } catch (...) {
        own.clear();
    }
    return std::make_shared<AcceptInviteViewModel>(inviteAPI_, vault_, std::move(token), std::move(own));
}

std::shared_ptr<RotateCollectionViewModel> AppModel::makeRotateCollectionViewModel(std::uint32_t currentKeyEpoch) const {
    auto work = modelVault();
    if (!work) return nullptr;
    std::vector<ItemRecord> items;
    try {
        items = work->store().items(localCollectionID());
    } catch (...) {
        items.clear();
    }
    return std::make_shared<RotateCollectionViewModel>(inviteAPI_, vault_, trustStore_, localOrgID(),
                                                       localCollectionID(), work->defaultKey(), currentKeyEpoch,
                                                       wrappedItemKeys(items));
}

QCoro::Task<> AppModel::rotateLocalCollection(std::uint32_t currentKeyEpoch) {
    auto work = modelVault();
    if (!work) co_return;
    QPointer<AppModel> self(this);
    const auto session = session_;
    auto gate = defaultGroupGate_;
    bool switched = false;
    // Released on every way out, so that no writer waits for a rotation that ended.
    struct Release {
        std::shared_ptr<DefaultGroupGate> gate;
        const bool& switched;
        ~Release() { gate->release(switched); }
    };

    auto holding = runBlocking([gate] { gate->hold(); });
    co_await holding;
    Release release{gate, switched};
    if (!self || session_ != session) co_return;

    // Everything below sees the default group exactly as read here until the key switch.
    std::vector<ItemRecord> items;
    try {
        auto reading = runBlocking([work = *work] { return work.store().items(AppModel::localCollectionID()); });
        items = co_await reading;
    } catch (...) {
        if (self) setErrorMessage(std::string(kRotationFailed));
        co_return;
    }
    if (!self || session_ != session) co_return;

    auto rotation = std::make_shared<RotateCollectionViewModel>(inviteAPI_, vault_, trustStore_, localOrgID(),
                                                                localCollectionID(), work->defaultKey(),
                                                                currentKeyEpoch, wrappedItemKeys(items));
    co_await rotation->rotate();
    if (!self || session_ != session) co_return;
    if (rotation->state() != RotateCollectionViewModel::State::rotated || !rotation->newCollectionKey()) {
        setErrorMessage(rotation->errorMessage().value_or(std::string(kRotationFailed)));
        co_return;
    }

    const auto newKey = *rotation->newCollectionKey();
    try {
        auto writing = runBlocking([work = *work, items, newKey] {
            auto rows = rewrapLocalCopy(work.store(), work.vault(), items, work.defaultKey(), newKey);
            work.store().upsertGroupWithContents(rows.group, rows.items, rows.projects, rows.queued);
        });
        co_await writing;
    } catch (...) {
        if (self) setErrorMessage(std::string(kLocalRotationFailed));
        co_return;
    }
    if (!self || session_ != session) co_return;
    switchDefaultCollectionKey(newKey);
    switched = true;
    setErrorMessage(std::nullopt);
}

}  // namespace vael

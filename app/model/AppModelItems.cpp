// Creating items, changing an item's website or one-time-code field, and SSH keys stored as items.

#include <QPointer>

#include "app/agent/VaultRef.h"
#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemLayout.h"
#include "app/model/AppModel.h"
#include "app/model/Blocking.h"
#include "app/model/ModelVault.h"

namespace vael {

namespace {

using AppError = AppModel::AppError;

[[noreturn]] void notUnlocked() { throw AppError(AppError::Case::notUnlocked); }

struct NewItem {
    Uuid id;
    std::string groupName;
};

// A new item of revision 1: the payload sealed under its group's key.
ItemBody newItemBody(const ModelVault& work, const ItemPayload& payload, const std::string& type,
                     const std::string& aiAccess, const Uuid& group, const CollectionKey& key) {
    const auto id = Uuid::random();
    return itemlayout::itemBody(id, group, type, itemlayout::sealPayload(work.vault(), payload, id, key), aiAccess, 1,
                                work.now());
}

// Seals the payload under the target group's key and writes a new item of revision 1.
NewItem storeNewItem(const ModelVault& work, const ItemPayload& payload, const std::string& type,
                     const std::string& aiAccess, const std::optional<Uuid>& groupID) {
    const auto target = groupID.value_or(AppModel::localCollectionID());
    CollectionKey key;
    std::string groupName = "local";
    if (target == AppModel::localCollectionID()) {
        // The default group's key is the session's own; its row need not exist yet.
        key = work.defaultKey();
    } else {
        std::optional<CollectionRecord> row;
        try {
            row = work.store().collection(target);
        } catch (const std::exception&) {
        }
        if (!row || row->deleted) notUnlocked();
        auto opened = work.collectionKey(*row);
        if (!opened) notUnlocked();
        key = std::move(*opened);
        groupName = work.groupName(*row, key);
    }
    const auto body = newItemBody(work, payload, type, aiAccess, target, key);
    work.writeNewItem(body);
    return NewItem{body.id, std::move(groupName)};
}

// Re-seals a changed payload under the located item's key, keeping its group, type, tier and revision.
void rewriteItem(const ModelVault& work, const ModelVault::Located& item, const ItemPayload& payload,
                 SyncEngine::RecordHold& hold) {
    auto sealed = itemlayout::sealPayload(work.vault(), payload, item.record.id, item.key);
    work.writeChangedItem(itemlayout::itemBody(item.record.id, item.record.collectionId, item.record.type,
                                               std::move(sealed), item.record.aiAccess, item.record.revision,
                                               work.now()),
                          &hold);
}

template <class Change>
void changeItem(const ModelVault& work, const Uuid& id, Change change) {
    auto lock = work.lockRecordForWrite(id);
    auto located = work.locateItem(id);
    if (!located) notUnlocked();
    auto payload = work.loadPayload(*located);
    if (!payload) notUnlocked();
    change(*payload);
    rewriteItem(work, *located, *payload, lock);
}

}  // namespace

QCoro::Task<Uuid> AppModel::addItem(ItemPayload payload, std::string type, std::string aiAccess,
                                    std::optional<Uuid> groupID) {
    auto work = modelVault();
    if (!work) notUnlocked();
    auto job = runBlocking([work = std::move(*work), payload = std::move(payload), type = std::move(type),
                            aiAccess = std::move(aiAccess), groupID] {
        return storeNewItem(work, payload, type, aiAccess, groupID).id;
    });
    co_return co_await job;
}

QCoro::Task<> AppModel::addItems(std::vector<ItemPayload> payloads, std::string type, std::string aiAccess) {
    auto work = modelVault();
    if (!work) notUnlocked();
    auto job = runBlocking([work = std::move(*work), payloads = std::move(payloads), type = std::move(type),
                            aiAccess = std::move(aiAccess)] {
        std::vector<ItemBody> bodies;
        bodies.reserve(payloads.size());
        for (const auto& payload : payloads)
            bodies.push_back(newItemBody(work, payload, type, aiAccess, AppModel::localCollectionID(), work.defaultKey()));
        work.writeNewItems(bodies);
    });
    co_await job;
}

QCoro::Task<std::string> AppModel::addItem(std::string name, std::string fieldLabel, std::string value,
                                           std::string aiAccess, std::optional<std::string> username,
                                           std::optional<Uuid> groupID) {
    auto work = modelVault();
    if (!work) notUnlocked();
    ItemPayload payload;
    payload.name = name;
    if (username && !username->empty()) {
        payload.fields.push_back(ItemField{"username", ItemField::Kind::username, std::move(*username), false});
    }
    payload.fields.push_back(ItemField{fieldLabel, ItemField::Kind::password, std::move(value), true});
    auto job = runBlocking([work = std::move(*work), payload = std::move(payload), aiAccess = std::move(aiAccess),
                            groupID] { return storeNewItem(work, payload, "login", aiAccess, groupID); });
    const auto stored = co_await job;
    // The reference an agent can resolve: the item's real group, every part percent-encoded.
    co_return VaultRef::make(stored.groupName, name, fieldLabel);
}

QCoro::Task<> AppModel::updateItemWebsite(Uuid id, std::optional<std::string> url, bool strictMatch) {
    auto work = modelVault();
    if (!work) notUnlocked();
    auto job = runBlocking([work = std::move(*work), id, url = std::move(url), strictMatch] {
        changeItem(work, id, [&](ItemPayload& payload) {
            payload.url.reset();
            if (url) {
                auto trimmed = trimWhitespace(*url);
                if (!trimmed.empty()) payload.url = std::move(trimmed);
            }
            payload.strictMatch = strictMatch ? std::optional<bool>(true) : std::nullopt;
        });
    });
    co_await job;
}

QCoro::Task<> AppModel::setOTPField(Uuid item, std::string fieldValue) {
    auto work = modelVault();
    if (!work) notUnlocked();
    auto job = runBlocking([work = std::move(*work), item, fieldValue = std::move(fieldValue)] {
        changeItem(work, item, [&](ItemPayload& payload) {
            ItemField code{"otp", ItemField::Kind::otp, fieldValue, true};
            for (auto& field : payload.fields) {
                if (field.kind == ItemField::Kind::otp) {
                    field = std::move(code);
                    return;
                }
            }
            payload.fields.push_back(std::move(code));
        });
    });
    co_await job;
}

QCoro::Task<SSHKeyPair> AppModel::createSSHKey(std::string name, SSHKeyType type, SecureBytes passphrase,
                                               std::string aiAccess) {
    QPointer<AppModel> self(this);
    auto generating = runBlocking([type, comment = name + " (vael)", passphrase = std::move(passphrase),
                                   options = sshKeyOptions_] {
        const std::string_view text(reinterpret_cast<const char*>(passphrase.data()), passphrase.size());
        return SSHKeyGenerator::generate(type, comment, text, options);
    });
    auto pair = co_await generating;
    if (!self) notUnlocked();

    ItemPayload payload;
    payload.name = name;
    payload.fields.push_back(ItemField{"private key", ItemField::Kind::sshPrivateKey,
                                       std::string(reinterpret_cast<const char*>(pair.privateKey.data()),
                                                   pair.privateKey.size()),
                                       true});
    payload.fields.push_back(ItemField{"public key", ItemField::Kind::sshPublicKey, pair.publicKey, false});
    payload.tags = {"ssh"};
    auto stored = addItem(std::move(payload), "ssh_key", std::move(aiAccess), std::nullopt);
    co_await stored;
    co_return pair;
}

}  // namespace vael

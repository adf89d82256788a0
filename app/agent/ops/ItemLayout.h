#pragma once

// The stored item layout, shared by every writer of item rows (the agent's item source and the
// application model): the whole payload sealed under the group key with the item's id as owner,
// the one blob stored as both name and content, and a fixed envelope header.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/agent/ops/AgentText.h"
#include "core/Time.h"
#include "crypto/ItemPayload.h"
#include "crypto/VaultCrypto.h"
#include "store/Records.h"
#include "store/SyncTypes.h"

namespace vael::itemlayout {

inline constexpr std::string_view kCryptoParams = R"({"envelope_version":1})";

inline SealedBlob sealPayload(VaultCrypto& vault, const ItemPayload& payload, const Uuid& id, const CollectionKey& key) {
    return vault.sealBlob(encodeItemPayload(payload), id, key);
}

// Throws VaelCryptoError when the blob does not open or the bytes are no payload.
inline ItemPayload openPayload(VaultCrypto& vault, const ItemRecord& record, const CollectionKey& key) {
    return decodeItemPayload(
        vault.openBlob(VaultCrypto::kEnvelopeVersion, record.contentBlob, record.id, record.wrappedItemKey, key));
}

// Group and project names: the name's UTF-8 bytes sealed with the record's own id as owner.
inline SealedBlob sealName(VaultCrypto& vault, std::string_view name, const Uuid& id, const CollectionKey& key) {
    return vault.sealBlob(SecureBytes(name), id, key);
}

// Throws VaelCryptoError; bytes that are not UTF-8 become U+FFFD.
inline std::string openName(VaultCrypto& vault, const Bytes& blob, const Uuid& id, const Bytes& wrappedKey,
                            const CollectionKey& key) {
    auto opened = vault.openBlob(VaultCrypto::kEnvelopeVersion, blob, id, wrappedKey, key);
    return utf8Lossy(opened.data(), opened.size());
}

inline ItemBody itemBody(const Uuid& id, const Uuid& collectionId, std::string type, SealedBlob sealed,
                         std::string aiAccess, std::int64_t revision, TimePoint updatedAt) {
    return ItemBody{
        .id = id,
        .collectionId = collectionId,
        .type = std::move(type),
        .nameBlob = sealed.blob,
        .contentBlob = std::move(sealed.blob),
        .cryptoParams = std::string(kCryptoParams),
        .wrappedItemKey = std::move(sealed.wrappedKey),
        .aiAccess = std::move(aiAccess),
        .revision = revision,
        .updatedAt = updatedAt,
    };
}

}  // namespace vael::itemlayout

#include "app/sync/SyncAPIAdapter.h"

#include <exception>
#include <string>
#include <utility>

#include "api/APIError.h"
#include "api/Base64URL.h"
#include "core/Log.h"

namespace vael {

namespace {

constexpr std::string_view kLogCategory = "sync";

// Conflicts keep the server's revision and an unreachable server is offline; everything else is
// transport with the error's own description, which never carries a token or a request body.
SyncAPIError mapped(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const APIError& failure) {
        if (failure.kind() == APIError::Kind::Conflict) return SyncAPIError::conflict(failure.currentRevision());
        if (failure.kind() == APIError::Kind::NotFound) return SyncAPIError::notFound();
        if (failure.kind() == APIError::Kind::Network && failure.code() < 0) return SyncAPIError::offline();
        return SyncAPIError::transport(failure.what());
    } catch (const std::exception& failure) {
        return SyncAPIError::transport(failure.what());
    } catch (...) {
        return SyncAPIError::transport("unknown failure");
    }
}

template <class Call>
auto forward(Call&& call) {
    try {
        return call();
    } catch (...) {
        throw mapped(std::current_exception());
    }
}

// As forward, with one kind of client failure counting as success.
template <class Call>
void forwardTolerating(APIError::Kind tolerated, Call&& call) {
    try {
        call();
    } catch (const APIError& failure) {
        if (failure.kind() != tolerated) throw mapped(std::current_exception());
    } catch (...) {
        throw mapped(std::current_exception());
    }
}

Bytes decoded(const std::string& text, const char* field, const Uuid& owner) {
    if (auto bytes = Base64URL::decode(text)) return std::move(*bytes);
    throw SyncAPIError::transport("unreadable server answer: " + std::string(field) + " of " + owner.text() +
                                  " is not Base64URL");
}

std::optional<Bytes> decodedIfAny(const std::optional<std::string>& text, const char* field, const Uuid& owner) {
    if (!text) return std::nullopt;
    return decoded(*text, field, owner);
}

// The item's revision and time are the server's to keep; the group travels beside a creation.
ItemWriteBody writeBodyOf(const ItemBody& body, std::optional<Uuid> id) {
    return ItemWriteBody{
        .id = id,
        .type = body.type,
        .nameBlob = Base64URL::encode(body.nameBlob),
        .contentBlob = Base64URL::encode(body.contentBlob),
        .cryptoParams = CryptoParamsDTO(body.cryptoParams),
        .wrappedItemKey = Base64URL::encode(body.wrappedItemKey),
        .aiAccess = body.aiAccess,
    };
}

ItemBody bodyOf(const ItemDTO& item) {
    return ItemBody{
        .id = item.id,
        .collectionId = item.collectionId,
        .type = item.type.value_or(std::string()),
        .nameBlob = decoded(item.nameBlob, "nameBlob", item.id),
        .contentBlob = decoded(item.contentBlob, "contentBlob", item.id),
        .cryptoParams = item.cryptoParams.rawJSON,
        .wrappedItemKey = decoded(item.wrappedItemKey, "wrappedItemKey", item.id),
        .aiAccess = item.aiAccess,
        .revision = item.revision,
        .updatedAt = item.updatedAt,
    };
}

SyncResponse responseOf(const SyncResponseDTO& answer) {
    SyncResponse response{.now = answer.now, .items = {}, .collections = {}, .oldestUnreadable = std::nullopt};
    response.items.reserve(answer.items.size());
    for (const auto& item : answer.items)
        response.items.push_back(SyncItemDelta{
            .id = item.id,
            .collectionId = item.collectionId,
            .revision = item.revision,
            .updatedAt = item.updatedAt,
            .deleted = item.deleted,
        });
    response.collections.reserve(answer.collections.size());
    for (const auto& group : answer.collections) {
        try {
            response.collections.push_back(SyncCollectionDelta{
                .id = group.id,
                .orgId = group.orgId,
                .parentId = group.parentId,
                .nameBlob = decoded(group.nameBlob, "nameBlob", group.id),
                .sort = group.sort,
                .wrappedKey = decoded(group.wrappedKey, "wrappedKey", group.id),
                .updatedAt = group.updatedAt,
                .deleted = group.deleted,
                .nameWrappedKey = decodedIfAny(group.nameWrappedKey, "nameWrappedKey", group.id),
            });
        } catch (const SyncAPIError& unreadable) {
            // Left out rather than applied with empty keys; the rest of the answer still counts.
            logMessage(LogLevel::Warning, kLogCategory, std::string(unreadable.what()) + "; the group is left out");
            if (!response.oldestUnreadable || group.updatedAt < *response.oldestUnreadable)
                response.oldestUnreadable = group.updatedAt;
        }
    }
    return response;
}

}  // namespace

SyncAPIAdapter::SyncAPIAdapter(std::shared_ptr<SyncClientAPI> client) : client_(std::move(client)) {}

SyncResponse SyncAPIAdapter::sync(std::optional<TimePoint> since) {
    return responseOf(forward([&] { return client_->sync(since); }));
}

ItemBody SyncAPIAdapter::fetchItem(const Uuid& id) {
    return bodyOf(forward([&] { return client_->fetchItem(id); }));
}

PushResult SyncAPIAdapter::putItem(const Uuid& id, const ItemBody& body, std::int64_t expectedRevision) {
    const auto write = writeBodyOf(body, std::nullopt);
    return PushResult{forward([&] { return client_->putItem(id, write, expectedRevision); }).revision};
}

void SyncAPIAdapter::createItem(const ItemBody& body) {
    const auto write = writeBodyOf(body, body.id);
    forward([&] { client_->createItem(body.collectionId, write); });
}

void SyncAPIAdapter::deleteItem(const Uuid& id) {
    forwardTolerating(APIError::Kind::NotFound, [&] { client_->deleteItem(id); });
}

// A group's time and tombstone never leave the replica; the server's creation takes no sort. The name
// key travels with the name, wrapped by the group key, so members and other devices can open it.
void SyncAPIAdapter::createCollection(const CollectionRecord& record) {
    forwardTolerating(APIError::Kind::Conflict, [&] {
        client_->createCollection(record.orgId, record.id, record.parentId, record.nameBlob, record.nameWrappedKey,
                                  record.wrappedKey);
    });
}

void SyncAPIAdapter::patchCollection(const CollectionRecord& record) {
    forward([&] {
        client_->patchCollection(record.id, record.nameBlob, record.nameWrappedKey, record.parentId, record.sort);
    });
}

void SyncAPIAdapter::deleteCollection(const Uuid& id) {
    forwardTolerating(APIError::Kind::NotFound, [&] { client_->deleteCollection(id); });
}

}  // namespace vael

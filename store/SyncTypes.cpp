#include "store/SyncTypes.h"

namespace vael {

ItemRecord ItemBody::toRecord(bool deleted) const {
    return ItemRecord{
        .id = id,
        .collectionId = collectionId,
        .type = type,
        .nameBlob = nameBlob,
        .contentBlob = contentBlob,
        .cryptoParams = cryptoParams,
        .wrappedItemKey = wrappedItemKey,
        .aiAccess = aiAccess,
        .revision = revision,
        .updatedAt = updatedAt,
        .deleted = deleted,
    };
}

ItemBody ItemBody::fromRecord(const ItemRecord& record) {
    return ItemBody{
        .id = record.id,
        .collectionId = record.collectionId,
        .type = record.type,
        .nameBlob = record.nameBlob,
        .contentBlob = record.contentBlob,
        .cryptoParams = record.cryptoParams,
        .wrappedItemKey = record.wrappedItemKey,
        .aiAccess = record.aiAccess,
        .revision = record.revision,
        .updatedAt = record.updatedAt,
    };
}

std::string_view toText(ConflictChoice choice) {
    return choice == ConflictChoice::keepMine ? "keepMine" : "keepTheirs";
}

std::optional<ConflictChoice> conflictChoiceFromText(std::string_view text) {
    if (text == "keepMine") return ConflictChoice::keepMine;
    if (text == "keepTheirs") return ConflictChoice::keepTheirs;
    return std::nullopt;
}

SyncAPIError::SyncAPIError(Kind kind, std::int64_t currentRevision, std::string message, const std::string& what)
    : std::runtime_error(what), kind_(kind), currentRevision_(currentRevision), message_(std::move(message)) {}

SyncAPIError SyncAPIError::conflict(std::int64_t currentRevision) {
    return SyncAPIError(Kind::conflict, currentRevision, {},
                        "the server holds revision " + std::to_string(currentRevision));
}

SyncAPIError SyncAPIError::transport(const std::string& message) {
    return SyncAPIError(Kind::transport, 0, message, message);
}

SyncAPIError SyncAPIError::offline() { return SyncAPIError(Kind::offline, 0, {}, "the server could not be reached"); }

SyncAPIError SyncAPIError::notFound() { return SyncAPIError(Kind::notFound, 0, {}, "the server has no such object"); }

bool SyncAPIError::operator==(const SyncAPIError& other) const {
    if (kind_ != other.kind_) return false;
    switch (kind_) {
        case Kind::conflict: return currentRevision_ == other.currentRevision_;
        case Kind::transport: return message_ == other.message_;
        case Kind::offline:
        case Kind::notFound: return true;
    }
    return false;
}

}  // namespace vael

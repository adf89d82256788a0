#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/Bytes.h"
#include "core/Time.h"
#include "core/Uuid.h"

namespace vael {

// One local change the server has not accepted yet (table pending_ops).
struct PendingOpRecord {
    static constexpr std::string_view databaseTableName = "pending_ops";

    // Stored as its text; `delete_` is "delete".
    enum class Kind { put, delete_, create, createCollection, putCollection, deleteCollection };

    Uuid opId;
    Kind kind = Kind::put;
    Uuid itemId;  // the item, or the collection for the collection kinds
    Bytes payloadBlob;
    std::int64_t baseRevision = 0;
    TimePoint createdAt;

    bool operator==(const PendingOpRecord&) const = default;
};

std::string_view toText(PendingOpRecord::Kind kind);
// Exact, case-sensitive; any other text is no kind.
std::optional<PendingOpRecord::Kind> pendingOpKindFromText(std::string_view text);

}  // namespace vael

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "core/Time.h"
#include "core/Uuid.h"

namespace vael {

// The vault's rows. Names and contents are ciphertext made elsewhere; these records only carry them.
// Field order is the order of the table's columns and of the keyed JSON form.

struct ItemRecord {
    static constexpr std::string_view databaseTableName = "items";

    Uuid id;
    Uuid collectionId;
    std::string type;
    Bytes nameBlob;
    Bytes contentBlob;
    std::string cryptoParams;
    Bytes wrappedItemKey;
    std::string aiAccess;
    std::int64_t revision = 0;
    TimePoint updatedAt;
    bool deleted = false;

    bool operator==(const ItemRecord&) const = default;
};

struct CollectionRecord {
    static constexpr std::string_view databaseTableName = "collections";

    Uuid id;
    Uuid orgId;
    std::optional<Uuid> parentId;
    Bytes nameBlob;
    std::optional<Bytes> nameWrappedKey;
    std::int64_t sort = 0;
    Bytes wrappedKey;
    TimePoint updatedAt;
    bool deleted = false;

    bool operator==(const CollectionRecord&) const = default;
};

struct ProjectRecord {
    static constexpr std::string_view databaseTableName = "projects";

    Uuid id;
    Bytes nameBlob;
    Bytes nameWrappedKey;
    std::int64_t sort = 0;
    TimePoint updatedAt;
    bool deleted = false;

    bool operator==(const ProjectRecord&) const = default;
};

}  // namespace vael

#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "store/Records.h"
#include "store/SyncTypes.h"

namespace vael {

// A JSON text that does not hold the record: not JSON, a required key missing or of the wrong type,
// or an identifier, Base64 or number that does not parse. The message names the key, never a value.
class JsonDecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The keyed JSON form: one object whose keys are the field names. Identifiers as upper-case UUID text,
// bytes as standard Base64 with padding, dates as seconds since 2001-01-01 UTC, absent optionals left
// out. Readers accept any key order, ignore unknown keys and treat a null optional as absent.
std::string toJsonText(const ItemRecord& record);
std::string toJsonText(const CollectionRecord& record);
std::string toJsonText(const ProjectRecord& record);

ItemRecord itemRecordFromJson(std::string_view text);
CollectionRecord collectionRecordFromJson(std::string_view text);
ProjectRecord projectRecordFromJson(std::string_view text);

// The queued form of an item body (payload of "put" and "create" operations): the item keys without
// "deleted".
std::string toJsonText(const ItemBody& body);
ItemBody itemBodyFromJson(std::string_view text);

inline std::string_view textView(const Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace vael

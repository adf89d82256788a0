#pragma once

// Strict readers and writers of single JSON members, shared by the record and body JSON forms.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "core/Time.h"
#include "core/Uuid.h"

namespace vael::json {

using Object = nlohmann::ordered_json;

// Parses a whole text that must be one JSON object; throws JsonDecodingError otherwise.
nlohmann::json parseObject(std::string_view text);

// Compact text; a text field that is not valid UTF-8 throws std::invalid_argument.
std::string dump(const Object& object);

void putBytes(Object& object, const char* key, const Bytes& bytes);
void putTime(Object& object, const char* key, TimePoint time);

Uuid uuidAt(const nlohmann::json& object, const char* key);
std::optional<Uuid> optionalUuidAt(const nlohmann::json& object, const char* key);
std::string textAt(const nlohmann::json& object, const char* key);
Bytes bytesAt(const nlohmann::json& object, const char* key);
std::optional<Bytes> optionalBytesAt(const nlohmann::json& object, const char* key);
std::int64_t integerAt(const nlohmann::json& object, const char* key);
TimePoint timeAt(const nlohmann::json& object, const char* key);
bool boolAt(const nlohmann::json& object, const char* key);

}  // namespace vael::json

#include "store/JsonFields.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/Base64.h"
#include "store/RecordJson.h"

namespace vael::json {

namespace {

// Keys, never values, go into messages: values may be secrets.
[[noreturn]] void fail(const char* key, const char* what) {
    throw JsonDecodingError(std::string("JSON key \"") + key + "\": " + what);
}

const nlohmann::json& required(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) fail(key, "missing");
    return *it;
}

const nlohmann::json* optional(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

Uuid uuidOf(const nlohmann::json& value, const char* key) {
    if (!value.is_string()) fail(key, "not a string");
    const auto id = Uuid::parse(value.get_ref<const std::string&>());
    if (!id) fail(key, "not a UUID");
    return *id;
}

Bytes bytesOf(const nlohmann::json& value, const char* key) {
    if (!value.is_string()) fail(key, "not a string");
    auto bytes = base64Decode(value.get_ref<const std::string&>(), Base64Variant::Standard);
    if (!bytes) fail(key, "not Base64");
    return std::move(*bytes);
}

}  // namespace

nlohmann::json parseObject(std::string_view text) {
    auto value = nlohmann::json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) throw JsonDecodingError("not JSON");
    if (!value.is_object()) throw JsonDecodingError("not a JSON object");
    return value;
}

std::string dump(const Object& object) {
    try {
        return object.dump();
    } catch (const nlohmann::json::type_error&) {
        throw std::invalid_argument("a text field is not valid UTF-8");
    }
}

void putBytes(Object& object, const char* key, const Bytes& bytes) {
    object[key] = base64Encode(bytes, Base64Variant::Standard);
}

void putTime(Object& object, const char* key, TimePoint time) { object[key] = toReferenceSeconds(time); }

Uuid uuidAt(const nlohmann::json& object, const char* key) { return uuidOf(required(object, key), key); }

std::optional<Uuid> optionalUuidAt(const nlohmann::json& object, const char* key) {
    const auto* value = optional(object, key);
    if (!value) return std::nullopt;
    return uuidOf(*value, key);
}

std::string textAt(const nlohmann::json& object, const char* key) {
    const auto& value = required(object, key);
    if (!value.is_string()) fail(key, "not a string");
    return value.get<std::string>();
}

Bytes bytesAt(const nlohmann::json& object, const char* key) { return bytesOf(required(object, key), key); }

std::optional<Bytes> optionalBytesAt(const nlohmann::json& object, const char* key) {
    const auto* value = optional(object, key);
    if (!value) return std::nullopt;
    return bytesOf(*value, key);
}

std::int64_t integerAt(const nlohmann::json& object, const char* key) {
    const auto& value = required(object, key);
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) fail(key, "out of range");
        return static_cast<std::int64_t>(n);
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    fail(key, "not an integer");
}

TimePoint timeAt(const nlohmann::json& object, const char* key) {
    const auto& value = required(object, key);
    if (!value.is_number()) fail(key, "not a number");
    const double seconds = value.get<double>();
    if (!std::isfinite(seconds)) fail(key, "not a finite number");
    return fromReferenceSeconds(seconds);
}

bool boolAt(const nlohmann::json& object, const char* key) {
    const auto& value = required(object, key);
    if (!value.is_boolean()) fail(key, "not true or false");
    return value.get<bool>();
}

}  // namespace vael::json

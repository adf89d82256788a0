#pragma once

// Strict readers for the library's JSON forms: a missing key or a wrong type raises MalformedInput,
// null reads as absent, unknown keys are ignored. Messages name keys, never values.

#include <cstdint>
#include <string>

#include "core/Base64.h"
#include "core/Bytes.h"
#include "crypto/CryptoError.h"

namespace vael::cryptodetail {

[[noreturn]] inline void malformedJson(const std::string& what) {
    throw VaelCryptoError(VaelCryptoError::Code::MalformedInput, what);
}

template <class Json>
void requireObject(const Json& json, const char* what) {
    if (!json.is_object()) malformedJson(std::string(what) + " is not a JSON object");
}

// nullptr when the key is absent or null.
template <class Json>
const Json* optionalMember(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

template <class Json>
const Json& requiredMember(const Json& object, const char* key) {
    const Json* value = optionalMember(object, key);
    if (!value) malformedJson(std::string("\"") + key + "\" is missing");
    return *value;
}

template <class Json>
std::string readString(const Json& value, const char* key) {
    if (!value.is_string()) malformedJson(std::string("\"") + key + "\" is not a string");
    const auto& text = value.template get_ref<const typename Json::string_t&>();
    return std::string(text.begin(), text.end());
}

template <class Json>
bool readBool(const Json& value, const char* key) {
    if (!value.is_boolean()) malformedJson(std::string("\"") + key + "\" is not true or false");
    return value.template get<bool>();
}

template <class Json>
std::uint64_t readUnsigned(const Json& value, const char* key) {
    if (!value.is_number_unsigned()) malformedJson(std::string("\"") + key + "\" is not an unsigned integer");
    return value.template get<std::uint64_t>();
}

template <class Json>
Bytes readBase64(const Json& value, const char* key) {
    auto bytes = base64Decode(readString(value, key), Base64Variant::Standard);
    if (!bytes) malformedJson(std::string("\"") + key + "\" is not standard Base64");
    return std::move(*bytes);
}

}  // namespace vael::cryptodetail

#include "crypto/ItemPayload.h"

#include <sodium.h>

#include <array>

#include "crypto/CryptoError.h"
#include "crypto/JsonRead.h"
#include "crypto/SecretJson.h"

namespace vael {

using namespace cryptodetail;

namespace {

using Json = SecretOrderedJson;

constexpr std::array<std::string_view, 8> kKindTexts = {
    "username", "password", "token", "text", "otp", "file", "ssh_private_key", "ssh_public_key",
};

void wipe(std::string& text) {
    if (!text.empty()) sodium_memzero(text.data(), text.size());
}

SecretString secret(const std::string& text) { return SecretString(text.begin(), text.end()); }

Json stringList(const std::vector<std::string>& list) {
    Json array = Json::array();
    for (const auto& item : list) array.push_back(secret(item));
    return array;
}

std::vector<std::string> readStringList(const Json& value, const char* key) {
    if (!value.is_array()) malformedJson(std::string("\"") + key + "\" is not an array");
    std::vector<std::string> out;
    out.reserve(value.size());
    for (const auto& item : value) out.push_back(readString(item, key));
    return out;
}

ItemField readField(const Json& json) {
    requireObject(json, "an item field");
    ItemField field;
    field.label = readString(requiredMember(json, "label"), "label");
    const std::string kind = readString(requiredMember(json, "kind"), "kind");
    auto parsed = kindFromText(kind);
    if (!parsed) malformedJson("a field has an unknown kind");
    field.kind = *parsed;
    field.value = readString(requiredMember(json, "value"), "value");
    field.concealed = readBool(requiredMember(json, "concealed"), "concealed");
    return field;
}

}  // namespace

ItemField::~ItemField() { wipe(value); }

ItemPayload::~ItemPayload() {
    if (notes) wipe(*notes);
}

std::string_view kindText(ItemField::Kind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < kKindTexts.size() ? kKindTexts[index] : std::string_view();
}

std::optional<ItemField::Kind> kindFromText(std::string_view text) {
    for (std::size_t i = 0; i < kKindTexts.size(); ++i)
        if (kKindTexts[i] == text) return static_cast<ItemField::Kind>(i);
    return std::nullopt;
}

SecureBytes encodeItemPayload(const ItemPayload& payload) {
    Json json = Json::object();
    json["name"] = secret(payload.name);
    Json fields = Json::array();
    for (const auto& field : payload.fields) {
        Json f = Json::object();
        f["label"] = secret(field.label);
        const std::string_view kind = kindText(field.kind);
        if (kind.empty()) throw VaelCryptoError(VaelCryptoError::Code::InvalidArgument, "a field has an unknown kind");
        f["kind"] = SecretString(kind.begin(), kind.end());
        f["value"] = secret(field.value);
        f["concealed"] = field.concealed;
        fields.push_back(std::move(f));
    }
    json["fields"] = std::move(fields);
    if (payload.url) json["url"] = secret(*payload.url);
    if (payload.notes) json["notes"] = secret(*payload.notes);
    json["tags"] = stringList(payload.tags);
    if (payload.allowedHosts) json["allowedHosts"] = stringList(*payload.allowedHosts);
    if (payload.allowedCommands) json["allowedCommands"] = stringList(*payload.allowedCommands);
    if (payload.strictMatch) json["strictMatch"] = *payload.strictMatch;

    try {
        const SecretString text = json.dump();
        return SecureBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    } catch (const nlohmann::json::exception&) {
        throw VaelCryptoError(VaelCryptoError::Code::InvalidArgument, "the item holds text that is not valid UTF-8");
    }
}

ItemPayload decodeItemPayload(const SecureBytes& bytes) {
    Json json = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (json.is_discarded()) malformedJson("the item payload is not JSON");
    requireObject(json, "the item payload");

    ItemPayload payload;
    payload.name = readString(requiredMember(json, "name"), "name");
    const Json& fields = requiredMember(json, "fields");
    if (!fields.is_array()) malformedJson("\"fields\" is not an array");
    payload.fields.reserve(fields.size());
    for (const auto& field : fields) payload.fields.push_back(readField(field));
    if (const Json* url = optionalMember(json, "url")) payload.url = readString(*url, "url");
    if (const Json* notes = optionalMember(json, "notes")) payload.notes = readString(*notes, "notes");
    if (const Json* tags = optionalMember(json, "tags")) payload.tags = readStringList(*tags, "tags");
    if (const Json* hosts = optionalMember(json, "allowedHosts"))
        payload.allowedHosts = readStringList(*hosts, "allowedHosts");
    if (const Json* commands = optionalMember(json, "allowedCommands"))
        payload.allowedCommands = readStringList(*commands, "allowedCommands");
    if (const Json* strict = optionalMember(json, "strictMatch"))
        payload.strictMatch = readBool(*strict, "strictMatch");
    return payload;
}

}  // namespace vael

#include "app/auth/WebAuthnCodec.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "core/Base64.h"

namespace vael::WebAuthnCodec {

namespace {

using Json = nlohmann::json;

const Json& emptyObject() {
    static const Json empty = Json::object();
    return empty;
}

Json publicKey(const Bytes& data) {
    auto top = Json::parse(data.begin(), data.end(), nullptr, false);
    if (top.is_discarded() || !top.is_object()) throw CodecError("json");
    auto found = top.find("publicKey");
    if (found == top.end() || !found->is_object()) throw CodecError("publicKey");
    return std::move(*found);
}

// The member if it is an object, else an empty object.
const Json& objectAt(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_object() ? *found : emptyObject();
}

std::string textAt(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// Base64URL, padded or not: the URL alphabet is turned into the standard one, the padding made
// whole, then decoded strictly.
std::optional<Bytes> b64url(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    std::string text = found->get<std::string>();
    for (char& c : text) {
        if (c == '-') c = '+';
        else if (c == '_') c = '/';
    }
    while (text.size() % 4 != 0) text.push_back('=');
    return base64Decode(text, Base64Variant::Standard);
}

Bytes required(const Json& object, const char* key, const char* member) {
    auto bytes = b64url(object, key);
    if (!bytes) throw CodecError(member);
    return std::move(*bytes);
}

std::string url(const Bytes& bytes) { return base64Encode(bytes, Base64Variant::UrlNoPadding); }

Bytes serialise(const nlohmann::ordered_json& object) {
    // Only ASCII goes in, so this cannot fail.
    const std::string text = object.dump();
    return Bytes(text.begin(), text.end());
}

}  // namespace

CreationOptions parseCreation(const Bytes& data) {
    const Json pk = publicKey(data);
    CreationOptions options;
    options.challenge = required(pk, "challenge", "challenge");
    const Json& user = objectAt(pk, "user");
    options.userID = required(user, "id", "user.id");
    options.userName = textAt(user, "name");
    options.rpID = textAt(objectAt(pk, "rp"), "id");
    return options;
}

RequestOptions parseRequest(const Bytes& data) {
    const Json pk = publicKey(data);
    RequestOptions options;
    options.challenge = required(pk, "challenge", "challenge");
    options.rpID = textAt(pk, "rpId");
    const Json& eval = objectAt(objectAt(objectAt(pk, "extensions"), "prf"), "eval");
    options.prfSaltInput = required(eval, "first", "extensions.prf.eval.first");
    return options;
}

Bytes encodeCreationResponse(const CreationResult& result) {
    nlohmann::ordered_json response = nlohmann::ordered_json::object();
    response["clientDataJSON"] = url(result.clientDataJSON);
    response["attestationObject"] = url(result.attestationObject);
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    body["id"] = url(result.credentialID);
    body["rawId"] = url(result.credentialID);
    body["type"] = "public-key";
    body["response"] = std::move(response);
    body["clientExtensionResults"] = nlohmann::ordered_json::object();
    return serialise(body);
}

Bytes encodeAssertionResponse(const AssertionResult& result) {
    nlohmann::ordered_json response = nlohmann::ordered_json::object();
    response["clientDataJSON"] = url(result.clientDataJSON);
    response["authenticatorData"] = url(result.authenticatorData);
    response["signature"] = url(result.signature);
    response["userHandle"] = url(result.userHandle);
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    body["id"] = url(result.credentialID);
    body["rawId"] = url(result.credentialID);
    body["type"] = "public-key";
    body["response"] = std::move(response);
    body["clientExtensionResults"] = nlohmann::ordered_json::object();
    return serialise(body);
}

}  // namespace vael::WebAuthnCodec

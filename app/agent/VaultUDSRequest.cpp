#include "app/agent/VaultUDSRequest.h"

#include <array>

#include <nlohmann/json.hpp>

namespace vael {

namespace {

using Op = VaultUDSRequest::Op;

constexpr std::array<std::string_view, kVaultUDSOpCount> kOpTexts = {
    "resolve",        "preview",        "list",          "capture",        "secret_create", "secret_get",
    "secret_update",  "secret_delete",  "group_list",    "group_create",   "group_get",     "group_update",
    "group_delete",   "project_list",   "project_create", "project_get",   "project_update", "project_delete",
    "browser_match",  "browser_fill",   "browser_totp",  "browser_save",
};

// Null and absent are the same; any other type than a string fails the line.
bool readText(const nlohmann::json& object, const char* key, std::optional<std::string>& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool readTexts(const nlohmann::json& object, const char* key, std::optional<std::vector<std::string>>& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_array()) return false;
    std::vector<std::string> texts;
    texts.reserve(it->size());
    for (const auto& element : *it) {
        if (!element.is_string()) return false;
        texts.push_back(element.get<std::string>());
    }
    out = std::move(texts);
    return true;
}

}  // namespace

std::string_view toText(Op op) { return kOpTexts[static_cast<std::size_t>(op)]; }

std::optional<Op> opFromText(std::string_view text) {
    for (std::size_t i = 0; i < kOpTexts.size(); ++i) {
        if (kOpTexts[i] == text) return static_cast<Op>(i);
    }
    return std::nullopt;
}

std::optional<VaultUDSRequest> decodeRequest(std::string_view line) {
    // The JSON reader takes a NUL byte for the end of its input and would ignore what follows.
    if (line.find('\0') != std::string_view::npos) return std::nullopt;
    auto object = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
    if (object.is_discarded() || !object.is_object()) return std::nullopt;
    auto opIt = object.find("op");
    if (opIt == object.end() || !opIt->is_string()) return std::nullopt;
    auto op = opFromText(opIt->get_ref<const std::string&>());
    if (!op) return std::nullopt;

    VaultUDSRequest request;
    request.op = *op;
    bool ok = readText(object, "ref", request.ref) && readText(object, "id", request.id);
    if (!ok) return std::nullopt;
    if (auto it = object.find("approved"); it != object.end() && !it->is_null()) {
        if (!it->is_boolean()) return std::nullopt;
        request.approved = it->get<bool>();
    }
    ok = readText(object, "collection", request.collection) && readText(object, "query", request.query) &&
         readText(object, "name", request.name) && readText(object, "value", request.value) &&
         readText(object, "kind", request.kind) && readText(object, "username", request.username) &&
         readText(object, "group", request.group) && readText(object, "project", request.project) &&
         readText(object, "parent", request.parent) && readText(object, "url", request.url) &&
         readText(object, "field_label", request.fieldLabel) && readText(object, "ai_access", request.aiAccess) &&
         readTexts(object, "allowed_hosts", request.allowedHosts) &&
         readTexts(object, "allowed_commands", request.allowedCommands);
    if (!ok) return std::nullopt;
    return request;
}

std::string encodeRequest(const VaultUDSRequest& request) {
    nlohmann::ordered_json object;
    object["op"] = toText(request.op);
    auto put = [&](const char* key, const auto& field) {
        if (field) object[key] = *field;
    };
    put("ref", request.ref);
    put("id", request.id);
    put("approved", request.approved);
    put("collection", request.collection);
    put("query", request.query);
    put("name", request.name);
    put("value", request.value);
    put("kind", request.kind);
    put("username", request.username);
    put("group", request.group);
    put("project", request.project);
    put("parent", request.parent);
    put("url", request.url);
    put("field_label", request.fieldLabel);
    put("ai_access", request.aiAccess);
    put("allowed_hosts", request.allowedHosts);
    put("allowed_commands", request.allowedCommands);
    return object.dump();
}

}  // namespace vael

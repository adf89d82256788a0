// Any bytes a peer sends as one line: decoding never crashes, it agrees with a plain reading of
// the same rules over a parsed document, and whatever decodes writes back to a line that decodes
// to the same request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app/agent/VaultUDSRequest.h"

namespace {

using nlohmann::json;
using vael::VaultUDSRequest;

bool text(const json& object, const char* key, std::optional<std::string>& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool texts(const json& object, const char* key, std::optional<std::vector<std::string>>& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_array()) return false;
    std::vector<std::string> all;
    for (const auto& element : *it) {
        if (!element.is_string()) return false;
        all.push_back(element.get<std::string>());
    }
    out = std::move(all);
    return true;
}

std::optional<VaultUDSRequest> reference(std::string_view line) {
    if (line.find('\0') != std::string_view::npos) return std::nullopt;
    auto object = json::parse(line.begin(), line.end(), nullptr, false);
    if (object.is_discarded() || !object.is_object()) return std::nullopt;
    auto op = object.find("op");
    if (op == object.end() || !op->is_string()) return std::nullopt;
    VaultUDSRequest r;
    auto known = vael::opFromText(op->get<std::string>());
    if (!known) return std::nullopt;
    r.op = *known;
    if (auto it = object.find("approved"); it != object.end() && !it->is_null()) {
        if (!it->is_boolean()) return std::nullopt;
        r.approved = it->get<bool>();
    }
    bool ok = text(object, "ref", r.ref) && text(object, "id", r.id) && text(object, "collection", r.collection) &&
              text(object, "query", r.query) && text(object, "name", r.name) && text(object, "value", r.value) &&
              text(object, "kind", r.kind) && text(object, "username", r.username) &&
              text(object, "group", r.group) && text(object, "project", r.project) &&
              text(object, "parent", r.parent) && text(object, "url", r.url) &&
              text(object, "field_label", r.fieldLabel) && text(object, "ai_access", r.aiAccess) &&
              texts(object, "allowed_hosts", r.allowedHosts) && texts(object, "allowed_commands", r.allowedCommands);
    if (!ok) return std::nullopt;
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    auto request = vael::decodeRequest(line);
    if (request != reference(line)) std::abort();
    if (request) {
        auto again = vael::decodeRequest(vael::encodeRequest(*request));
        if (!again || *again != *request) std::abort();
    }
    return 0;
}

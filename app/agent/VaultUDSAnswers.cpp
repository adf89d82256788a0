#include "app/agent/VaultUDSAnswers.h"

#include <new>

#include <sodium.h>

#include <array>

namespace vael {

namespace {

constexpr std::array<std::string_view, 3> kTierTexts = {"injectable", "human_gated", "ai_hidden"};
constexpr std::array<std::string_view, 3> kDecisionTexts = {"allowed", "needs_approval", "refused"};

const char* managementMessage(VaultUDSManagementError::Case c) {
    switch (c) {
        case VaultUDSManagementError::Case::unsupported: return "operation not supported by this vault";
        case VaultUDSManagementError::Case::notFound:
            return "not found \u2014 no matching secret/group/project (use the exact ref/name from secret_list or "
                   "group_list)";
        case VaultUDSManagementError::Case::invalid: return "invalid or missing argument";
        case VaultUDSManagementError::Case::protectedDefault:
            return "the built-in default group/project cannot be deleted";
        case VaultUDSManagementError::Case::cancelled: return "cancelled by the user";
        case VaultUDSManagementError::Case::alreadyExists: return "already exists";
        case VaultUDSManagementError::Case::conflict:
            return "not written \u2014 it was changed elsewhere meanwhile (in Vael, by another agent or on the "
                   "server); read it again, then retry";
    }
    return "operation not supported by this vault";
}

using ojson = nlohmann::ordered_json;

// Keys are appended in order; room for all of them up front spares the regrowth.
ojson objectWithRoom(std::size_t keys) {
    ojson j = ojson::object();
    j.get_ref<ojson::object_t&>().reserve(keys);
    return j;
}

template <class T>
void putIfPresent(ojson& j, const char* key, const std::optional<T>& field) {
    if (field) j[key] = *field;
}

// Strict readers over a parsed answer. Each returns false when the key breaks the record's rules.
using json = nlohmann::json;

bool requireText(const json& j, const char* key, std::string& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool optionalText(const json& j, const char* key, std::optional<std::string>& out) {
    auto it = j.find(key);
    if (it == j.end() || it->is_null()) return true;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool optionalTexts(const json& j, const char* key, std::optional<std::vector<std::string>>& out) {
    auto it = j.find(key);
    if (it == j.end() || it->is_null()) return true;
    if (!it->is_array()) return false;
    std::vector<std::string> texts;
    for (const auto& e : *it) {
        if (!e.is_string()) return false;
        texts.push_back(e.get<std::string>());
    }
    out = std::move(texts);
    return true;
}

bool requireBool(const json& j, const char* key, bool& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
}

bool integer(const json& v, std::int64_t& out) {
    if (v.is_number_integer()) {
        if (v.is_number_unsigned() && v.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) return false;
        out = v.get<std::int64_t>();
        return true;
    }
    return false;
}

bool requireTier(const json& j, const char* key, UDSAIAccess& out) {
    std::string text;
    if (!requireText(j, key, text)) return false;
    auto tier = aiAccessFromText(text);
    if (!tier) return false;
    out = *tier;
    return true;
}

template <class T>
bool requireArray(const json& j, const char* key, std::vector<T>& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_array()) return false;
    for (const auto& e : *it) {
        auto element = decodeAnswer<T>(e);
        if (!element) return false;
        out.push_back(std::move(*element));
    }
    return true;
}

}  // namespace

std::string_view toText(UDSAIAccess tier) { return kTierTexts[static_cast<std::size_t>(tier)]; }

std::optional<UDSAIAccess> aiAccessFromText(std::string_view text) {
    for (std::size_t i = 0; i < kTierTexts.size(); ++i) {
        if (kTierTexts[i] == text) return static_cast<UDSAIAccess>(i);
    }
    return std::nullopt;
}

std::string_view toText(UDSDecision decision) { return kDecisionTexts[static_cast<std::size_t>(decision)]; }

std::optional<UDSDecision> decisionFromText(std::string_view text) {
    for (std::size_t i = 0; i < kDecisionTexts.size(); ++i) {
        if (kDecisionTexts[i] == text) return static_cast<UDSDecision>(i);
    }
    return std::nullopt;
}

VaultUDSManagementError::VaultUDSManagementError(Case c) : std::runtime_error(managementMessage(c)), case_(c) {}

VaultUDSManagementError::VaultUDSManagementError(Case c, const std::string& message)
    : std::runtime_error(message), case_(c) {}

VaultUDSManagementError VaultUDSManagementError::invalidBecause(std::string_view why) {
    return VaultUDSManagementError(Case::invalid, std::string(managementMessage(Case::invalid)) + " \u2014 " + std::string(why));
}

VaultUDSManagementError VaultUDSManagementError::alreadyExists(const std::string& name) {
    return VaultUDSManagementError(Case::alreadyExists,
                                   "\u201C" + name + "\u201D already exists in that folder \u2014 choose another name.");
}

namespace {

template <class Out>
void appendCompactTo(Out& out, ojson& json) {
    struct WipeSecrets {
        ojson& json;
        ~WipeSecrets() {
            if (!json.is_object()) return;
            for (const char* key : {"value", "password", "totp", "code", "username"}) {
                auto it = json.find(key);
                if (it != json.end() && it->is_string()) {
                    auto& text = it->get_ref<std::string&>();
                    sodium_memzero(text.data(), text.size());
                }
            }
        }
    } wipe{json};
    // The writer escapes strings through a buffer of its own: wiped too, or the last value written
    // stays on this thread's stack, which outlives the connection in the thread library's cache.
    using Writer = nlohmann::detail::serializer<ojson>;
    alignas(Writer) unsigned char storage[sizeof(Writer)];
    struct WipeWriter {
        unsigned char* storage;
        Writer* writer;
        ~WipeWriter() {
            writer->~Writer();
            sodium_memzero(storage, sizeof(Writer));
        }
    } writer{storage, new (storage) Writer(nlohmann::detail::output_adapter<char, Out>(out), ' ',
                                           nlohmann::detail::error_handler_t::strict)};
    writer.writer->dump(json, false, false, 0);
}

void wipeText(std::string& text) {
    if (!text.empty()) sodium_memzero(text.data(), text.size());
    text.clear();
}

void wipeText(std::optional<std::string>& text) {
    if (text) wipeText(*text);
}

}  // namespace

void appendCompact(std::string& out, ojson& json) { appendCompactTo(out, json); }

void appendCompact(cryptodetail::SecretString& out, ojson& json) { appendCompactTo(out, json); }

void wipeValues(VaultUDSResponse& answer) { wipeText(answer.value); }

void wipeValues(VaultUDSBrowserFill& answer) {
    wipeText(answer.username);
    wipeText(answer.password);
    wipeText(answer.totp);
}

void wipeValues(VaultUDSBrowserTotp& answer) { wipeText(answer.code); }

void to_json(ojson& j, const VaultUDSResponse& v) {
    j = objectWithRoom(9);
    j["decision"] = toText(v.decision);
    j["ai_access"] = toText(v.aiAccess);
    putIfPresent(j, "value", v.value);
    putIfPresent(j, "type", v.type);
    putIfPresent(j, "length", v.length);
    putIfPresent(j, "last4", v.last4);
    putIfPresent(j, "url", v.url);
    putIfPresent(j, "allowed_hosts", v.allowedHosts);
    putIfPresent(j, "allowed_commands", v.allowedCommands);
}

void to_json(ojson& j, const VaultUDSListEntry& v) {
    j = objectWithRoom(4);
    j["ref"] = v.ref;
    j["name"] = v.name;
    j["type"] = v.type;
    j["ai_access"] = toText(v.aiAccess);
}

void to_json(ojson& j, const VaultUDSSecretMetadata& v) {
    j = objectWithRoom(10);
    j["id"] = v.id;
    j["ref"] = v.ref;
    j["name"] = v.name;
    j["kind"] = v.kind;
    j["group"] = v.group;
    putIfPresent(j, "url", v.url);
    j["field_label"] = v.fieldLabel;
    j["ai_access"] = toText(v.aiAccess);
    putIfPresent(j, "allowed_hosts", v.allowedHosts);
    putIfPresent(j, "allowed_commands", v.allowedCommands);
}

void to_json(ojson& j, const VaultUDSBrowserItem& v) {
    j = objectWithRoom(7);
    j["id"] = v.id;
    j["name"] = v.name;
    putIfPresent(j, "username", v.username);
    putIfPresent(j, "url", v.url);
    j["group"] = v.group;
    j["strict"] = v.strict;
    j["has_otp"] = v.hasOtp;
}

void to_json(ojson& j, const VaultUDSBrowserMatches& v) {
    j = objectWithRoom(1);
    j["items"] = v.items;
}

void to_json(ojson& j, const VaultUDSBrowserFill& v) {
    j = objectWithRoom(3);
    putIfPresent(j, "username", v.username);
    j["password"] = v.password;
    putIfPresent(j, "totp", v.totp);
}

void to_json(ojson& j, const VaultUDSBrowserTotp& v) {
    j = objectWithRoom(2);
    j["code"] = v.code;
    j["remaining"] = v.remaining;
}

void to_json(ojson& j, const VaultUDSDeleteResult& v) {
    j = objectWithRoom(1);
    j["deleted"] = v.deleted;
}

void to_json(ojson& j, const VaultUDSGroup& v) {
    j = objectWithRoom(4);
    j["id"] = v.id;
    j["name"] = v.name;
    j["project"] = v.project;
    putIfPresent(j, "parent", v.parent);
}

void to_json(ojson& j, const VaultUDSGroupList& v) {
    j = objectWithRoom(1);
    j["groups"] = v.groups;
}

void to_json(ojson& j, const VaultUDSProject& v) {
    j = objectWithRoom(2);
    j["id"] = v.id;
    j["name"] = v.name;
}

void to_json(ojson& j, const VaultUDSProjectList& v) {
    j = objectWithRoom(1);
    j["projects"] = v.projects;
}

void to_json(ojson& j, const VaultUDSErrorEnvelope& v) {
    j = objectWithRoom(1);
    j["error"] = v.error;
}

template <>
std::optional<VaultUDSResponse> decodeAnswer<VaultUDSResponse>(const json& j) {
    if (!j.is_object()) return std::nullopt;
    VaultUDSResponse v;
    std::string decision;
    if (!requireText(j, "decision", decision)) return std::nullopt;
    auto d = decisionFromText(decision);
    if (!d || !requireTier(j, "ai_access", v.aiAccess)) return std::nullopt;
    v.decision = *d;
    if (!optionalText(j, "value", v.value) || !optionalText(j, "type", v.type)) return std::nullopt;
    if (auto it = j.find("length"); it != j.end() && !it->is_null()) {
        std::int64_t n = 0;
        if (!integer(*it, n)) return std::nullopt;
        v.length = n;
    }
    if (!optionalText(j, "last4", v.last4) || !optionalText(j, "url", v.url) ||
        !optionalTexts(j, "allowed_hosts", v.allowedHosts) ||
        !optionalTexts(j, "allowed_commands", v.allowedCommands)) {
        return std::nullopt;
    }
    return v;
}

template <>
std::optional<VaultUDSListEntry> decodeAnswer<VaultUDSListEntry>(const json& j) {
    VaultUDSListEntry v;
    if (!j.is_object() || !requireText(j, "ref", v.ref) || !requireText(j, "name", v.name) ||
        !requireText(j, "type", v.type) || !requireTier(j, "ai_access", v.aiAccess)) {
        return std::nullopt;
    }
    return v;
}

template <>
std::optional<std::vector<VaultUDSListEntry>> decodeAnswer<std::vector<VaultUDSListEntry>>(const json& j) {
    if (!j.is_array()) return std::nullopt;
    std::vector<VaultUDSListEntry> entries;
    for (const auto& e : j) {
        auto entry = decodeAnswer<VaultUDSListEntry>(e);
        if (!entry) return std::nullopt;
        entries.push_back(std::move(*entry));
    }
    return entries;
}

template <>
std::optional<VaultUDSSecretMetadata> decodeAnswer<VaultUDSSecretMetadata>(const json& j) {
    VaultUDSSecretMetadata v;
    if (!j.is_object() || !requireText(j, "id", v.id) || !requireText(j, "ref", v.ref) ||
        !requireText(j, "name", v.name) || !requireText(j, "kind", v.kind) || !requireText(j, "group", v.group) ||
        !optionalText(j, "url", v.url) || !requireText(j, "field_label", v.fieldLabel) ||
        !requireTier(j, "ai_access", v.aiAccess) || !optionalTexts(j, "allowed_hosts", v.allowedHosts) ||
        !optionalTexts(j, "allowed_commands", v.allowedCommands)) {
        return std::nullopt;
    }
    return v;
}

template <>
std::optional<VaultUDSBrowserItem> decodeAnswer<VaultUDSBrowserItem>(const json& j) {
    VaultUDSBrowserItem v;
    if (!j.is_object() || !requireText(j, "id", v.id) || !requireText(j, "name", v.name) ||
        !optionalText(j, "username", v.username) || !optionalText(j, "url", v.url) ||
        !requireText(j, "group", v.group) || !requireBool(j, "strict", v.strict) ||
        !requireBool(j, "has_otp", v.hasOtp)) {
        return std::nullopt;
    }
    return v;
}

template <>
std::optional<VaultUDSBrowserMatches> decodeAnswer<VaultUDSBrowserMatches>(const json& j) {
    VaultUDSBrowserMatches v;
    if (!j.is_object() || !requireArray(j, "items", v.items)) return std::nullopt;
    return v;
}

template <>
std::optional<VaultUDSBrowserFill> decodeAnswer<VaultUDSBrowserFill>(const json& j) {
    VaultUDSBrowserFill v;
    if (!j.is_object() || !optionalText(j, "username", v.username) || !requireText(j, "password", v.password) ||
        !optionalText(j, "totp", v.totp)) {
        return std::nullopt;
    }
    return v;
}

template <>
std::optional<VaultUDSBrowserTotp> decodeAnswer<VaultUDSBrowserTotp>(const json& j) {
    VaultUDSBrowserTotp v;
    if (!j.is_object() || !requireText(j, "code", v.code)) return std::nullopt;
    auto it = j.find("remaining");
    if (it == j.end() || !integer(*it, v.remaining)) return std::nullopt;
    return v;
}

template <>
std::optional<VaultUDSDeleteResult> decodeAnswer<VaultUDSDeleteResult>(const json& j) {
    VaultUDSDeleteResult v;
    if (!j.is_object() || !requireBool(j, "deleted", v.deleted)) return std::nullopt;
    return v;
}

template <>
std::optional<VaultUDSGroup> decodeAnswer<VaultUDSGroup>(const json& j) {
    VaultUDSGroup v;
    if (!j.is_object() || !requireText(j, "id", v.id) || !requireText(j, "name", v.name) ||
        !requireText(j, "project", v.project) || !optionalText(j, "parent", v.parent)) {
        return std::nullopt;
    }
    return v;
}

template <>
std::optional<VaultUDSGroupList> decodeAnswer<VaultUDSGroupList>(const json& j) {
    VaultUDSGroupList v;
    if (!j.is_object() || !requireArray(j, "groups", v.groups)) return std::nullopt;
    return v;
}

template <>
std::optional<VaultUDSProject> decodeAnswer<VaultUDSProject>(const json& j) {
    VaultUDSProject v;
    if (!j.is_object() || !requireText(j, "id", v.id) || !requireText(j, "name", v.name)) return std::nullopt;
    return v;
}

template <>
std::optional<VaultUDSProjectList> decodeAnswer<VaultUDSProjectList>(const json& j) {
    VaultUDSProjectList v;
    if (!j.is_object() || !requireArray(j, "projects", v.projects)) return std::nullopt;
    return v;
}

template <>
std::optional<VaultUDSErrorEnvelope> decodeAnswer<VaultUDSErrorEnvelope>(const json& j) {
    VaultUDSErrorEnvelope v;
    if (!j.is_object() || !requireText(j, "error", v.error)) return std::nullopt;
    return v;
}

}  // namespace vael

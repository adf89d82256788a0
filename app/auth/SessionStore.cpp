#include "app/auth/SessionStore.h"

#include <sodium.h>

#include <nlohmann/json.hpp>

namespace vael {

namespace {

void wipe(std::string& text) {
    if (!text.empty()) sodium_memzero(text.data(), text.size());
}

}  // namespace

SecureBytes encodeSessionEntry(const SessionEntry& entry) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["token"] = entry.token;
    object["expiresAt"] = toReferenceSeconds(entry.expiresAt);
    // A token is ASCII from the server; should it not be UTF-8, store it mended rather than fail the login.
    std::string text = object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    SecureBytes bytes(text);
    wipe(text);
    wipe(object["token"].get_ref<std::string&>());
    return bytes;
}

std::optional<SessionEntry> decodeSessionEntry(std::string_view json) {
    auto object = nlohmann::json::parse(json, nullptr, false);
    if (object.is_discarded() || !object.is_object()) return std::nullopt;
    const auto token = object.find("token");
    const auto expiresAt = object.find("expiresAt");
    std::optional<SessionEntry> entry;
    if (token != object.end() && token->is_string() && expiresAt != object.end() && expiresAt->is_number())
        entry = SessionEntry{token->get<std::string>(), fromReferenceSeconds(expiresAt->get<double>())};
    if (token != object.end() && token->is_string()) wipe(token->get_ref<std::string&>());
    return entry;
}

void InMemorySessionStore::save(const std::string& token, TimePoint expiresAt) {
    std::lock_guard lock(mutex_);
    entry_ = SessionEntry{token, expiresAt};
}

std::optional<SessionEntry> InMemorySessionStore::entry() const {
    std::lock_guard lock(mutex_);
    return entry_;
}

}  // namespace vael

#include "app/auth/SecretSessionStore.h"

#include <libsecret/secret.h>

namespace vael {

namespace {

// One schema per kind of item; the service and account are the item's attributes.
const SecretSchema* sessionSchema() {
    static const SecretSchema schema = [] {
        SecretSchema built{};
        built.name = "com.dastrel.vael.Session";
        built.flags = SECRET_SCHEMA_NONE;
        built.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        built.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return built;
    }();
    return &schema;
}

[[noreturn]] void raise(GError* error, const char* what) {
    const int code = error->code;
    std::string message = std::string(what) + ": " + (error->message != nullptr ? error->message : "unknown error");
    g_error_free(error);
    throw SessionStoreError(code, message);
}

}  // namespace

SecretSessionStore::SecretSessionStore(std::string service, std::string account)
    : service_(std::move(service)), account_(std::move(account)) {}

void SecretSessionStore::save(const std::string& token, TimePoint expiresAt) {
    SecureBytes json = encodeSessionEntry(SessionEntry{token, expiresAt});
    json.resize(json.size() + 1);  // the keyring takes a NUL-terminated text

    GError* error = nullptr;
    // FALSE without an error means there was nothing to delete.
    secret_password_clear_sync(sessionSchema(), nullptr, &error, "service", service_.c_str(), "account",
                               account_.c_str(), nullptr);
    if (error != nullptr) raise(error, "Could not replace the session in the keyring");

    secret_password_store_sync(sessionSchema(), SECRET_COLLECTION_DEFAULT, "Vael session",
                               reinterpret_cast<const char*>(json.data()), nullptr, &error, "service",
                               service_.c_str(), "account", account_.c_str(), nullptr);
    if (error != nullptr) raise(error, "Could not keep the session in the keyring");
}

std::optional<SessionEntry> SecretSessionStore::load() const {
    GError* error = nullptr;
    gchar* secret = secret_password_lookup_nonpageable_sync(sessionSchema(), nullptr, &error, "service",
                                                            service_.c_str(), "account", account_.c_str(), nullptr);
    if (error != nullptr) raise(error, "Could not read the session from the keyring");
    if (secret == nullptr) return std::nullopt;
    auto entry = decodeSessionEntry(secret);
    secret_password_free(secret);  // wipes it
    return entry;
}

}  // namespace vael

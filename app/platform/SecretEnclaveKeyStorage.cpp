#include "app/platform/SecretEnclaveKeyStorage.h"

#include <libsecret/secret.h>

#include "core/Log.h"

namespace vael {

namespace {

// One schema per kind of item; the service and account are the item's attributes.
const SecretSchema* deviceKeySchema() {
    static const SecretSchema schema = [] {
        SecretSchema built{};
        built.name = "com.dastrel.vael.DeviceKey";
        built.flags = SECRET_SCHEMA_NONE;
        built.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        built.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return built;
    }();
    return &schema;
}

std::int32_t failureCode(const GError* error) {
    // Never 0: 0 means success to the caller.
    return error->code != 0 ? static_cast<std::int32_t>(error->code) : -1;
}

}  // namespace

SecretEnclaveKeyStorage::SecretEnclaveKeyStorage(std::string service) : service_(std::move(service)) {}

std::optional<SecureBytes> SecretEnclaveKeyStorage::load(const std::string& account) {
    GError* error = nullptr;
    SecretValue* value = secret_password_lookup_binary_sync(deviceKeySchema(), nullptr, &error, "service",
                                                            service_.c_str(), "account", account.c_str(), nullptr);
    if (error != nullptr) {
        logMessage(LogLevel::Warning, "keyring", std::string("Could not read the device key: ") + error->message);
        g_error_free(error);
        return std::nullopt;
    }
    if (value == nullptr) return std::nullopt;
    gsize size = 0;
    const gchar* data = secret_value_get(value, &size);
    std::optional<SecureBytes> key;
    if (data != nullptr) key = SecureBytes(reinterpret_cast<const std::uint8_t*>(data), size);
    secret_value_unref(value);  // the value's memory is non-pageable and wiped by libsecret
    return key;
}

void SecretEnclaveKeyStorage::remove(const std::string& account) {
    GError* error = nullptr;
    // FALSE without an error means there was nothing to delete.
    secret_password_clear_sync(deviceKeySchema(), nullptr, &error, "service", service_.c_str(), "account",
                               account.c_str(), nullptr);
    if (error != nullptr) {
        logMessage(LogLevel::Warning, "keyring", std::string("Could not remove the device key: ") + error->message);
        g_error_free(error);
    }
}

std::int32_t SecretEnclaveKeyStorage::add(const std::string& account, const SecureBytes& keyData) {
    SecretValue* value = secret_value_new(reinterpret_cast<const gchar*>(keyData.data()),
                                          static_cast<gssize>(keyData.size()), "application/octet-stream");
    GError* error = nullptr;
    secret_password_store_binary_sync(deviceKeySchema(), SECRET_COLLECTION_DEFAULT, "Vael device key", value,
                                      nullptr, &error, "service", service_.c_str(), "account", account.c_str(),
                                      nullptr);
    secret_value_unref(value);
    if (error == nullptr) return 0;
    const std::int32_t code = failureCode(error);
    logMessage(LogLevel::Warning, "keyring", std::string("Could not keep the device key: ") + error->message);
    g_error_free(error);
    return code;
}

}  // namespace vael

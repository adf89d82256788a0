#include "app/custody/VaultConfig.h"

#include <sys/stat.h>

#include <cctype>
#include <mutex>
#include <nlohmann/json.hpp>

#include "app/custody/PrivateFiles.h"
#include "core/Base64.h"
#include "crypto/CryptoError.h"

namespace vael {

namespace {

using ordered_json = nlohmann::ordered_json;
using json = nlohmann::json;

[[noreturn]] void malformed(const std::string& what) {
    throw VaultConfigError(VaultConfigError::Kind::Malformed, "vault.json is damaged: " + what);
}

// An absolute URL: a scheme, a colon, and no white space or control characters.
bool isAbsoluteURL(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) return false;
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) return false;
    }
    return true;
}

const json* member(const json& object, const char* key, bool required) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        if (required) malformed(std::string("\"") + key + "\" is missing");
        return nullptr;
    }
    return &*it;
}

std::string text(const json& object, const char* key) {
    const json* value = member(object, key, true);
    if (!value->is_string()) malformed(std::string("\"") + key + "\" is not text");
    return value->get<std::string>();
}

ServerAccount decodeServerAccount(const json& value) {
    if (!value.is_object()) malformed("\"serverAccount\" is not an object");
    ServerAccount account{text(value, "baseURL"), text(value, "handle"), text(value, "accountID")};
    if (!isAbsoluteURL(account.baseURL)) malformed("\"baseURL\" is not a URL");
    return account;
}

std::mutex& updateLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

VaultConfig VaultConfig::fromNewVault(const NewVault& vault) {
    return VaultConfig{vault.wrappedKeys, vault.accountPublicKeys, vault.wrappedAccountPrivKeys, {}, {}, {}};
}

std::string encodeVaultConfig(const VaultConfig& config) {
    ordered_json out = ordered_json::object();
    out["wrappedKeys"] = config.wrappedKeys;
    out["accountPublicKeys"] = config.accountPublicKeys;
    out["wrappedAccountPrivKeys"] = base64Encode(config.wrappedAccountPrivKeys, Base64Variant::Standard);
    if (config.serverAccount) {
        out["serverAccount"] = ordered_json{{"baseURL", config.serverAccount->baseURL},
                                            {"handle", config.serverAccount->handle},
                                            {"accountID", config.serverAccount->accountID}};
    }
    if (config.serverBootstrapped) out["serverBootstrapped"] = *config.serverBootstrapped;
    if (config.autoLockMinutes) out["autoLockMinutes"] = *config.autoLockMinutes;
    return out.dump();
}

VaultConfig decodeVaultConfig(std::string_view text) {
    const json root = json::parse(text, nullptr, false);
    if (root.is_discarded()) malformed("not JSON");
    if (!root.is_object()) malformed("not a JSON object");
    VaultConfig config;
    try {
        const json* keys = member(root, "wrappedKeys", true);
        if (!keys->is_array()) malformed("\"wrappedKeys\" is not a list");
        config.wrappedKeys = keys->get<std::vector<WrappedKey>>();
        config.accountPublicKeys = member(root, "accountPublicKeys", true)->get<AccountPublicKeys>();
    } catch (const VaelCryptoError&) {
        malformed("a key record does not read");
    } catch (const json::exception&) {
        malformed("a key record does not read");
    }
    const json* priv = member(root, "wrappedAccountPrivKeys", true);
    if (!priv->is_string()) malformed("\"wrappedAccountPrivKeys\" is not text");
    auto bytes = base64Decode(priv->get_ref<const std::string&>(), Base64Variant::Standard);
    if (!bytes) malformed("\"wrappedAccountPrivKeys\" is not Base64");
    config.wrappedAccountPrivKeys = std::move(*bytes);
    if (const json* account = member(root, "serverAccount", false)) config.serverAccount = decodeServerAccount(*account);
    if (const json* flag = member(root, "serverBootstrapped", false)) {
        if (!flag->is_boolean()) malformed("\"serverBootstrapped\" is not true or false");
        config.serverBootstrapped = flag->get<bool>();
    }
    if (const json* minutes = member(root, "autoLockMinutes", false)) {
        if (!minutes->is_number_integer()) malformed("\"autoLockMinutes\" is not a whole number");
        if (minutes->is_number_unsigned() && minutes->get<std::uint64_t>() > INT64_MAX)
            malformed("\"autoLockMinutes\" is out of range");
        config.autoLockMinutes = minutes->get<std::int64_t>();
    }
    return config;
}

bool VaultConfigStore::exists() const {
    struct stat st {};
    return ::lstat(path_.c_str(), &st) == 0;
}

SaveOutcome VaultConfigStore::save(const VaultConfig& config) const {
    return writePrivateFileAtomically(path_, encodeVaultConfig(config));
}

VaultConfig VaultConfigStore::load() const {
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0)
        throw VaultConfigError(VaultConfigError::Kind::Missing, "There is no vault configuration at " + path_ + ".");
    if (!S_ISREG(st.st_mode))
        throw VaultConfigError(VaultConfigError::Kind::Unreadable,
                               path_ + " is not a file; move it away to create a new vault.");
    auto contents = readPrivateFile(path_);
    if (!contents)
        throw VaultConfigError(VaultConfigError::Kind::Missing, "There is no vault configuration at " + path_ + ".");
    return decodeVaultConfig(*contents);
}

VaultConfig VaultConfigStore::update(const std::function<void(VaultConfig&)>& change) const {
    std::lock_guard guard(updateLock());
    VaultConfig config = load();
    change(config);
    save(config);
    return config;
}

}  // namespace vael

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/custody/PrivateFiles.h"
#include "core/Bytes.h"
#include "crypto/KeyRecords.h"

namespace vael {

// The server account a vault is connected to.
struct ServerAccount {
    std::string baseURL;  // absolute URL text
    std::string handle;
    std::string accountID;
    bool operator==(const ServerAccount&) const = default;
};

// Everything known about a vault before it is unlocked: "vault.json". Holds nothing in the clear.
struct VaultConfig {
    std::vector<WrappedKey> wrappedKeys;
    AccountPublicKeys accountPublicKeys;
    Bytes wrappedAccountPrivKeys;
    std::optional<ServerAccount> serverAccount;
    std::optional<bool> serverBootstrapped;
    std::optional<std::int64_t> autoLockMinutes;

    // A fresh configuration for a vault just created; nothing else of the new vault is kept.
    static VaultConfig fromNewVault(const NewVault& vault);
};

class VaultConfigError : public std::runtime_error {
public:
    enum class Kind {
        Missing,    // nothing at the path
        Unreadable, // something there that is not a readable file
        Malformed,  // not JSON, a required key missing, or a value of the wrong type
    };
    VaultConfigError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// The compact JSON of the file; decoding is strict (null reads as absent, unknown keys are ignored).
std::string encodeVaultConfig(const VaultConfig& config);
VaultConfig decodeVaultConfig(std::string_view json);  // throws VaultConfigError(Malformed)

class VaultConfigStore {
public:
    explicit VaultConfigStore(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    // Whether anything is at the path; reads nothing.
    bool exists() const;
    // Replaces the file in one step; a failure throws and leaves the old file as it was. A folder
    // that could not be flushed after the file was replaced is no failure: it answers notYetFlushed.
    SaveOutcome save(const VaultConfig& config) const;
    // Throws VaultConfigError, or PrivateFileError when the folder is not private.
    VaultConfig load() const;
    // Reads the file afresh, lets `change` alter only the fields its caller owns, and writes it back,
    // all under one lock, so a writer that waited on the network cannot undo another's change.
    VaultConfig update(const std::function<void(VaultConfig&)>& change) const;

private:
    std::string path_;
};

}  // namespace vael

#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace vael {

// What the file locations depend on, read once from the process so that tests can hand in their own.
struct PathEnvironment {
    std::optional<std::string> dataHome;    // $XDG_DATA_HOME
    std::optional<std::string> home;        // $HOME, else the password database
    std::optional<std::string> runtimeDir;  // $XDG_RUNTIME_DIR
    std::optional<std::string> tempDir;     // $TMPDIR
    uid_t uid = 0;

    static PathEnvironment current();
};

// Where Vael keeps its files. The folder is made private by whoever touches the first file in it
// (ensurePrivateFolder), so building the paths never fails.
struct VaelPaths {
    std::string vaultConfig;  // "vault.json"
    std::string replica;      // "replica.sqlite"
    std::string socket;       // "vael.sock"

    VaelPaths() = default;
    VaelPaths(std::string vaultConfig, std::string replica, std::string socket)
        : vaultConfig(std::move(vaultConfig)), replica(std::move(replica)), socket(std::move(socket)) {}

    // The "Vael" folder under the user's data folder ($XDG_DATA_HOME, else ~/.local/share); when that
    // cannot be had, the private fallback folder. Creates the folder (0700) if it can.
    static VaelPaths standard();
    static VaelPaths standard(const PathEnvironment& environment);

    // A throw-away set sharing one fresh 8-character tag, in the private fallback folder. Touches no file.
    static VaelPaths temporary();
    static VaelPaths temporary(const PathEnvironment& environment);

    // "trusted-keys.json", always beside the configuration file.
    std::string trustedKeys() const;

    bool operator==(const VaelPaths&) const = default;
};

// The fixed folder used when the data folder cannot be had: $XDG_RUNTIME_DIR/Vael, else "Vael-<uid>"
// under the temporary folder, so that every start finds the same files.
std::string fallbackFolder(const PathEnvironment& environment);

}  // namespace vael

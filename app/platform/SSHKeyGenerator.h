#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/SecureBytes.h"

namespace vael {

enum class SSHKeyType { ed25519, rsa4096 };

inline constexpr std::array<SSHKeyType, 2> kAllSSHKeyTypes{SSHKeyType::ed25519, SSHKeyType::rsa4096};

std::string_view sshKeyTypeText(SSHKeyType type);                     // "ed25519", "rsa4096"
std::optional<SSHKeyType> sshKeyTypeFromText(std::string_view text);  // unknown text gives none
std::vector<std::string> keygenArguments(SSHKeyType type);            // the type's own ssh-keygen options

struct SSHKeyPair {
    SecureBytes privateKey;  // the private key file exactly as ssh-keygen wrote it
    std::string publicKey;   // one line: type, key, comment; no surrounding white space
    bool operator==(const SSHKeyPair&) const = default;
};

class SSHKeyError : public std::runtime_error {
public:
    enum class Kind { keygenFailed, fileExists };

    static SSHKeyError keygenFailed(std::string detail);
    static SSHKeyError fileExists(std::string fileName);

    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }  // the failure detail or the file name
    bool operator==(const SSHKeyError& other) const { return kind_ == other.kind_ && detail_ == other.detail_; }

private:
    SSHKeyError(Kind kind, std::string detail, const std::string& description)
        : std::runtime_error(description), kind_(kind), detail_(std::move(detail)) {}
    Kind kind_;
    std::string detail_;
};

// Key pairs made by the system's ssh-keygen, and their installation as the two files SSH clients
// expect. Generation is the only place the application starts another process.
namespace SSHKeyGenerator {

// Where generation runs; tests point these elsewhere.
struct Options {
    std::filesystem::path program = "/usr/bin/ssh-keygen";
    std::optional<std::filesystem::path> temporaryFolder;  // default: temporaryFolder()
};

// Blocks until ssh-keygen exits; run it off the interface thread. An empty passphrase makes an
// unencrypted key. Throws SSHKeyError::keygenFailed for a refused passphrase or a failed run, and
// std::system_error when the work folder, the process or the key files fail.
SSHKeyPair generate(SSHKeyType type, std::string_view comment, std::string_view passphrase,
                    const Options& options = {});

// Writes NAME (0600) and NAME.pub (0644) into FOLDER and answers the private key's path. Throws
// SSHKeyError::fileExists when either is already there, SSHKeyError::keygenFailed when a write fails.
std::filesystem::path install(const SSHKeyPair& pair, const std::string& name, const std::filesystem::path& folder);

// A key name as a file name: "My Laptop (work)" gives "id_my_laptop_work"; nothing usable gives "id_vael".
std::string suggestedFilename(std::string_view name);

// The per-user temporary folder: $XDG_RUNTIME_DIR when it is private to us (memory, never disk),
// else the system's temporary folder.
std::filesystem::path temporaryFolder();

}  // namespace SSHKeyGenerator

}  // namespace vael

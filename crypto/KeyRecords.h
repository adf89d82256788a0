#pragma once

// The key records of a vault: how a wrapped key was derived, which unlock method it serves, the
// account's public keys and what vault creation answers. Their JSON forms live in "vault.json".

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "core/SecureBytes.h"

namespace vael {

// How a key-encryption key is derived. Raw values are stored.
enum class KdfSelector : std::uint8_t {
    hkdfSha256 = 1,  // from a high-entropy secret (passkey PRF output, recovery code)
    argon2id = 2,    // from a passphrase
};

struct KdfParams {
    KdfSelector selector = KdfSelector::hkdfSha256;
    Bytes salt;
    std::uint64_t opsLimit = 0;  // Argon2id passes; 0 for HKDF
    std::uint64_t memLimit = 0;  // Argon2id memory in bytes; 0 for HKDF
    std::string info;            // domain label
    bool operator==(const KdfParams&) const = default;
};

// The cost of Argon2id for new passphrase keys. Tests pass a small one; the vault uses standard().
struct Argon2Cost {
    std::uint64_t opsLimit;
    std::uint64_t memLimit;
    // About half a second on a current desktop.
    static constexpr Argon2Cost standard() { return {4, 256ull << 20}; }
};

// The unlock method a wrapped key serves. Raw values are stored; values this build does not know are
// kept as they are and simply never match.
enum class UnlockMethod : std::uint8_t {
    passphrase = 0,
    prf = 1,  // a passkey's PRF output
    recoveryCode = 2,
};

// The vault key wrapped for one unlock method, with the parameters that derive its wrapping key.
struct WrappedKey {
    UnlockMethod method = UnlockMethod::passphrase;
    std::optional<KdfParams> kdfParams;
    Bytes sealedKey;
    bool operator==(const WrappedKey&) const = default;
};

// What unlocks the vault key.
class UnlockInput {
public:
    enum class Kind {
        passphrase,
        prf,             // a passkey's PRF output with the stored derivation parameters
        recoveryCode,    // the recovery code of the new vault
        recoveryPhrase,  // the offline escrow: the vault key itself in text form
    };

    static UnlockInput passphrase(SecureBytes passphrase);
    static UnlockInput prf(SecureBytes prfOutput, KdfParams params);
    static UnlockInput recoveryCode(SecureBytes code);
    static UnlockInput recoveryPhrase(SecureBytes phrase);

    Kind kind() const { return kind_; }
    const SecureBytes& secret() const { return secret_; }
    const std::optional<KdfParams>& kdfParams() const { return params_; }

private:
    UnlockInput(Kind kind, SecureBytes secret, std::optional<KdfParams> params)
        : kind_(kind), secret_(std::move(secret)), params_(std::move(params)) {}
    Kind kind_;
    SecureBytes secret_;
    std::optional<KdfParams> params_;
};

// The account's two public keys, in this order.
struct AccountPublicKeys {
    Bytes x25519;   // 32 bytes, sealed boxes to this account
    Bytes ed25519;  // 32 bytes, this account's grant signatures
    // The text other members compare out of band (VaultCrypto::fingerprint of the two keys).
    std::string fingerprint() const;
    bool operator==(const AccountPublicKeys&) const = default;
};

// A vault just created: nothing here is written anywhere by the library.
struct NewVault {
    std::vector<WrappedKey> wrappedKeys;  // passphrase key, then recovery-code key
    SecureBytes recoveryCode;             // always present
    std::optional<SecureBytes> recoveryPhrase;  // present with the escrow
    AccountPublicKeys accountPublicKeys;
    Bytes wrappedAccountPrivKeys;
};

// JSON forms (standard Base64 for bytes). Readers are strict: a missing key or a wrong type raises
// VaelCryptoError::Code::MalformedInput; null reads as absent for optional members; unknown keys are
// ignored.
void to_json(nlohmann::json& json, const KdfParams& value);
void to_json(nlohmann::ordered_json& json, const KdfParams& value);
void from_json(const nlohmann::json& json, KdfParams& value);
void from_json(const nlohmann::ordered_json& json, KdfParams& value);

void to_json(nlohmann::json& json, const WrappedKey& value);
void to_json(nlohmann::ordered_json& json, const WrappedKey& value);
void from_json(const nlohmann::json& json, WrappedKey& value);
void from_json(const nlohmann::ordered_json& json, WrappedKey& value);

void to_json(nlohmann::json& json, const AccountPublicKeys& value);
void to_json(nlohmann::ordered_json& json, const AccountPublicKeys& value);
void from_json(const nlohmann::json& json, AccountPublicKeys& value);
void from_json(const nlohmann::ordered_json& json, AccountPublicKeys& value);

}  // namespace vael

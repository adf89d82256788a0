#pragma once

// Wrapping small secrets (such as a vault key) to a device key: a P-256 key-agreement key whose
// private part lives in the user's keyring. Blob: ephemeral P-256 public key (65 bytes, X9.63
// uncompressed) || 24-byte nonce || XChaCha20-Poly1305 IETF ciphertext with its tag, no associated
// data; the wrapping key is HKDF-SHA256 over the ECDH secret, empty salt, info "vael/se-kek/v1".

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/Bytes.h"
#include "core/SecureBytes.h"

namespace vael {

class SecureEnclaveStoreError : public std::runtime_error {
public:
    enum class Code {
        keychain,      // the key's storage refused it; status() holds its status code
        noKey,         // no key is stored for the account
        wrapFailed,    // encryption gave nothing, or a blob shorter than 90 bytes
        unwrapFailed,  // a blob that does not decrypt and verify under this key
    };

    explicit SecureEnclaveStoreError(Code code, std::int32_t status = 0);
    Code code() const { return code_; }
    std::int32_t status() const { return status_; }

private:
    Code code_;
    std::int32_t status_;
};

// The crypto library's interface for a device-bound wrapping key.
class SecureEnclaveKeyStore {
public:
    virtual ~SecureEnclaveKeyStore() = default;
    virtual Bytes wrap(const SecureBytes& plaintext) = 0;
    virtual SecureBytes unwrap(const Bytes& blob) = 0;
    virtual bool hasKey() = 0;
    virtual void createKey() = 0;
};

// Where the device key's private part is kept, one item per account: the keyring in the application,
// memory in tests.
class EnclaveKeyStorage {
public:
    virtual ~EnclaveKeyStorage() = default;
    // The stored key data; nothing when there is none or it cannot be read.
    virtual std::optional<SecureBytes> load(const std::string& account) = 0;
    // Removes the account's item; the outcome does not matter to the caller.
    virtual void remove(const std::string& account) = 0;
    // Stores a new item; answers 0 on success, else the storage's status code.
    virtual std::int32_t add(const std::string& account, const SecureBytes& keyData) = 0;
};

class InMemoryEnclaveKeyStorage final : public EnclaveKeyStorage {
public:
    std::optional<SecureBytes> load(const std::string& account) override;
    void remove(const std::string& account) override;
    std::int32_t add(const std::string& account, const SecureBytes& keyData) override;

private:
    std::mutex mutex_;
    std::map<std::string, SecureBytes> items_;
};

// The key store on Linux: the P-256 key is made and used with OpenSSL 3. Keeps no state of its own;
// every call loads the key afresh. Errors of P-256 key handling (an unreadable stored key, an invalid
// ephemeral key in a blob) are VaelCryptoError (MalformedInput; Internal when OpenSSL fails).
class LiveSecureEnclaveKeyStore final : public SecureEnclaveKeyStore {
public:
    static constexpr std::size_t kPublicKeyBytes = 65;
    static constexpr std::size_t kHeaderBytes = kPublicKeyBytes + 24;  // public key and nonce
    static constexpr std::size_t kMinimumBlobBytes = 90;                // shorter: wrapFailed

    LiveSecureEnclaveKeyStore(std::string account, std::shared_ptr<EnclaveKeyStorage> storage);

    Bytes wrap(const SecureBytes& plaintext) override;
    SecureBytes unwrap(const Bytes& blob) override;
    bool hasKey() override;
    // A new key replaces the old one: blobs wrapped before no longer unwrap.
    void createKey() override;

private:
    std::string account_;
    std::shared_ptr<EnclaveKeyStorage> storage_;
};

}  // namespace vael

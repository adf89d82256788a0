#pragma once

// Vael's vault crypto library: algorithms and formats.
//
// Primitives: XChaCha20-Poly1305 IETF for every blob, Argon2id (crypto_pwhash) for passphrases,
// X25519 sealed boxes, Ed25519 signatures and BLAKE2b subkeys (crypto_kdf), all from libsodium;
// HKDF-SHA256, HMAC for one-time codes and P-256 for the device-key store from OpenSSL 3.
//
// Envelope: every blob is 0x01 || 24-byte random nonce || ciphertext || 16-byte tag. Its associated
// data is a domain label, 0x00, 0x01 and the context named below, so no blob opens in another role.
//
// Vault key: 32 random bytes, wrapped once per unlock method ("vael/vault-key"; context: the method
// byte and every derivation parameter, so stored parameters cannot be swapped).
// - Passphrase: Argon2id over the passphrase's bytes, 16-byte salt, 256 MiB and 4 passes by default
//   (never below 64 MiB and 3 passes outside tests), parameters stored beside the key.
// - Passkey: HKDF-SHA256 over the PRF output with the stored salt and info "vael/prf-kek/v1".
// - Recovery code: 20 random bytes shown as 32 Base32 characters in groups of four; HKDF-SHA256 with
//   its own salt and "vael/recovery-kek/v1".
// - Recovery phrase (the optional escrow): the vault key itself and a 3-byte check (BLAKE2b), 56
//   Base32 characters in groups of four; it opens the vault without any wrapped key.
// Subkeys of the vault key (crypto_kdf, context "vaelvk01"): 1 wraps the account private keys
// ("vael/account-keys": X25519 secret || Ed25519 seed); 2 wraps group keys to self ("vael/group-key").
//
// Objects: sealBlob draws a fresh 32-byte object key. The blob is its envelope ("vael/blob"; context:
// the owner id). The wrapped key is the group key's envelope of owner id || object key
// ("vael/object-key"), so rewrapping needs no owner id and opening checks it.
// Sharing: a group key sealed to a member is 0x01 || crypto_box_seal(key). A grant signature is Ed25519
// over "vael/grant/v1" || group id || key epoch (u32 big-endian) || keyed BLAKE2b-256 commitment to
// the key || recipient X25519 key || project id. Fingerprint: SHA-256 over "vael/fingerprint/v1" and
// the two length-prefixed public keys; its first 20 bytes as lower-case hex in groups of four.
// Group-key handles: a CollectionKey holds its key sealed under a session key drawn at unlock and
// wiped by lock(), so a handle kept past lock opens and seals nothing, even after the next unlock.

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"
#include "core/SecureBytes.h"
#include "core/Uuid.h"
#include "crypto/CryptoError.h"
#include "crypto/KeyRecords.h"

namespace vael {

// An open group key, usable only through the VaultCrypto object that handed it out and only while
// that object stays unlocked in the same session. Copyable; holds no key in the clear.
class CollectionKey {
public:
    CollectionKey() = default;
    bool empty() const { return sealed_.empty(); }

private:
    friend class VaultCrypto;
    explicit CollectionKey(Bytes sealed) : sealed_(std::move(sealed)) {}
    Bytes sealed_;
};

// What sealing a plaintext gives: the blob and its per-object key wrapped under the group key.
struct SealedBlob {
    Bytes blob;
    Bytes wrappedKey;
};

// The vault-crypto object: built locked, unlocked and locked in place. Unlocking and locking take the
// object's lock alone; every other member shares it, so one object may be shared between threads and
// many blobs open at once.
//
// Errors are VaelCryptoError; callers tell the cases apart by code():
// - Locked: the object is locked, or a CollectionKey comes from a session that has since been locked;
// - WrongPassphrase: the unlock input opens none of the wrapped keys;
// - AuthenticationFailed: a blob, wrapped or sealed key that does not open under the given key
//   (tampered, or not this vault's / this owner's / this account's);
// - MalformedInput: bytes that are not of the expected format or version;
// - InvalidArgument: a caller's argument out of range (empty passphrase, key sizes, parameters).
class VaultCrypto {
public:
    static constexpr int kEnvelopeVersion = 1;

    // passphraseCost applies to passphrase keys added later with addUnlockMethod.
    explicit VaultCrypto(Argon2Cost passphraseCost = Argon2Cost::standard());
    ~VaultCrypto();
    VaultCrypto(const VaultCrypto&) = delete;
    VaultCrypto& operator=(const VaultCrypto&) = delete;

    // A new vault: vault key wrapped for the passphrase and the recovery code, the recovery phrase
    // when withEscrow, and new account key pairs. Needs no object and writes nothing.
    static NewVault createVault(const SecureBytes& passphrase, bool withEscrow,
                                Argon2Cost cost = Argon2Cost::standard());

    // The text two people compare out of band; the same keys always give the same text. Never fails.
    static std::string fingerprint(const Bytes& x25519, const Bytes& ed25519);

    // Unlocks in place; on failure the object keeps its previous state.
    void unlock(const std::vector<WrappedKey>& wrappedKeys, const Bytes& wrappedAccountPrivKeys,
                const UnlockInput& input);
    // The vault key wrapped for one more unlock method (passphrase, passkey PRF or recovery code).
    WrappedKey addUnlockMethod(const UnlockInput& input);
    // Wipes every key; never fails.
    void lock();
    bool isUnlocked() const;

    SealedBlob sealBlob(const SecureBytes& plaintext, const Uuid& id, const CollectionKey& key);
    SecureBytes openBlob(int version, const Bytes& blob, const Uuid& id, const Bytes& wrappedKey,
                         const CollectionKey& key);

    // A keyed digest of an item's canonical name under its group's key (BLAKE2b keyed by a subkey of
    // the group key), so that a replica can find an item by name without opening every name. Equal
    // names in one group give equal tags; a tag tells nothing else.
    static constexpr std::size_t kNameTagBytes = 16;
    Bytes nameTag(const CollectionKey& key, std::string_view canonicalName);

    CollectionKey newCollectionKey();
    Bytes wrapCollectionKeyToSelf(const CollectionKey& key);
    CollectionKey unwrapCollectionKey(const Bytes& wrapped);
    Bytes rewrapItemKey(const Bytes& wrappedItemKey, const CollectionKey& from, const CollectionKey& to);

    Bytes sealCollectionKey(const CollectionKey& key, const Bytes& recipientX25519);
    CollectionKey openSealedCollectionKey(const Bytes& sealed);

    Bytes signGrant(const Uuid& collectionID, std::uint32_t keyEpoch, const CollectionKey& collectionKey,
                    const Bytes& recipientX25519, const Uuid& orgID);
    // Whether signature is signerEd25519's grant of exactly this key to this recipient.
    bool verifyGrant(const Bytes& signature, const Uuid& collectionID, std::uint32_t keyEpoch,
                     const CollectionKey& collectionKey, const Bytes& recipientX25519, const Uuid& orgID,
                     const Bytes& signerEd25519);

private:
    struct Session;
    Session& session();  // the current session; raises Locked without one
    SecureBytes openHandle(const CollectionKey& key);
    CollectionKey makeHandle(const SecureBytes& key);

    mutable std::shared_mutex mutex_;
    Argon2Cost passphraseCost_;
    std::unique_ptr<Session> session_;  // null while locked
};

}  // namespace vael

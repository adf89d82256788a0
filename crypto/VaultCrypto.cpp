#include "crypto/VaultCrypto.h"

#include <sodium.h>

#include <optional>
#include <mutex>
#include <shared_mutex>

#include "crypto/Base32.h"
#include "crypto/Primitives.h"

namespace vael {

using namespace cryptodetail;

namespace {

using Code = VaelCryptoError::Code;

constexpr char kSubkeyContext[crypto_kdf_CONTEXTBYTES + 1] = "vaelvk01";
constexpr std::uint64_t kAccountKeysSubkey = 1;
constexpr std::uint64_t kGroupKeysSubkey = 2;
// Subkey of a group key that keys its items' name tags.
constexpr char kNameTagContext[crypto_kdf_CONTEXTBYTES + 1] = "vaelnt01";
constexpr std::uint64_t kNameTagSubkey = 1;

constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kRecoveryCodeBytes = 20;
constexpr std::size_t kPhraseCheckBytes = 3;
constexpr std::size_t kMinPrfOutputBytes = 16;
constexpr std::size_t kObjectKeyPlainBytes = 16 + kKeyBytes;  // owner id || object key
constexpr std::size_t kSealedCollectionKeyBytes = 1 + crypto_box_SEALBYTES + kKeyBytes;
// Upper bounds on stored Argon2id parameters, so a crafted file cannot exhaust the machine.
constexpr std::uint64_t kMaxOpsLimit = 32;
constexpr std::uint64_t kMaxMemLimit = 2ull << 30;

constexpr std::string_view kPassphraseInfo = "vael/passphrase-kek/v1";
constexpr std::string_view kRecoveryInfo = "vael/recovery-kek/v1";

[[noreturn]] void fail(Code code, const char* message) { throw VaelCryptoError(code, message); }

bool usable(const KdfParams& p) {
    if (p.info.empty() || p.info.size() > 128) return false;
    switch (p.selector) {
        case KdfSelector::hkdfSha256:
            return p.salt.size() >= kSaltBytes && p.salt.size() <= 64;
        case KdfSelector::argon2id:
            return p.salt.size() == crypto_pwhash_SALTBYTES && p.opsLimit >= crypto_pwhash_OPSLIMIT_MIN &&
                   p.opsLimit <= kMaxOpsLimit && p.memLimit >= crypto_pwhash_MEMLIMIT_MIN &&
                   p.memLimit <= kMaxMemLimit;
    }
    return false;
}

SecureBytes deriveKek(const SecureBytes& secret, const KdfParams& p) {
    if (p.selector == KdfSelector::hkdfSha256) return hkdfSha256(secret.data(), secret.size(), p.salt, p.info, kKeyBytes);
    SecureBytes kek(kKeyBytes);
    static const char kEmpty = 0;
    if (crypto_pwhash(kek.data(), kek.size(), secret.empty() ? &kEmpty : reinterpret_cast<const char*>(secret.data()),
                      secret.size(), p.salt.data(), p.opsLimit, static_cast<std::size_t>(p.memLimit),
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        fail(Code::Internal, "the passphrase key derivation ran out of memory");
    return kek;
}

Bytes vaultKeyAd(UnlockMethod method, const std::optional<KdfParams>& params) {
    Bytes ad = associatedData("vael/vault-key");
    ad.push_back(static_cast<std::uint8_t>(method));
    if (!params) {
        ad.push_back(0);
        return ad;
    }
    ad.push_back(1);
    ad.push_back(static_cast<std::uint8_t>(params->selector));
    appendBigEndian32(ad, static_cast<std::uint32_t>(params->salt.size()));
    appendBytes(ad, params->salt.data(), params->salt.size());
    appendBigEndian64(ad, params->opsLimit);
    appendBigEndian64(ad, params->memLimit);
    appendBigEndian32(ad, static_cast<std::uint32_t>(params->info.size()));
    appendBytes(ad, reinterpret_cast<const std::uint8_t*>(params->info.data()), params->info.size());
    return ad;
}

WrappedKey wrapVaultKey(const SecureBytes& vaultKey, UnlockMethod method, KdfParams params, const SecureBytes& kek) {
    WrappedKey key;
    key.method = method;
    key.sealedKey = envelopeSeal(kek, vaultKey.data(), vaultKey.size(), vaultKeyAd(method, params));
    key.kdfParams = std::move(params);
    return key;
}

std::optional<SecureBytes> tryOpenVaultKey(const WrappedKey& key, const SecureBytes& kek) {
    try {
        SecureBytes vaultKey = envelopeOpen(kek, key.sealedKey, vaultKeyAd(key.method, key.kdfParams));
        if (vaultKey.size() == kKeyBytes) return vaultKey;
    } catch (const VaelCryptoError&) {
    }
    return std::nullopt;
}

SecureBytes subkey(const SecureBytes& vaultKey, std::uint64_t id) {
    SecureBytes out(kKeyBytes);
    crypto_kdf_derive_from_key(out.data(), out.size(), id, kSubkeyContext, vaultKey.data());
    return out;
}

Bytes accountKeysAd() { return associatedData("vael/account-keys"); }
Bytes groupKeyAd() { return associatedData("vael/group-key"); }
Bytes objectKeyAd() { return associatedData("vael/object-key"); }
Bytes handleAd() { return associatedData("vael/session-handle"); }

Bytes blobAd(const Uuid& owner) {
    Bytes ad = associatedData("vael/blob");
    appendBytes(ad, owner.bytes.data(), owner.bytes.size());
    return ad;
}

KdfParams freshParams(KdfSelector selector, std::uint64_t ops, std::uint64_t mem, std::string_view info) {
    return KdfParams{selector, randomBytes(kSaltBytes), ops, mem, std::string(info)};
}

KdfParams passphraseParams(Argon2Cost cost) {
    KdfParams params = freshParams(KdfSelector::argon2id, cost.opsLimit, cost.memLimit, kPassphraseInfo);
    if (!usable(params)) fail(Code::InvalidArgument, "the Argon2id cost is out of range");
    return params;
}

// Groups of four Base32 characters joined by "-".
SecureBytes groupedText(const SecureBytes& raw) {
    std::string encoded = base32Encode(raw.data(), raw.size());
    SecureBytes text;
    text.resize(encoded.size() + encoded.size() / 4);
    std::size_t n = 0;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (i > 0 && i % 4 == 0) text[n++] = '-';
        text[n++] = static_cast<std::uint8_t>(encoded[i]);
    }
    text.resize(n);
    sodium_memzero(encoded.data(), encoded.size());
    return text;
}

// Separators and white space are ignored; case does not matter.
std::optional<SecureBytes> parseGroupedText(const SecureBytes& text, std::size_t expectedBytes) {
    SecureBytes cleaned;
    cleaned.resize(text.size());
    std::size_t n = 0;
    for (std::uint8_t c : text)
        if (c != '-' && c != ' ' && c != '\t' && c != '\n' && c != '\r') cleaned[n++] = c;
    cleaned.resize(n);
    auto decoded = base32Decode(cleaned.view());
    if (!decoded) return std::nullopt;
    SecureBytes raw(std::move(*decoded));
    if (raw.size() != expectedBytes) return std::nullopt;
    return raw;
}

SecureBytes phraseCheck(const std::uint8_t* vaultKey) {
    static constexpr std::string_view kLabel = "vael/escrow-check/v1";
    SecureBytes digest(crypto_generichash_BYTES);
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, digest.size());
    crypto_generichash_update(&state, reinterpret_cast<const std::uint8_t*>(kLabel.data()), kLabel.size());
    crypto_generichash_update(&state, vaultKey, kKeyBytes);
    crypto_generichash_final(&state, digest.data(), digest.size());
    digest.resize(kPhraseCheckBytes);
    return digest;
}

SecureBytes recoveryPhraseFor(const SecureBytes& vaultKey) {
    SecureBytes raw(kKeyBytes + kPhraseCheckBytes);
    std::copy(vaultKey.begin(), vaultKey.end(), raw.data());
    SecureBytes check = phraseCheck(vaultKey.data());
    std::copy(check.begin(), check.end(), raw.data() + kKeyBytes);
    return groupedText(raw);
}

std::optional<SecureBytes> vaultKeyFromPhrase(const SecureBytes& phrase) {
    auto raw = parseGroupedText(phrase, kKeyBytes + kPhraseCheckBytes);
    if (!raw) return std::nullopt;
    SecureBytes check = phraseCheck(raw->data());
    if (sodium_memcmp(check.data(), raw->data() + kKeyBytes, kPhraseCheckBytes) != 0) return std::nullopt;
    raw->resize(kKeyBytes);
    return raw;
}

void requireUsableInputParams(const UnlockInput& input) {
    if (!input.kdfParams() || input.kdfParams()->selector != KdfSelector::hkdfSha256 || !usable(*input.kdfParams()))
        fail(Code::InvalidArgument, "the passkey input's derivation parameters are not usable");
    if (input.secret().size() < kMinPrfOutputBytes) fail(Code::InvalidArgument, "the passkey output is too short");
}

SecureBytes openVaultKey(const std::vector<WrappedKey>& keys, const UnlockInput& input) {
    switch (input.kind()) {
        case UnlockInput::Kind::passphrase:
            for (const auto& key : keys) {
                if (key.method != UnlockMethod::passphrase || !key.kdfParams ||
                    key.kdfParams->selector != KdfSelector::argon2id || !usable(*key.kdfParams))
                    continue;
                if (auto vaultKey = tryOpenVaultKey(key, deriveKek(input.secret(), *key.kdfParams))) return *vaultKey;
            }
            break;
        case UnlockInput::Kind::prf: {
            requireUsableInputParams(input);
            const SecureBytes kek = deriveKek(input.secret(), *input.kdfParams());
            for (const auto& key : keys)
                if (key.method == UnlockMethod::prf)
                    if (auto vaultKey = tryOpenVaultKey(key, kek)) return *vaultKey;
            break;
        }
        case UnlockInput::Kind::recoveryCode: {
            auto code = parseGroupedText(input.secret(), kRecoveryCodeBytes);
            if (!code) break;
            for (const auto& key : keys) {
                if (key.method != UnlockMethod::recoveryCode || !key.kdfParams ||
                    key.kdfParams->selector != KdfSelector::hkdfSha256 || !usable(*key.kdfParams))
                    continue;
                if (auto vaultKey = tryOpenVaultKey(key, deriveKek(*code, *key.kdfParams))) return *vaultKey;
            }
            break;
        }
        case UnlockInput::Kind::recoveryPhrase:
            if (auto vaultKey = vaultKeyFromPhrase(input.secret())) return *vaultKey;
            break;
    }
    fail(Code::WrongPassphrase, "the unlock input opens none of the vault's keys");
}

Bytes keyCommitment(const SecureBytes& key) {
    static constexpr std::string_view kLabel = "vael/key-commitment/v1";
    Bytes out(crypto_generichash_BYTES);
    crypto_generichash(out.data(), out.size(), reinterpret_cast<const std::uint8_t*>(kLabel.data()), kLabel.size(),
                       key.data(), key.size());
    return out;
}

Bytes grantMessage(const Uuid& collectionID, std::uint32_t keyEpoch, const SecureBytes& key,
                   const Bytes& recipientX25519, const Uuid& orgID) {
    static constexpr std::string_view kLabel = "vael/grant/v1";
    Bytes message(kLabel.begin(), kLabel.end());
    appendBytes(message, collectionID.bytes.data(), collectionID.bytes.size());
    appendBigEndian32(message, keyEpoch);
    const Bytes commitment = keyCommitment(key);
    appendBytes(message, commitment.data(), commitment.size());
    appendBytes(message, recipientX25519.data(), recipientX25519.size());
    appendBytes(message, orgID.bytes.data(), orgID.bytes.size());
    return message;
}

void requirePublicKey(const Bytes& key) {
    if (key.size() != crypto_box_PUBLICKEYBYTES) fail(Code::InvalidArgument, "an X25519 public key must be 32 bytes");
}

}  // namespace

struct VaultCrypto::Session {
    SecureBytes vaultKey;
    SecureBytes groupWrapKey;
    SecureBytes x25519Secret;
    Bytes x25519Public;
    SecureBytes ed25519Secret;  // libsodium's 64-byte form
    SecureBytes handleKey;
};

VaultCrypto::VaultCrypto(Argon2Cost passphraseCost) : passphraseCost_(passphraseCost) { ensureSodium(); }

VaultCrypto::~VaultCrypto() { lock(); }

NewVault VaultCrypto::createVault(const SecureBytes& passphrase, bool withEscrow, Argon2Cost cost) {
    ensureSodium();
    if (passphrase.empty()) fail(Code::InvalidArgument, "the passphrase is empty");
    KdfParams params = passphraseParams(cost);

    const SecureBytes vaultKey = randomSecret(kKeyBytes);
    NewVault vault;
    vault.wrappedKeys.push_back(
        wrapVaultKey(vaultKey, UnlockMethod::passphrase, params, deriveKek(passphrase, params)));

    const SecureBytes code = randomSecret(kRecoveryCodeBytes);
    KdfParams codeParams = freshParams(KdfSelector::hkdfSha256, 0, 0, kRecoveryInfo);
    vault.wrappedKeys.push_back(
        wrapVaultKey(vaultKey, UnlockMethod::recoveryCode, codeParams, deriveKek(code, codeParams)));
    vault.recoveryCode = groupedText(code);
    if (withEscrow) vault.recoveryPhrase = recoveryPhraseFor(vaultKey);

    // Account keys: X25519 secret || Ed25519 seed.
    SecureBytes secrets = randomSecret(2 * kKeyBytes);
    Bytes x25519Public(crypto_scalarmult_BYTES);
    crypto_scalarmult_base(x25519Public.data(), secrets.data());
    Bytes ed25519Public(crypto_sign_PUBLICKEYBYTES);
    SecureBytes ed25519Secret(crypto_sign_SECRETKEYBYTES);
    crypto_sign_seed_keypair(ed25519Public.data(), ed25519Secret.data(), secrets.data() + kKeyBytes);
    vault.accountPublicKeys = AccountPublicKeys{std::move(x25519Public), std::move(ed25519Public)};
    vault.wrappedAccountPrivKeys =
        envelopeSeal(subkey(vaultKey, kAccountKeysSubkey), secrets.data(), secrets.size(), accountKeysAd());
    return vault;
}

std::string VaultCrypto::fingerprint(const Bytes& x25519, const Bytes& ed25519) {
    static constexpr std::string_view kLabel = "vael/fingerprint/v1";
    Bytes input(kLabel.begin(), kLabel.end());
    appendBigEndian32(input, static_cast<std::uint32_t>(x25519.size()));
    appendBytes(input, x25519.data(), x25519.size());
    appendBigEndian32(input, static_cast<std::uint32_t>(ed25519.size()));
    appendBytes(input, ed25519.data(), ed25519.size());
    std::uint8_t digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, input.data(), input.size());

    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < 20; ++i) {
        if (i > 0 && i % 2 == 0) text.push_back(' ');
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0F]);
    }
    return text;
}

void VaultCrypto::unlock(const std::vector<WrappedKey>& wrappedKeys, const Bytes& wrappedAccountPrivKeys,
                         const UnlockInput& input) {
    std::unique_lock guard(mutex_);
    SecureBytes vaultKey = openVaultKey(wrappedKeys, input);

    SecureBytes secrets;
    try {
        secrets = envelopeOpen(subkey(vaultKey, kAccountKeysSubkey), wrappedAccountPrivKeys, accountKeysAd());
    } catch (const VaelCryptoError& error) {
        // A recovery phrase carries its own check only against typing errors: the phrase of another
        // vault is a wrong phrase, not a damaged file.
        if (error.code() == Code::AuthenticationFailed && input.kind() == UnlockInput::Kind::recoveryPhrase)
            fail(Code::WrongPassphrase, "the unlock input opens none of the vault's keys");
        if (error.code() == Code::AuthenticationFailed)
            fail(Code::AuthenticationFailed, "the account keys do not belong to this vault");
        throw;
    }
    if (secrets.size() != 2 * kKeyBytes) fail(Code::MalformedInput, "the account keys have the wrong length");

    auto next = std::make_unique<Session>();
    next->x25519Secret = SecureBytes(secrets.data(), kKeyBytes);
    next->x25519Public.resize(crypto_scalarmult_BYTES);
    crypto_scalarmult_base(next->x25519Public.data(), next->x25519Secret.data());
    Bytes ed25519Public(crypto_sign_PUBLICKEYBYTES);
    next->ed25519Secret = SecureBytes(crypto_sign_SECRETKEYBYTES);
    crypto_sign_seed_keypair(ed25519Public.data(), next->ed25519Secret.data(), secrets.data() + kKeyBytes);
    next->groupWrapKey = subkey(vaultKey, kGroupKeysSubkey);
    next->handleKey = randomSecret(kKeyBytes);
    next->vaultKey = std::move(vaultKey);
    // The session's keys live until lock: out of swap and core dumps.
    for (auto* key : {&next->vaultKey, &next->groupWrapKey, &next->x25519Secret, &next->ed25519Secret, &next->handleKey}) {
        key->lockInMemory();
    }
    session_ = std::move(next);
}

WrappedKey VaultCrypto::addUnlockMethod(const UnlockInput& input) {
    std::shared_lock guard(mutex_);
    const Session& s = session();
    switch (input.kind()) {
        case UnlockInput::Kind::passphrase: {
            if (input.secret().empty()) fail(Code::InvalidArgument, "the passphrase is empty");
            KdfParams params = passphraseParams(passphraseCost_);
            return wrapVaultKey(s.vaultKey, UnlockMethod::passphrase, params, deriveKek(input.secret(), params));
        }
        case UnlockInput::Kind::prf: {
            requireUsableInputParams(input);
            const KdfParams& params = *input.kdfParams();
            return wrapVaultKey(s.vaultKey, UnlockMethod::prf, params, deriveKek(input.secret(), params));
        }
        case UnlockInput::Kind::recoveryCode: {
            auto code = parseGroupedText(input.secret(), kRecoveryCodeBytes);
            if (!code) fail(Code::InvalidArgument, "not a recovery code");
            KdfParams params = freshParams(KdfSelector::hkdfSha256, 0, 0, kRecoveryInfo);
            return wrapVaultKey(s.vaultKey, UnlockMethod::recoveryCode, params, deriveKek(*code, params));
        }
        case UnlockInput::Kind::recoveryPhrase:
            break;
    }
    fail(Code::InvalidArgument, "the recovery phrase is the vault key itself and needs no wrapped key");
}

void VaultCrypto::lock() {
    std::unique_lock guard(mutex_);
    session_.reset();
}

bool VaultCrypto::isUnlocked() const {
    std::shared_lock guard(mutex_);
    return session_ != nullptr;
}

VaultCrypto::Session& VaultCrypto::session() {
    if (!session_) fail(Code::Locked, "the vault is locked");
    return *session_;
}

CollectionKey VaultCrypto::makeHandle(const SecureBytes& key) {
    return CollectionKey(envelopeSeal(session().handleKey, key.data(), key.size(), handleAd()));
}

SecureBytes VaultCrypto::openHandle(const CollectionKey& key) {
    const Session& s = session();
    if (key.empty()) fail(Code::InvalidArgument, "no group key was given");
    try {
        SecureBytes open = envelopeOpen(s.handleKey, key.sealed_, handleAd());
        if (open.size() == kKeyBytes) return open;
    } catch (const VaelCryptoError&) {
    }
    fail(Code::Locked, "the group key belongs to a vault session that has been locked");
}

SealedBlob VaultCrypto::sealBlob(const SecureBytes& plaintext, const Uuid& id, const CollectionKey& key) {
    std::shared_lock guard(mutex_);
    const SecureBytes groupKey = openHandle(key);
    const SecureBytes objectKey = randomSecret(kKeyBytes);
    SecureBytes keyPlain(kObjectKeyPlainBytes);
    std::copy(id.bytes.begin(), id.bytes.end(), keyPlain.data());
    std::copy(objectKey.begin(), objectKey.end(), keyPlain.data() + id.bytes.size());
    SealedBlob sealed;
    sealed.blob = envelopeSeal(objectKey, plaintext.data(), plaintext.size(), blobAd(id));
    sealed.wrappedKey = envelopeSeal(groupKey, keyPlain.data(), keyPlain.size(), objectKeyAd());
    return sealed;
}

SecureBytes VaultCrypto::openBlob(int version, const Bytes& blob, const Uuid& id, const Bytes& wrappedKey,
                                  const CollectionKey& key) {
    std::shared_lock guard(mutex_);
    const SecureBytes groupKey = openHandle(key);
    if (version != kEnvelopeVersion) fail(Code::MalformedInput, "unknown envelope version");
    const SecureBytes keyPlain = envelopeOpen(groupKey, wrappedKey, objectKeyAd());
    if (keyPlain.size() != kObjectKeyPlainBytes) fail(Code::MalformedInput, "the wrapped object key has the wrong length");
    if (!std::equal(id.bytes.begin(), id.bytes.end(), keyPlain.begin()))
        fail(Code::AuthenticationFailed, "the wrapped key belongs to another object");
    const SecureBytes objectKey(keyPlain.data() + id.bytes.size(), kKeyBytes);
    return envelopeOpen(objectKey, blob, blobAd(id));
}

Bytes VaultCrypto::nameTag(const CollectionKey& key, std::string_view canonicalName) {
    std::shared_lock guard(mutex_);
    const SecureBytes groupKey = openHandle(key);
    SecureBytes tagKey(kKeyBytes);
    crypto_kdf_derive_from_key(tagKey.data(), tagKey.size(), kNameTagSubkey, kNameTagContext, groupKey.data());
    Bytes tag(kNameTagBytes);
    crypto_generichash(tag.data(), tag.size(), reinterpret_cast<const unsigned char*>(canonicalName.data()),
                       canonicalName.size(), tagKey.data(), tagKey.size());
    return tag;
}

CollectionKey VaultCrypto::newCollectionKey() {
    std::shared_lock guard(mutex_);
    return makeHandle(randomSecret(kKeyBytes));
}

Bytes VaultCrypto::wrapCollectionKeyToSelf(const CollectionKey& key) {
    std::shared_lock guard(mutex_);
    const SecureBytes groupKey = openHandle(key);
    return envelopeSeal(session().groupWrapKey, groupKey.data(), groupKey.size(), groupKeyAd());
}

CollectionKey VaultCrypto::unwrapCollectionKey(const Bytes& wrapped) {
    std::shared_lock guard(mutex_);
    const SecureBytes groupKey = envelopeOpen(session().groupWrapKey, wrapped, groupKeyAd());
    if (groupKey.size() != kKeyBytes) fail(Code::MalformedInput, "the wrapped group key has the wrong length");
    return makeHandle(groupKey);
}

Bytes VaultCrypto::rewrapItemKey(const Bytes& wrappedItemKey, const CollectionKey& from, const CollectionKey& to) {
    std::shared_lock guard(mutex_);
    const SecureBytes oldKey = openHandle(from);
    const SecureBytes newKey = openHandle(to);
    const SecureBytes keyPlain = envelopeOpen(oldKey, wrappedItemKey, objectKeyAd());
    if (keyPlain.size() != kObjectKeyPlainBytes) fail(Code::MalformedInput, "the wrapped object key has the wrong length");
    return envelopeSeal(newKey, keyPlain.data(), keyPlain.size(), objectKeyAd());
}

Bytes VaultCrypto::sealCollectionKey(const CollectionKey& key, const Bytes& recipientX25519) {
    std::shared_lock guard(mutex_);
    const SecureBytes groupKey = openHandle(key);
    requirePublicKey(recipientX25519);
    Bytes sealed(kSealedCollectionKeyBytes);
    sealed[0] = kFormatVersion;
    if (crypto_box_seal(sealed.data() + 1, groupKey.data(), groupKey.size(), recipientX25519.data()) != 0)
        fail(Code::InvalidArgument, "the recipient's X25519 key is not usable");
    return sealed;
}

CollectionKey VaultCrypto::openSealedCollectionKey(const Bytes& sealed) {
    std::shared_lock guard(mutex_);
    const Session& s = session();
    if (sealed.size() != kSealedCollectionKeyBytes || sealed[0] != kFormatVersion)
        fail(Code::MalformedInput, "not a sealed group key");
    SecureBytes groupKey(kKeyBytes);
    if (crypto_box_seal_open(groupKey.data(), sealed.data() + 1, sealed.size() - 1, s.x25519Public.data(),
                             s.x25519Secret.data()) != 0)
        fail(Code::AuthenticationFailed, "the group key was not sealed to this account");
    return makeHandle(groupKey);
}

Bytes VaultCrypto::signGrant(const Uuid& collectionID, std::uint32_t keyEpoch, const CollectionKey& collectionKey,
                             const Bytes& recipientX25519, const Uuid& orgID) {
    std::shared_lock guard(mutex_);
    const SecureBytes groupKey = openHandle(collectionKey);
    requirePublicKey(recipientX25519);
    const Bytes message = grantMessage(collectionID, keyEpoch, groupKey, recipientX25519, orgID);
    Bytes signature(crypto_sign_BYTES);
    crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(), session().ed25519Secret.data());
    return signature;
}

bool VaultCrypto::verifyGrant(const Bytes& signature, const Uuid& collectionID, std::uint32_t keyEpoch,
                              const CollectionKey& collectionKey, const Bytes& recipientX25519, const Uuid& orgID,
                              const Bytes& signerEd25519) {
    std::shared_lock guard(mutex_);
    const SecureBytes groupKey = openHandle(collectionKey);
    if (signature.size() != crypto_sign_BYTES || signerEd25519.size() != crypto_sign_PUBLICKEYBYTES ||
        recipientX25519.size() != crypto_box_PUBLICKEYBYTES)
        return false;
    const Bytes message = grantMessage(collectionID, keyEpoch, groupKey, recipientX25519, orgID);
    return crypto_sign_verify_detached(signature.data(), message.data(), message.size(), signerEd25519.data()) == 0;
}

}  // namespace vael

#include "crypto/SecureEnclaveKeyStore.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/x509.h>
#include <sodium.h>

#include <string_view>

#include "crypto/CryptoError.h"
#include "crypto/Primitives.h"

namespace vael {

using namespace cryptodetail;

namespace {

constexpr std::string_view kHkdfInfo = "vael/se-kek/v1";
constexpr char kCurve[] = "prime256v1";

using PkeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CtxPtr = std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)>;

std::string messageFor(SecureEnclaveStoreError::Code code, std::int32_t status) {
    switch (code) {
        case SecureEnclaveStoreError::Code::keychain:
            return "the key storage refused the device key (status " + std::to_string(status) + ")";
        case SecureEnclaveStoreError::Code::noKey: return "no device key is stored for this account";
        case SecureEnclaveStoreError::Code::wrapFailed: return "wrapping with the device key failed";
        case SecureEnclaveStoreError::Code::unwrapFailed: return "the blob does not unwrap under the device key";
    }
    return "device key error";
}

[[noreturn]] void keyFailure(VaelCryptoError::Code code, const char* message) {
    ERR_clear_error();
    throw VaelCryptoError(code, message);
}

PkeyPtr generateKey() {
    PkeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), &EVP_PKEY_free);
    if (!key) keyFailure(VaelCryptoError::Code::Internal, "a P-256 key could not be made");
    return key;
}

bool isP256(EVP_PKEY* key) {
    char name[32] = {};
    std::size_t length = 0;
    return EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, name, sizeof name, &length) == 1 &&
           std::string_view(name, length) == kCurve;
}

SecureBytes encodePrivateKey(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int length = i2d_PrivateKey(key, &der);
    if (length <= 0) keyFailure(VaelCryptoError::Code::Internal, "the device key could not be encoded");
    SecureBytes data(der, static_cast<std::size_t>(length));
    OPENSSL_clear_free(der, static_cast<std::size_t>(length));
    return data;
}

PkeyPtr decodePrivateKey(const SecureBytes& data) {
    const unsigned char* cursor = data.data();
    PkeyPtr key(d2i_PrivateKey(EVP_PKEY_EC, nullptr, &cursor, static_cast<long>(data.size())), &EVP_PKEY_free);
    if (!key || cursor != data.data() + data.size() || !isP256(key.get()))
        keyFailure(VaelCryptoError::Code::MalformedInput, "the stored device key cannot be read");
    return key;
}

Bytes encodedPublicKey(EVP_PKEY* key) {
    Bytes out(LiveSecureEnclaveKeyStore::kPublicKeyBytes);
    std::size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, out.data(), out.size(), &length) != 1 ||
        length != out.size() || out[0] != 0x04)
        keyFailure(VaelCryptoError::Code::Internal, "the ephemeral public key could not be encoded");
    return out;
}

PkeyPtr decodePublicKey(const std::uint8_t* bytes) {
    if (bytes[0] != 0x04) keyFailure(VaelCryptoError::Code::MalformedInput, "the blob's ephemeral key is not an uncompressed P-256 point");
    CtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr), &EVP_PKEY_CTX_free);
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(kCurve), 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, const_cast<std::uint8_t*>(bytes),
                                          LiveSecureEnclaveKeyStore::kPublicKeyBytes),
        OSSL_PARAM_construct_end(),
    };
    EVP_PKEY* raw = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 || EVP_PKEY_fromdata(ctx.get(), &raw, EVP_PKEY_PUBLIC_KEY, params) != 1)
        keyFailure(VaelCryptoError::Code::MalformedInput, "the blob's ephemeral key is not a P-256 point");
    PkeyPtr key(raw, &EVP_PKEY_free);
    CtxPtr check(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr), &EVP_PKEY_CTX_free);
    if (!check || EVP_PKEY_public_check(check.get()) != 1)
        keyFailure(VaelCryptoError::Code::MalformedInput, "the blob's ephemeral key is not a P-256 point");
    return key;
}

// ECDH, then HKDF-SHA256 with an empty salt.
SecureBytes wrappingKey(EVP_PKEY* privateKey, EVP_PKEY* peer) {
    CtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, privateKey, nullptr), &EVP_PKEY_CTX_free);
    std::size_t length = 0;
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) != 1 || EVP_PKEY_derive_set_peer(ctx.get(), peer) != 1 ||
        EVP_PKEY_derive(ctx.get(), nullptr, &length) != 1)
        keyFailure(VaelCryptoError::Code::Internal, "the P-256 key agreement failed");
    SecureBytes shared(length);
    if (EVP_PKEY_derive(ctx.get(), shared.data(), &length) != 1)
        keyFailure(VaelCryptoError::Code::Internal, "the P-256 key agreement failed");
    shared.resize(length);
    return hkdfSha256(shared.data(), shared.size(), Bytes(), kHkdfInfo, kKeyBytes);
}

}  // namespace

SecureEnclaveStoreError::SecureEnclaveStoreError(Code code, std::int32_t status)
    : std::runtime_error(messageFor(code, status)), code_(code), status_(status) {}

std::optional<SecureBytes> InMemoryEnclaveKeyStorage::load(const std::string& account) {
    std::lock_guard guard(mutex_);
    auto it = items_.find(account);
    if (it == items_.end()) return std::nullopt;
    return it->second;
}

void InMemoryEnclaveKeyStorage::remove(const std::string& account) {
    std::lock_guard guard(mutex_);
    items_.erase(account);
}

std::int32_t InMemoryEnclaveKeyStorage::add(const std::string& account, const SecureBytes& keyData) {
    std::lock_guard guard(mutex_);
    items_[account] = keyData;
    return 0;
}

LiveSecureEnclaveKeyStore::LiveSecureEnclaveKeyStore(std::string account, std::shared_ptr<EnclaveKeyStorage> storage)
    : account_(std::move(account)), storage_(std::move(storage)) {
    ensureSodium();
}

bool LiveSecureEnclaveKeyStore::hasKey() { return storage_->load(account_).has_value(); }

void LiveSecureEnclaveKeyStore::createKey() {
    PkeyPtr key = generateKey();
    const SecureBytes data = encodePrivateKey(key.get());
    storage_->remove(account_);
    if (const std::int32_t status = storage_->add(account_, data); status != 0)
        throw SecureEnclaveStoreError(SecureEnclaveStoreError::Code::keychain, status);
}

Bytes LiveSecureEnclaveKeyStore::wrap(const SecureBytes& plaintext) {
    auto data = storage_->load(account_);
    if (!data) throw SecureEnclaveStoreError(SecureEnclaveStoreError::Code::noKey);
    PkeyPtr deviceKey = decodePrivateKey(*data);
    PkeyPtr ephemeral = generateKey();
    const SecureBytes key = wrappingKey(ephemeral.get(), deviceKey.get());

    Bytes blob = encodedPublicKey(ephemeral.get());
    blob.resize(kHeaderBytes + plaintext.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES);
    std::uint8_t* nonce = blob.data() + kPublicKeyBytes;
    randombytes_buf(nonce, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
    static const std::uint8_t kEmpty = 0;
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_encrypt(blob.data() + kHeaderBytes, &written,
                                                   plaintext.empty() ? &kEmpty : plaintext.data(), plaintext.size(),
                                                   nullptr, 0, nullptr, nonce, key.data()) != 0)
        throw SecureEnclaveStoreError(SecureEnclaveStoreError::Code::wrapFailed);
    blob.resize(kHeaderBytes + written);
    return blob;
}

SecureBytes LiveSecureEnclaveKeyStore::unwrap(const Bytes& blob) {
    auto data = storage_->load(account_);
    if (!data) throw SecureEnclaveStoreError(SecureEnclaveStoreError::Code::noKey);
    PkeyPtr deviceKey = decodePrivateKey(*data);
    if (blob.size() < kMinimumBlobBytes) throw SecureEnclaveStoreError(SecureEnclaveStoreError::Code::wrapFailed);

    PkeyPtr ephemeral = decodePublicKey(blob.data());
    const SecureBytes key = wrappingKey(deviceKey.get(), ephemeral.get());
    const std::uint8_t* nonce = blob.data() + kPublicKeyBytes;
    const std::size_t ciphertextSize = blob.size() - kHeaderBytes;
    if (ciphertextSize < crypto_aead_xchacha20poly1305_ietf_ABYTES)
        throw SecureEnclaveStoreError(SecureEnclaveStoreError::Code::unwrapFailed);
    SecureBytes plaintext(ciphertextSize - crypto_aead_xchacha20poly1305_ietf_ABYTES);
    std::uint8_t scratch = 0;
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(plaintext.empty() ? &scratch : plaintext.data(), &written, nullptr,
                                                   blob.data() + kHeaderBytes, ciphertextSize, nullptr, 0, nonce,
                                                   key.data()) != 0)
        throw SecureEnclaveStoreError(SecureEnclaveStoreError::Code::unwrapFailed);
    return plaintext;
}

}  // namespace vael

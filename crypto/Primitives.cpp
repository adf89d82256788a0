#include "crypto/Primitives.h"

#include <openssl/core_names.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <sodium.h>

#include <memory>

#include "crypto/CryptoError.h"

namespace vael::cryptodetail {

void ensureSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready) throw VaelCryptoError(VaelCryptoError::Code::Internal, "libsodium could not be initialised");
}

SecureBytes randomSecret(std::size_t size) {
    ensureSodium();
    SecureBytes out(size);
    if (size > 0) randombytes_buf(out.data(), size);
    return out;
}

Bytes randomBytes(std::size_t size) {
    ensureSodium();
    Bytes out(size);
    if (size > 0) randombytes_buf(out.data(), size);
    return out;
}

Bytes associatedData(std::string_view label) {
    Bytes ad(label.begin(), label.end());
    ad.push_back(0);
    ad.push_back(kFormatVersion);
    return ad;
}

void appendBytes(Bytes& out, const std::uint8_t* data, std::size_t size) {
    out.insert(out.end(), data, data + size);
}

Bytes envelopeSeal(const SecureBytes& key, const std::uint8_t* plaintext, std::size_t size, const Bytes& ad) {
    ensureSodium();
    if (key.size() != kKeyBytes) throw VaelCryptoError(VaelCryptoError::Code::InvalidArgument, "a key must be 32 bytes");
    Bytes out(1 + kNonceBytes + size + kTagBytes);
    out[0] = kFormatVersion;
    std::uint8_t* nonce = out.data() + 1;
    randombytes_buf(nonce, kNonceBytes);
    unsigned long long written = 0;
    static const std::uint8_t kEmpty = 0;
    if (crypto_aead_xchacha20poly1305_ietf_encrypt(out.data() + 1 + kNonceBytes, &written,
                                                   size ? plaintext : &kEmpty, size, ad.data(), ad.size(),
                                                   nullptr, nonce, key.data()) != 0)
        throw VaelCryptoError(VaelCryptoError::Code::Internal, "encryption failed");
    out.resize(1 + kNonceBytes + written);
    return out;
}

SecureBytes envelopeOpen(const SecureBytes& key, const Bytes& envelope, const Bytes& ad) {
    ensureSodium();
    if (key.size() != kKeyBytes) throw VaelCryptoError(VaelCryptoError::Code::InvalidArgument, "a key must be 32 bytes");
    if (envelope.size() < kEnvelopeOverhead)
        throw VaelCryptoError(VaelCryptoError::Code::MalformedInput, "the encrypted data is too short");
    if (envelope[0] != kFormatVersion)
        throw VaelCryptoError(VaelCryptoError::Code::MalformedInput, "the encrypted data has an unknown format version");
    const std::uint8_t* nonce = envelope.data() + 1;
    const std::uint8_t* ciphertext = nonce + kNonceBytes;
    const std::size_t ciphertextSize = envelope.size() - 1 - kNonceBytes;
    SecureBytes out(ciphertextSize - kTagBytes);
    std::uint8_t scratch = 0;
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(out.empty() ? &scratch : out.data(), &written, nullptr, ciphertext,
                                                   ciphertextSize, ad.data(), ad.size(), nonce, key.data()) != 0)
        throw VaelCryptoError(VaelCryptoError::Code::AuthenticationFailed,
                              "the encrypted data does not authenticate under this key");
    return out;
}

SecureBytes hkdfSha256(const std::uint8_t* ikm, std::size_t ikmSize, const Bytes& salt, std::string_view info,
                       std::size_t outputSize) {
    using KdfPtr = std::unique_ptr<EVP_KDF, decltype(&EVP_KDF_free)>;
    using CtxPtr = std::unique_ptr<EVP_KDF_CTX, decltype(&EVP_KDF_CTX_free)>;
    KdfPtr kdf(EVP_KDF_fetch(nullptr, OSSL_KDF_NAME_HKDF, nullptr), &EVP_KDF_free);
    if (!kdf) throw VaelCryptoError(VaelCryptoError::Code::Internal, "HKDF is unavailable");
    CtxPtr ctx(EVP_KDF_CTX_new(kdf.get()), &EVP_KDF_CTX_free);
    if (!ctx) throw VaelCryptoError(VaelCryptoError::Code::Internal, "HKDF is unavailable");

    static const std::uint8_t kEmpty = 0;
    OSSL_PARAM params[5];
    std::size_t n = 0;
    params[n++] = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("SHA256"), 0);
    params[n++] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY,
                                                    const_cast<std::uint8_t*>(ikmSize ? ikm : &kEmpty), ikmSize);
    if (!salt.empty())
        params[n++] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<std::uint8_t*>(salt.data()),
                                                        salt.size());
    params[n++] = OSSL_PARAM_construct_octet_string(
        OSSL_KDF_PARAM_INFO, const_cast<char*>(info.empty() ? "" : info.data()), info.size());
    params[n] = OSSL_PARAM_construct_end();

    SecureBytes out(outputSize);
    if (EVP_KDF_derive(ctx.get(), out.data(), out.size(), params) != 1)
        throw VaelCryptoError(VaelCryptoError::Code::Internal, "key derivation failed");
    return out;
}

void appendBigEndian32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void appendBigEndian64(Bytes& out, std::uint64_t value) {
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace vael::cryptodetail

#include "crypto/KeyRecords.h"

#include "core/Base64.h"
#include "crypto/CryptoError.h"
#include "crypto/JsonRead.h"
#include "crypto/VaultCrypto.h"

namespace vael {

using namespace cryptodetail;

UnlockInput UnlockInput::passphrase(SecureBytes passphrase) {
    return UnlockInput(Kind::passphrase, std::move(passphrase), std::nullopt);
}

UnlockInput UnlockInput::prf(SecureBytes prfOutput, KdfParams params) {
    return UnlockInput(Kind::prf, std::move(prfOutput), std::move(params));
}

UnlockInput UnlockInput::recoveryCode(SecureBytes code) {
    return UnlockInput(Kind::recoveryCode, std::move(code), std::nullopt);
}

UnlockInput UnlockInput::recoveryPhrase(SecureBytes phrase) {
    return UnlockInput(Kind::recoveryPhrase, std::move(phrase), std::nullopt);
}

std::string AccountPublicKeys::fingerprint() const { return VaultCrypto::fingerprint(x25519, ed25519); }

namespace {

std::string b64(const Bytes& bytes) { return base64Encode(bytes, Base64Variant::Standard); }

std::uint8_t readByteValue(std::uint64_t value, const char* key) {
    if (value > 0xFF) malformedJson(std::string("\"") + key + "\" is out of range");
    return static_cast<std::uint8_t>(value);
}

template <class Json>
void writeKdf(Json& json, const KdfParams& p) {
    json = Json::object();
    json["selector"] = static_cast<unsigned>(p.selector);
    json["salt"] = b64(p.salt);
    json["opsLimit"] = p.opsLimit;
    json["memLimit"] = p.memLimit;
    json["info"] = p.info;
}

template <class Json>
void readKdf(const Json& json, KdfParams& p) {
    requireObject(json, "key derivation parameters");
    KdfParams out;
    out.selector = static_cast<KdfSelector>(readByteValue(readUnsigned(requiredMember(json, "selector"), "selector"), "selector"));
    out.salt = readBase64(requiredMember(json, "salt"), "salt");
    out.opsLimit = readUnsigned(requiredMember(json, "opsLimit"), "opsLimit");
    out.memLimit = readUnsigned(requiredMember(json, "memLimit"), "memLimit");
    out.info = readString(requiredMember(json, "info"), "info");
    p = std::move(out);
}

template <class Json>
void writeWrapped(Json& json, const WrappedKey& k) {
    json = Json::object();
    json["method"] = static_cast<unsigned>(k.method);
    if (k.kdfParams) {
        Json kdf;
        writeKdf(kdf, *k.kdfParams);
        json["kdf"] = std::move(kdf);
    }
    json["sealedKey"] = b64(k.sealedKey);
}

template <class Json>
void readWrapped(const Json& json, WrappedKey& k) {
    requireObject(json, "wrapped key");
    WrappedKey out;
    out.method = static_cast<UnlockMethod>(readByteValue(readUnsigned(requiredMember(json, "method"), "method"), "method"));
    if (const Json* kdf = optionalMember(json, "kdf")) {
        KdfParams params;
        readKdf(*kdf, params);
        out.kdfParams = std::move(params);
    }
    out.sealedKey = readBase64(requiredMember(json, "sealedKey"), "sealedKey");
    k = std::move(out);
}

template <class Json>
void writeAccount(Json& json, const AccountPublicKeys& keys) {
    json = Json::object();
    json["x25519"] = b64(keys.x25519);
    json["ed25519"] = b64(keys.ed25519);
}

template <class Json>
void readAccount(const Json& json, AccountPublicKeys& keys) {
    requireObject(json, "account public keys");
    AccountPublicKeys out;
    out.x25519 = readBase64(requiredMember(json, "x25519"), "x25519");
    out.ed25519 = readBase64(requiredMember(json, "ed25519"), "ed25519");
    if (out.x25519.size() != 32 || out.ed25519.size() != 32) malformedJson("an account public key is not 32 bytes");
    keys = std::move(out);
}

}  // namespace

void to_json(nlohmann::json& json, const KdfParams& value) { writeKdf(json, value); }
void to_json(nlohmann::ordered_json& json, const KdfParams& value) { writeKdf(json, value); }
void from_json(const nlohmann::json& json, KdfParams& value) { readKdf(json, value); }
void from_json(const nlohmann::ordered_json& json, KdfParams& value) { readKdf(json, value); }

void to_json(nlohmann::json& json, const WrappedKey& value) { writeWrapped(json, value); }
void to_json(nlohmann::ordered_json& json, const WrappedKey& value) { writeWrapped(json, value); }
void from_json(const nlohmann::json& json, WrappedKey& value) { readWrapped(json, value); }
void from_json(const nlohmann::ordered_json& json, WrappedKey& value) { readWrapped(json, value); }

void to_json(nlohmann::json& json, const AccountPublicKeys& value) { writeAccount(json, value); }
void to_json(nlohmann::ordered_json& json, const AccountPublicKeys& value) { writeAccount(json, value); }
void from_json(const nlohmann::json& json, AccountPublicKeys& value) { readAccount(json, value); }
void from_json(const nlohmann::ordered_json& json, AccountPublicKeys& value) { readAccount(json, value); }

}  // namespace vael

#include "app/platform/Fido2Authenticators.h"

#include <fido.h>

#include <mutex>

#include "app/platform/PasskeyEncoding.h"

namespace vael {

namespace {

constexpr std::size_t kMaxDevices = 16;

FidoError failure(int status, const char* what) {
    using Kind = FidoError::Kind;
    const std::string message = std::string(what) + ": " + fido_strerr(status);
    switch (status) {
        case FIDO_ERR_KEEPALIVE_CANCEL:
        case FIDO_ERR_OPERATION_DENIED: return FidoError(Kind::cancelled, message);
        case FIDO_ERR_PIN_REQUIRED:
        case FIDO_ERR_UV_BLOCKED:
        case FIDO_ERR_UV_INVALID: return FidoError(Kind::pinRequired, message);
        case FIDO_ERR_PIN_INVALID: return FidoError(Kind::pinInvalid, message);
        case FIDO_ERR_PIN_BLOCKED:
        case FIDO_ERR_PIN_AUTH_BLOCKED: return FidoError(Kind::pinBlocked, message);
        case FIDO_ERR_NO_CREDENTIALS: return FidoError(Kind::noCredentials, message);
        case FIDO_ERR_ACTION_TIMEOUT:
        case FIDO_ERR_USER_ACTION_TIMEOUT:
        case FIDO_ERR_TIMEOUT: return FidoError(Kind::timedOut, message);
        default: return FidoError(Kind::failed, message);
    }
}

void check(int status, const char* what) {
    if (status != FIDO_OK) throw failure(status, what);
}

Bytes copy(const unsigned char* data, std::size_t size) {
    return data == nullptr || size == 0 ? Bytes{} : Bytes(data, data + size);
}

// The PIN as the NUL-terminated text libfido2 takes, in memory that is wiped.
class PinText {
public:
    explicit PinText(const SecureBytes* pin) {
        if (pin == nullptr) return;
        text_ = *pin;
        text_.resize(text_.size() + 1);
    }
    const char* get() const { return text_.empty() ? nullptr : reinterpret_cast<const char*>(text_.data()); }

private:
    SecureBytes text_;
};

class Fido2Device final : public FidoDevice {
public:
    explicit Fido2Device(fido_dev_t* device) : device_(device) {}
    ~Fido2Device() override {
        fido_dev_close(device_);
        fido_dev_free(&device_);
    }

    Verification verification() override {
        if (fido_dev_has_uv(device_)) return Verification::builtIn;
        if (fido_dev_has_pin(device_)) return Verification::pin;
        return Verification::none;
    }

    FidoCredential makeCredential(const FidoCredentialRequest& request, const SecureBytes* pin) override {
        std::unique_ptr<fido_cred_t, void (*)(fido_cred_t*)> cred(fido_cred_new(), [](fido_cred_t* c) { fido_cred_free(&c); });
        if (!cred) throw FidoError(FidoError::Kind::failed, "out of memory");
        check(fido_cred_set_type(cred.get(), COSE_ES256), "credential type");
        check(fido_cred_set_clientdata_hash(cred.get(), request.clientDataHash.data(), request.clientDataHash.size()),
              "client data");
        check(fido_cred_set_rp(cred.get(), request.rpID.c_str(), nullptr), "relying party");
        check(fido_cred_set_user(cred.get(), request.userID.data(), request.userID.size(), request.userName.c_str(),
                                 request.userName.c_str(), nullptr),
              "user");
        check(fido_cred_set_extensions(cred.get(), FIDO_EXT_HMAC_SECRET), "hmac-secret");
        check(fido_cred_set_rk(cred.get(), FIDO_OPT_TRUE), "resident key");
        // With a PIN, libfido2 proves verification through the PIN token.
        if (pin == nullptr) check(fido_cred_set_uv(cred.get(), FIDO_OPT_TRUE), "user verification");
        const PinText pinText(pin);
        check(fido_dev_make_cred(device_, cred.get(), pinText.get()), "registration");
        return {copy(fido_cred_id_ptr(cred.get()), fido_cred_id_len(cred.get())),
                copy(fido_cred_authdata_raw_ptr(cred.get()), fido_cred_authdata_raw_len(cred.get()))};
    }

    std::vector<FidoAssertion> getAssertion(const FidoAssertionRequest& request, const SecureBytes* pin) override {
        std::unique_ptr<fido_assert_t, void (*)(fido_assert_t*)> assertion(
            fido_assert_new(), [](fido_assert_t* a) { fido_assert_free(&a); });
        if (!assertion) throw FidoError(FidoError::Kind::failed, "out of memory");
        check(fido_assert_set_clientdata_hash(assertion.get(), request.clientDataHash.data(),
                                              request.clientDataHash.size()),
              "client data");
        check(fido_assert_set_rp(assertion.get(), request.rpID.c_str()), "relying party");
        check(fido_assert_set_extensions(assertion.get(), FIDO_EXT_HMAC_SECRET), "hmac-secret");
        check(fido_assert_set_hmac_salt(assertion.get(), request.hmacSalt.data(), request.hmacSalt.size()), "salt");
        if (pin == nullptr) check(fido_assert_set_uv(assertion.get(), FIDO_OPT_TRUE), "user verification");
        const PinText pinText(pin);
        check(fido_dev_get_assert(device_, assertion.get(), pinText.get()), "sign-in");

        std::vector<FidoAssertion> answers;
        for (std::size_t i = 0; i < fido_assert_count(assertion.get()); ++i) {
            FidoAssertion answer;
            answer.credentialID = copy(fido_assert_id_ptr(assertion.get(), i), fido_assert_id_len(assertion.get(), i));
            // libfido2 hands the authenticator data over as the key sent it: one CBOR byte string.
            answer.authenticatorData =
                PasskeyEncoding::unwrapByteString(copy(fido_assert_authdata_ptr(assertion.get(), i),
                                                       fido_assert_authdata_len(assertion.get(), i)))
                    .value_or(Bytes{});
            answer.signature = copy(fido_assert_sig_ptr(assertion.get(), i), fido_assert_sig_len(assertion.get(), i));
            answer.userHandle =
                copy(fido_assert_user_id_ptr(assertion.get(), i), fido_assert_user_id_len(assertion.get(), i));
            const unsigned char* secret = fido_assert_hmac_secret_ptr(assertion.get(), i);
            const std::size_t secretSize = fido_assert_hmac_secret_len(assertion.get(), i);
            if (secret != nullptr && secretSize > 0) answer.hmacSecret = SecureBytes(secret, secretSize);
            answers.push_back(std::move(answer));
        }
        return answers;
    }

    void cancel() override { fido_dev_cancel(device_); }

private:
    fido_dev_t* device_;
};

}  // namespace

Fido2Authenticators::Fido2Authenticators() {
    static std::once_flag once;
    std::call_once(once, [] { fido_init(0); });
}

std::unique_ptr<FidoDevice> Fido2Authenticators::open() {
    fido_dev_info_t* list = fido_dev_info_new(kMaxDevices);
    if (list == nullptr) return nullptr;
    std::size_t found = 0;
    std::unique_ptr<FidoDevice> opened;
    if (fido_dev_info_manifest(list, kMaxDevices, &found) == FIDO_OK) {
        for (std::size_t i = 0; i < found && !opened; ++i) {
            const char* path = fido_dev_info_path(fido_dev_info_ptr(list, i));
            fido_dev_t* device = fido_dev_new();
            if (device == nullptr) break;
            // A key that speaks only U2F has neither resident credentials nor hmac-secret.
            if (fido_dev_open(device, path) == FIDO_OK && fido_dev_is_fido2(device)) {
                opened = std::make_unique<Fido2Device>(device);
                continue;
            }
            fido_dev_close(device);
            fido_dev_free(&device);
        }
    }
    fido_dev_info_free(&list, kMaxDevices);
    return opened;
}

}  // namespace vael

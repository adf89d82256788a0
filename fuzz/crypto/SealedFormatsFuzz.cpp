// Every sealed or wrapped format the vault opens: item blobs and their wrapped keys, group keys
// wrapped to self or sealed to this account, wrapped vault keys, wrapped account keys and the
// recovery texts. The first byte picks the decoder.
#include <cstddef>
#include <cstdint>

#include "crypto/VaultCrypto.h"

using namespace vael;

namespace {

constexpr Argon2Cost kFastCost{1, 8192};
const SecureBytes kPassphrase("fuzz");

struct Fixture {
    NewVault vault = VaultCrypto::createVault(kPassphrase, true, kFastCost);
    VaultCrypto crypto{kFastCost};
    CollectionKey key;
    Uuid id = Uuid::fromText("11111111-2222-4333-8444-555555555555");
    SealedBlob sealed;
    Fixture() {
        crypto.unlock(vault.wrappedKeys, vault.wrappedAccountPrivKeys, UnlockInput::passphrase(kPassphrase));
        key = crypto.newCollectionKey();
        sealed = crypto.sealBlob(SecureBytes("{\"name\":\"n\",\"fields\":[]}"), id, key);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture f;
    if (size == 0) return 0;
    const Bytes input(data + 1, data + size);
    const std::size_t half = input.size() / 2;
    const Bytes first(input.begin(), input.begin() + static_cast<long>(half));
    const Bytes second(input.begin() + static_cast<long>(half), input.end());
    try {
        switch (data[0] % 9) {
            case 0: f.crypto.openBlob(1, input, f.id, f.sealed.wrappedKey, f.key); break;
            case 1: f.crypto.openBlob(1, f.sealed.blob, f.id, input, f.key); break;
            case 2: f.crypto.openBlob(1, first, f.id, second, f.key); break;
            case 3: f.crypto.unwrapCollectionKey(input); break;
            case 4: f.crypto.openSealedCollectionKey(input); break;
            case 5: f.crypto.rewrapItemKey(input, f.key, f.key); break;
            case 6: {
                VaultCrypto other(kFastCost);
                other.unlock(f.vault.wrappedKeys, input, UnlockInput::passphrase(kPassphrase));
                break;
            }
            case 7: {
                std::vector<WrappedKey> keys = f.vault.wrappedKeys;
                keys[0].sealedKey = input;
                VaultCrypto other(kFastCost);
                other.unlock(keys, f.vault.wrappedAccountPrivKeys, UnlockInput::passphrase(kPassphrase));
                break;
            }
            case 8: {
                VaultCrypto other(kFastCost);
                const auto text = SecureBytes(input.data(), input.size());
                try {
                    other.unlock(f.vault.wrappedKeys, f.vault.wrappedAccountPrivKeys, UnlockInput::recoveryCode(text));
                } catch (const VaelCryptoError&) {
                }
                other.unlock(f.vault.wrappedKeys, f.vault.wrappedAccountPrivKeys, UnlockInput::recoveryPhrase(text));
                break;
            }
        }
    } catch (const VaelCryptoError& error) {
        if (error.code() == VaelCryptoError::Code::Internal || error.code() == VaelCryptoError::Code::Locked)
            __builtin_trap();
    }
    return 0;
}

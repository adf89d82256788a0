#include <chrono>
#include <cstdio>
#include "crypto/VaultCrypto.h"
#include "crypto/ItemPayload.h"
using namespace vael;
int main() {
    const Argon2Cost cheap{1, 8192};
    auto made = VaultCrypto::createVault(SecureBytes(std::string_view("p")), false, cheap);
    VaultCrypto crypto(cheap);
    crypto.unlock(made.wrappedKeys, made.wrappedAccountPrivKeys, UnlockInput::passphrase(SecureBytes(std::string_view("p"))));
    auto key = crypto.newCollectionKey();
    std::vector<Uuid> ids; std::vector<SealedBlob> names, payloads;
    for (int i = 0; i < 10000; ++i) {
        ids.push_back(Uuid::random());
        names.push_back(crypto.sealBlob(SecureBytes(std::string_view("service-1234")), ids.back(), key));
        ItemPayload payload; payload.name = "service-" + std::to_string(i);
        payload.fields.push_back(ItemField{"username", ItemField::Kind::username, "user" + std::to_string(i), false});
        payload.fields.push_back(ItemField{"password", ItemField::Kind::password, "pw-" + std::to_string(i), true});
        payload.url = "https://service-" + std::to_string(i) + ".example.com/login";
        payloads.push_back(crypto.sealBlob(encodeItemPayload(payload), ids.back(), key));
    }
    for (int round = 0; round < 3; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    size_t n = 0;
    for (int i = 0; i < 10000; ++i) n += crypto.openBlob(1, names[i].blob, ids[i], names[i].wrappedKey, key).size();
    auto t1 = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i) n += decodeItemPayload(crypto.openBlob(1, payloads[i].blob, ids[i], payloads[i].wrappedKey, key)).name.size();
    auto t2 = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i) n += crypto.openBlob(1, payloads[i].blob, ids[i], payloads[i].wrappedKey, key).size();
    auto t3 = std::chrono::steady_clock::now();
    std::printf("names %.2f ms, payload+decode %.2f ms, payload only %.2f ms (blob %zu bytes) %zu\n",
        std::chrono::duration<double, std::milli>(t1 - t0).count(), std::chrono::duration<double, std::milli>(t2 - t1).count(),
        std::chrono::duration<double, std::milli>(t3 - t2).count(), payloads[0].blob.size(), n);
    }
}

// Unlock (the key derivation), sealing and opening one item payload, and opening the names of
// 10,000 items as a vault listing does.

#include <benchmark/benchmark.h>

#include "crypto/ItemPayload.h"
#include "crypto/VaultCrypto.h"

using namespace vael;

namespace {

const SecureBytes kPassphrase("correct horse battery staple");

const NewVault& standardVault() {
    static const NewVault vault = VaultCrypto::createVault(kPassphrase, false);
    return vault;
}

ItemPayload typicalPayload(int n) {
    ItemPayload p;
    p.name = "Service account " + std::to_string(n);
    p.fields.push_back(ItemField{"username", ItemField::Kind::username, "deploy-bot@example.com", false});
    p.fields.push_back(ItemField{"password", ItemField::Kind::password, "Zq8!vR2#kLm9@wX4$tN7", true});
    p.fields.push_back(ItemField{"otp", ItemField::Kind::otp, "otpauth://totp/Example:bot?secret=JBSWY3DPEHPK3PXP", true});
    p.url = "https://console.example.com/login";
    p.notes = "Rotated quarterly. Owner: platform team.";
    p.tags = {"prod", "ci"};
    p.allowedHosts = std::vector<std::string>{"console.example.com"};
    return p;
}

std::unique_ptr<VaultCrypto> unlockedVault() {
    auto crypto = std::make_unique<VaultCrypto>();
    crypto->unlock(standardVault().wrappedKeys, standardVault().wrappedAccountPrivKeys, UnlockInput::passphrase(kPassphrase));
    return crypto;
}

void BM_UnlockPassphrase(benchmark::State& state) {
    const NewVault& vault = standardVault();
    for (auto _ : state) {
        VaultCrypto crypto;
        crypto.unlock(vault.wrappedKeys, vault.wrappedAccountPrivKeys, UnlockInput::passphrase(kPassphrase));
        benchmark::DoNotOptimize(crypto.isUnlocked());
    }
}
BENCHMARK(BM_UnlockPassphrase)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_UnlockPasskey(benchmark::State& state) {
    const NewVault& vault = standardVault();
    const SecureBytes output(Bytes(32, 0x42));
    const KdfParams params{KdfSelector::hkdfSha256, Bytes(16, 0x07), 0, 0, "vael/prf-kek/v1"};
    std::vector<WrappedKey> keys = vault.wrappedKeys;
    keys.push_back(unlockedVault()->addUnlockMethod(UnlockInput::prf(output, params)));
    for (auto _ : state) {
        VaultCrypto crypto;
        crypto.unlock(keys, vault.wrappedAccountPrivKeys, UnlockInput::prf(output, params));
        benchmark::DoNotOptimize(crypto.isUnlocked());
    }
}
BENCHMARK(BM_UnlockPasskey)->Unit(benchmark::kMicrosecond);

void BM_SealItemPayload(benchmark::State& state) {
    auto crypto = unlockedVault();
    const CollectionKey key = crypto->newCollectionKey();
    const ItemPayload payload = typicalPayload(1);
    const Uuid id = Uuid::random();
    for (auto _ : state) benchmark::DoNotOptimize(crypto->sealBlob(encodeItemPayload(payload), id, key));
}
BENCHMARK(BM_SealItemPayload)->Unit(benchmark::kMicrosecond);

void BM_OpenItemPayload(benchmark::State& state) {
    auto crypto = unlockedVault();
    const CollectionKey key = crypto->newCollectionKey();
    const Uuid id = Uuid::random();
    const SealedBlob sealed = crypto->sealBlob(encodeItemPayload(typicalPayload(1)), id, key);
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeItemPayload(crypto->openBlob(1, sealed.blob, id, sealed.wrappedKey, key)));
}
BENCHMARK(BM_OpenItemPayload)->Unit(benchmark::kMicrosecond);

void BM_OpenNamesOf10000Items(benchmark::State& state) {
    auto crypto = unlockedVault();
    const CollectionKey key = crypto->newCollectionKey();
    struct Row {
        Uuid id;
        SealedBlob sealed;
    };
    std::vector<Row> rows;
    for (int i = 0; i < 10000; ++i) {
        const Uuid id = Uuid::random();
        rows.push_back({id, crypto->sealBlob(encodeItemPayload(typicalPayload(i)), id, key)});
    }
    for (auto _ : state) {
        std::size_t total = 0;
        for (const auto& row : rows)
            total += decodeItemPayload(crypto->openBlob(1, row.sealed.blob, row.id, row.sealed.wrappedKey, key)).name.size();
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
}
BENCHMARK(BM_OpenNamesOf10000Items)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Resolve over the real socket against the real item source: a replica of 10,000 logins in one
// group, the vault-crypto object, the resolver and the server. Reports the median and the 99th
// percentile of one request's round trip, warm and right after a write to the store.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>

#include "SocketClient.h"
#include "app/agent/VaultUDSServer.h"
#include "app/agent/ops/StoreVaultItemSource.h"

using namespace vael;

namespace {

constexpr int kItems = 10000;
const Uuid kProject = Uuid::fromText("00000000-0000-0000-0000-00000000A000");
const Uuid kGroup = Uuid::fromText("00000000-0000-0000-0000-00000000C001");

class NeverGate final : public BiometricGate {
public:
    bool authenticate(const std::string&) override { return false; }
};

std::string itemName(int i) { return "service-" + std::to_string(i); }

struct Vault {
    std::string dir;
    std::shared_ptr<VaelStore> store;
    std::shared_ptr<VaultCrypto> crypto;
    CollectionKey key;
    std::shared_ptr<StoreVaultItemSource> source;
    std::unique_ptr<VaultUDSServer> server;
    std::string socketPath;

    Vault() {
        char pattern[] = "/tmp/vael-ops-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        store = std::make_shared<VaelStore>(dir + "/replica.sqlite");
        const Argon2Cost cheap{1, 8192};
        auto made = VaultCrypto::createVault(SecureBytes(std::string_view("bench passphrase")), false, cheap);
        crypto = std::make_shared<VaultCrypto>(cheap);
        crypto->unlock(made.wrappedKeys, made.wrappedAccountPrivKeys,
                       UnlockInput::passphrase(SecureBytes(std::string_view("bench passphrase"))));
        key = crypto->newCollectionKey();
        const auto now = std::chrono::system_clock::now();
        auto groupName = crypto->sealBlob(SecureBytes(std::string_view("local")), kGroup, key);
        store->upsertCollection(CollectionRecord{kGroup, kProject, std::nullopt, groupName.blob, std::nullopt, 0,
                                                 crypto->wrapCollectionKeyToSelf(key), now, false});
        auto projectName = crypto->sealBlob(SecureBytes(std::string_view("Personal")), kProject, key);
        store->upsertProject(ProjectRecord{kProject, projectName.blob, projectName.wrappedKey, 0, now, false});
        for (int i = 0; i < kItems; ++i) {
            ItemPayload payload;
            payload.name = itemName(i);
            payload.fields.push_back(ItemField{"username", ItemField::Kind::username, "user" + std::to_string(i), false});
            payload.fields.push_back(ItemField{"password", ItemField::Kind::password, "pw-" + std::to_string(i), true});
            payload.url = "https://service-" + std::to_string(i) + ".example.com/login";
            const auto id = Uuid::random();
            auto sealed = crypto->sealBlob(encodeItemPayload(payload), id, key);
            store->upsertItem(ItemRecord{id, kGroup, "login", sealed.blob, sealed.blob, R"({"envelope_version":1})",
                                         sealed.wrappedKey, "injectable", 1, now, false});
        }
        source = std::make_shared<StoreVaultItemSource>(
            store, crypto, StoreVaultItemSource::Defaults{kProject, "Personal", kGroup, "local", key}, nullptr, nullptr);
        socketPath = dir + "/vael.sock";
        server = std::make_unique<VaultUDSServer>(
            socketPath, VaultResolver(source, std::make_shared<NeverGate>(), [] { return false; }));
        server->start();
    }
    ~Vault() {
        server->stop();
        std::filesystem::remove_all(dir);
    }
};

Vault& vault() {
    static Vault instance;
    return instance;
}

// Every answer must carry the value: a refusal would measure nothing.
void roundTrip(int fd, const std::string& line, char* buffer, std::size_t size) {
    const auto have = bench::roundTrip(fd, line, buffer, size);
    if (std::string_view(buffer, have).find("\"allowed\"") == std::string_view::npos) std::abort();
}

std::string resolveLine(int i) {
    return R"({"op":"resolve","ref":"vael://local/)" + itemName(i) + R"(/password"})" "\n";
}

void report(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

// A different item every time, spread over the whole vault.
void BM_ResolveOverSocket10k(benchmark::State& state) {
    auto& v = vault();
    int fd = bench::connectTo(v.socketPath);
    char buffer[4096];
    std::mt19937 random(42);
    std::uniform_int_distribution<int> pick(0, kItems - 1);
    std::vector<double> micros;
    for (auto _ : state) {
        const auto line = resolveLine(pick(random));
        auto start = std::chrono::steady_clock::now();
        roundTrip(fd, line, buffer, sizeof buffer);
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    ::close(fd);
    report(state, micros);
}
BENCHMARK(BM_ResolveOverSocket10k)->UseRealTime()->MinTime(2.0);

// The first resolve after someone else wrote to the store: whatever the item source remembers is
// stale and is rebuilt.
void BM_ResolveAfterWrite10k(benchmark::State& state) {
    auto& v = vault();
    int fd = bench::connectTo(v.socketPath);
    char buffer[4096];
    auto group = *v.store->collection(kGroup);
    std::vector<double> micros;
    int i = 0;
    for (auto _ : state) {
        group.updatedAt = std::chrono::system_clock::now();
        v.store->upsertCollection(group);
        const auto line = resolveLine((i++ * 7919) % kItems);
        auto start = std::chrono::steady_clock::now();
        roundTrip(fd, line, buffer, sizeof buffer);
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    ::close(fd);
    report(state, micros);
}
BENCHMARK(BM_ResolveAfterWrite10k)->UseRealTime()->Iterations(50);

// The floor under a rebuild: reading the group's rows from the store.
void BM_ReadGroupRows10k(benchmark::State& state) {
    auto& v = vault();
    for (auto _ : state) benchmark::DoNotOptimize(v.store->items(kGroup));
}
BENCHMARK(BM_ReadGroupRows10k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

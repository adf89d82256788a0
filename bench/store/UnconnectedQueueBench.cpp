// A vault that was never connected to a server: the cost of creating an item in an empty vault, and
// after 100,000 updates of 1,000 items (which, with nothing ever sent, leave one queued operation per
// item). The second should stay within 1.5 times the first; the replica's size is reported too.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "store/SyncEngine.h"

using namespace vael;

namespace {

constexpr int kItems = 1'000;
constexpr int kUpdates = 100'000;

// Any call is a fault here: the engine of a vault without an account calls nothing.
class NoServer final : public VaelSyncAPI {
public:
    SyncResponse sync(std::optional<TimePoint>) override { fail(); }
    ItemBody fetchItem(const Uuid&) override { fail(); }
    PushResult putItem(const Uuid&, const ItemBody&, std::int64_t) override { fail(); }
    void createItem(const ItemBody&) override { fail(); }
    void deleteItem(const Uuid&) override { fail(); }
    void createCollection(const CollectionRecord&) override { fail(); }
    void patchCollection(const CollectionRecord&) override { fail(); }
    void deleteCollection(const Uuid&) override { fail(); }

private:
    [[noreturn]] static void fail() { throw std::logic_error("a vault without a server account called it"); }
};

const Uuid kGroup = Uuid::random();

ItemBody bodyOf(const Uuid& id, std::uint8_t fill) {
    return ItemBody{.id = id, .collectionId = kGroup, .type = "login", .nameBlob = Bytes(48, fill),
                    .contentBlob = Bytes(400, fill), .cryptoParams = R"({"alg":"xchacha20poly1305","v":1})",
                    .wrappedItemKey = Bytes(72, 0x11), .aiAccess = "injectable", .revision = 1,
                    .updatedAt = std::chrono::system_clock::now()};
}

struct Vault {
    std::filesystem::path dir;
    std::shared_ptr<VaelStore> store;
    std::unique_ptr<SyncEngine> engine;

    Vault() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vael-unconnected-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir = pattern;
        store = std::make_shared<VaelStore>((dir / "replica.sqlite").string());
        engine = std::make_unique<SyncEngine>(store, std::make_shared<NoServer>());
        engine->setServerAccount(false);
    }
    ~Vault() {
        engine.reset();
        store.reset();
        std::filesystem::remove_all(dir);
    }
    double replicaMiB() const {
        std::uintmax_t bytes = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) bytes += entry.file_size();
        return static_cast<double>(bytes) / (1024.0 * 1024.0);
    }
};

void timeCreates(benchmark::State& state, Vault& vault) {
    std::uint8_t fill = 0;
    for (auto _ : state) vault.engine->create(bodyOf(Uuid::random(), ++fill));
    state.counters["queued_ops"] = static_cast<double>(vault.engine->pendingCount());
    state.counters["replica_MiB"] = vault.replicaMiB();
}

void BM_CreateInAnEmptyVault(benchmark::State& state) {
    Vault vault;
    timeCreates(state, vault);
}

// Made once: the 100,000 updates take minutes where every commit waits for the disk.
Vault& updatedVault() {
    static Vault vault;
    static const bool updated = [] {
        std::vector<Uuid> ids(kItems);
        for (auto& id : ids) {
            id = Uuid::random();
            vault.engine->create(bodyOf(id, 0));
        }
        for (int n = 0; n < kUpdates; ++n)
            vault.engine->write(bodyOf(ids[static_cast<std::size_t>(n % kItems)], static_cast<std::uint8_t>(n)));
        return true;
    }();
    (void)updated;
    return vault;
}

void BM_CreateAfter100000Updates(benchmark::State& state) { timeCreates(state, updatedVault()); }

BENCHMARK(BM_CreateInAnEmptyVault)->Unit(benchmark::kMicrosecond)->Iterations(1000)->Repetitions(3)->UseRealTime();
BENCHMARK(BM_CreateAfter100000Updates)->Unit(benchmark::kMicrosecond)->Iterations(1000)->Repetitions(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Cost per store operation on a 10,000-item replica in a temporary file.
//   store_bench            (Google Benchmark flags apply)

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "store/VaelStore.h"

using namespace vael;

namespace {

constexpr int kItems = 10'000;

Uuid idOf(int n) {
    char text[37];
    std::snprintf(text, sizeof text, "00000000-0000-4000-8000-%012d", n);
    return Uuid::fromText(text);
}

const Uuid kGroup = idOf(999'999);

ItemRecord itemOf(int n, std::int64_t revision = 1) {
    Bytes name(48);
    for (std::size_t i = 0; i < name.size(); ++i) name[i] = static_cast<std::uint8_t>((n * 131 + i * 7) & 0xff);
    return ItemRecord{.id = idOf(n), .collectionId = kGroup, .type = "login", .nameBlob = name,
                      .contentBlob = Bytes(400, 0x5a), .cryptoParams = R"({"alg":"xchacha20poly1305","v":1})",
                      .wrappedItemKey = Bytes(72, 0x11), .aiAccess = "human_gated", .revision = revision,
                      .updatedAt = std::chrono::system_clock::now(), .deleted = false};
}

class Replica {
public:
    Replica() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vael-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        store = std::make_unique<VaelStore>((dir_ / "replica.sqlite").string());
    }
    ~Replica() {
        store.reset();
        std::filesystem::remove_all(dir_);
    }
    void fill() {
        for (int n = 0; n < kItems; ++n) store->upsertItem(itemOf(n));
    }
    std::unique_ptr<VaelStore> store;

private:
    std::filesystem::path dir_;
};

// Each iteration is one upsert: the first 10,000 insert, later ones rewrite.
void BM_UpsertItem(benchmark::State& state) {
    Replica replica;
    int n = 0;
    for (auto _ : state) {
        replica.store->upsertItem(itemOf(n % kItems, n / kItems + 1));
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UpsertItem)->Iterations(kItems)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same with a change observation whose posted work runs after every write, as a busy event loop
// would: the price of the fingerprint on a 10,000-item table.
void BM_UpsertItemObserved(benchmark::State& state) {
    Replica replica;
    replica.fill();
    std::deque<std::function<void()>> posted;
    int notifications = 0;
    auto token = replica.store->observeVaultChanges([&] { ++notifications; },
                                                    [&](std::function<void()> f) { posted.push_back(std::move(f)); });
    int n = 0;
    for (auto _ : state) {
        replica.store->upsertItem(itemOf(n % kItems, 2));
        ++n;
        while (!posted.empty()) {
            auto f = std::move(posted.front());
            posted.pop_front();
            f();
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["notifications"] = notifications;
}
BENCHMARK(BM_UpsertItemObserved)->Iterations(1000)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ReadItem(benchmark::State& state) {
    Replica replica;
    replica.fill();
    int n = 0;
    for (auto _ : state) {
        auto record = replica.store->item(idOf(n++ % kItems));
        benchmark::DoNotOptimize(record);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadItem)->Iterations(kItems)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One call reads the whole 10,000-item group.
void BM_ItemsOfGroup(benchmark::State& state) {
    Replica replica;
    replica.fill();
    for (auto _ : state) {
        auto records = replica.store->items(kGroup);
        if (records.size() != kItems) state.SkipWithError("wrong item count");
        benchmark::DoNotOptimize(records);
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_ItemsOfGroup)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Replay of 1,000 queued operations against an in-memory server that takes everything:
// operations per second and the process's peak memory.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <memory>
#include <string>

#include "store/RecordJson.h"
#include "store/SyncEngine.h"

using namespace vael;

namespace {

constexpr int kOps = 1'000;

class AcceptingServer final : public VaelSyncAPI {
public:
    SyncResponse sync(std::optional<TimePoint>) override { return {}; }
    ItemBody fetchItem(const Uuid&) override { throw SyncAPIError::transport("not here"); }
    PushResult putItem(const Uuid&, const ItemBody& body, std::int64_t) override { return {body.revision + 1}; }
    void createItem(const ItemBody&) override {}
    void deleteItem(const Uuid&) override {}
    void createCollection(const CollectionRecord&) override {}
    void patchCollection(const CollectionRecord&) override {}
    void deleteCollection(const Uuid&) override {}
};

class NoPause final : public SyncPause {
public:
    void pause(std::chrono::nanoseconds) override {}
};

ItemBody bodyOf(int n) {
    return ItemBody{.id = Uuid::random(), .collectionId = Uuid::random(), .type = "login",
                    .nameBlob = Bytes(48, static_cast<std::uint8_t>(n)), .contentBlob = Bytes(400, 0x5a),
                    .cryptoParams = R"({"alg":"xchacha20poly1305","v":1})", .wrappedItemKey = Bytes(72, 0x11),
                    .aiAccess = "injectable", .revision = n, .updatedAt = std::chrono::system_clock::now()};
}

// Seven puts, two creates and one delete in every ten operations.
void fillQueue(VaelStore& store) {
    const auto start = std::chrono::system_clock::now();
    for (int n = 0; n < kOps; ++n) {
        const auto body = bodyOf(n);
        const int slot = n % 10;
        const auto kind = slot < 7 ? PendingOpRecord::Kind::put
                          : slot < 9 ? PendingOpRecord::Kind::create
                                     : PendingOpRecord::Kind::delete_;
        store.enqueue(PendingOpRecord{.opId = Uuid::random(), .kind = kind, .itemId = body.id,
                                      .payloadBlob = kind == PendingOpRecord::Kind::delete_ ? Bytes{}
                                                                                           : bytesOf(toJsonText(body)),
                                      .baseRevision = body.revision,
                                      .createdAt = start + std::chrono::milliseconds(n)});
    }
}

long peakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_ReplayThousandOperations(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vael-replay-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    const std::filesystem::path dir = pattern;
    {
        auto store = std::make_shared<VaelStore>((dir / "replica.sqlite").string());
        SyncEngine engine(store, std::make_shared<AcceptingServer>(), std::make_shared<SystemClock>(),
                          std::make_shared<NoPause>());
        for (auto _ : state) {
            state.PauseTiming();
            fillQueue(*store);
            state.ResumeTiming();
            const auto outcome = engine.replayPending();
            if (!outcome.complete || engine.pendingCount() != 0) state.SkipWithError("queue not drained");
        }
        state.SetItemsProcessed(state.iterations() * kOps);
        state.counters["peak_rss_MiB"] = static_cast<double>(peakKilobytes()) / 1024.0;
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReplayThousandOperations)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

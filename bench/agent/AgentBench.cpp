// Cost of the agent edge: decoding and encoding one request, and the resolve round trip over the
// socket against a raw Unix-socket ping-pong, alone and with concurrent connections.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "SocketClient.h"
#include "app/agent/VaultUDSServer.h"

using namespace vael;

namespace {

// A read-only vault of a few hundred fields; lookups are a map search, as cheap as an item source gets.
class FixtureSource final : public VaultItemSource {
public:
    FixtureSource() {
        for (int i = 0; i < 256; ++i) {
            items_[{"local", "item-" + std::to_string(i), "password"}] =
                ResolvedItem{UDSAIAccess::injectable, "s3cret-value-" + std::to_string(i), "password",
                             "item-" + std::to_string(i), "https://example.com/login",
                             std::vector<std::string>{"api.example.com"}, std::nullopt};
        }
    }
    std::optional<ResolvedItem> lookup(const VaultRef& ref) override {
        auto it = items_.find({ref.collection, ref.item, ref.field});
        if (it == items_.end()) return std::nullopt;
        return it->second;
    }
    std::vector<VaultUDSListEntry> list(const std::optional<std::string>&, const std::optional<std::string>&) override {
        return {};
    }

private:
    std::map<std::tuple<std::string, std::string, std::string>, ResolvedItem> items_;
};

class NeverGate final : public BiometricGate {
public:
    bool authenticate(const std::string&) override { return false; }
};

const std::string kResolveLine = R"({"op":"resolve","ref":"vael://local/item-42/password"})" "\n";

struct Running {
    std::string dir;
    std::string path;
    std::unique_ptr<VaultUDSServer> server;

    Running() {
        char pattern[] = "/tmp/vael-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        path = dir + "/vael.sock";
        server = std::make_unique<VaultUDSServer>(
            path, VaultResolver(std::make_shared<FixtureSource>(), std::make_shared<NeverGate>(), [] { return false; }),
            [] {});
        server->start();
    }
    ~Running() {
        server->stop();
        std::filesystem::remove_all(dir);
    }
};

Running& running() {
    static Running instance;
    return instance;
}

using bench::roundTrip;

void reportLatencies(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

void BM_DecodeRequest(benchmark::State& state) {
    std::string_view line(kResolveLine.data(), kResolveLine.size() - 1);
    for (auto _ : state) benchmark::DoNotOptimize(decodeRequest(line));
}
BENCHMARK(BM_DecodeRequest);

void BM_DecodeRequestManyKeys(benchmark::State& state) {
    const std::string line =
        R"({"op":"secret_create","name":"Deploy key","value":"s3cret/value","kind":"token","group":"ops",)"
        R"("url":"https://example.com/","field_label":"token","ai_access":"injectable",)"
        R"("allowed_hosts":["api.example.com","example.com"],"allowed_commands":["curl"],"client":{"v":1}})";
    for (auto _ : state) benchmark::DoNotOptimize(decodeRequest(line));
}
BENCHMARK(BM_DecodeRequestManyKeys);

void BM_EncodeResolveAnswer(benchmark::State& state) {
    VaultUDSResponse response{UDSDecision::allowed, UDSAIAccess::injectable, "s3cret-value-42", "password",
                              std::nullopt, std::nullopt, std::nullopt,
                              std::vector<std::string>{"api.example.com"}, std::nullopt};
    std::string line;  // the connection's buffer, reused from answer to answer
    for (auto _ : state) {
        line.clear();
        appendAnswer(line, response);
        benchmark::DoNotOptimize(line.data());
    }
}
BENCHMARK(BM_EncodeResolveAnswer);

void BM_ParseReference(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(VaultRef::parse("vael://local/item-42/password"));
}
BENCHMARK(BM_ParseReference);

// The floor: the same line and a same-sized answer over a Unix socket with a trivial echo peer.
void BM_RawSocketPingPong(benchmark::State& state) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) std::abort();
    std::thread echo([fd = pair[1]] {
        char buffer[4096];
        for (;;) {
            auto n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) return;
            if (::send(fd, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) return;
        }
    });
    char buffer[4096];
    std::vector<double> micros;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        roundTrip(pair[0], kResolveLine, buffer, sizeof buffer);
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    ::shutdown(pair[0], SHUT_RDWR);
    echo.join();
    ::close(pair[0]);
    ::close(pair[1]);
    reportLatencies(state, micros);
}
BENCHMARK(BM_RawSocketPingPong)->UseRealTime();

void BM_ResolveRoundTrip(benchmark::State& state) {
    int fd = bench::connectTo(running().path);
    char buffer[4096];
    std::vector<double> micros;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        roundTrip(fd, kResolveLine, buffer, sizeof buffer);
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    ::close(fd);
    reportLatencies(state, micros);
}
BENCHMARK(BM_ResolveRoundTrip)->UseRealTime();

// Each benchmark thread is one agent connection; items_per_second is the server's throughput.
void BM_ResolveThroughput(benchmark::State& state) {
    int fd = bench::connectTo(running().path);
    char buffer[4096];
    for (auto _ : state) roundTrip(fd, kResolveLine, buffer, sizeof buffer);
    ::close(fd);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ResolveThroughput)->Threads(1)->Threads(4)->Threads(16)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// A sync answer of 10,000 item changes fetched from the test server over loopback: items per second
// through the client (HTTP, JSON reading, records) and the process's peak memory.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "FakeVaelServer.h"
#include "api/VaelAPIClient.h"

namespace {

constexpr int kItems = 10'000;
constexpr int kRounds = 20;

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main() {
    using namespace vael;
    fake::FakeVaelServer server;
    const Uuid org = Uuid::random();
    const Uuid group = Uuid::random();
    server.addOrg({org, "b3Jn"});
    fake::FakeVaelServer::Collection collection;
    collection.id = group;
    collection.orgId = org;
    server.addCollection(collection);
    for (int i = 0; i < kItems; ++i) {
        fake::FakeVaelServer::Item item;
        item.id = Uuid::random();
        item.collectionId = group;
        item.revision = i + 1;
        item.deleted = i % 10 == 0;
        server.addItem(item);
    }

    std::size_t received = 0;
    double seconds = 0;
    {
        VaelAPIClient client(server.baseURL());
        client.sync(std::nullopt);  // warm the connection
        const auto start = std::chrono::steady_clock::now();
        for (int round = 0; round < kRounds; ++round) received += client.sync(std::nullopt).items.size();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (received != static_cast<std::size_t>(kItems) * kRounds) {
        std::fprintf(stderr, "expected %d items per pull\n", kItems);
        return 1;
    }
    std::printf("pull of %d items, %d rounds: %.1f ms per pull, %.0f items/s, peak memory %ld KiB\n", kItems, kRounds,
                seconds * 1000 / kRounds, static_cast<double>(received) / seconds, peakKilobytes());
    return 0;
}

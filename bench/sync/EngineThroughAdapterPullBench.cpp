// A first pull of 10,000 items into an empty replica, the way the application does it: the engine asks
// for the changes, then fetches each item's body through the adapter and the client over loopback and
// stores it. Prints items per second and the process's peak memory.

#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "FakeVaelServer.h"
#include "api/Base64URL.h"
#include "api/VaelAPIClient.h"
#include "app/sync/SyncAPIAdapter.h"
#include "store/SyncEngine.h"

namespace {

constexpr int kItems = 10'000;
constexpr int kRounds = 1;

long peakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
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
    collection.nameBlob = Base64URL::encode(Bytes(48, 0x21));
    collection.wrappedKey = Base64URL::encode(Bytes(72, 0x22));
    server.addCollection(collection);
    for (int i = 0; i < kItems; ++i) {
        fake::FakeVaelServer::Item item;
        item.id = Uuid::random();
        item.collectionId = group;
        item.nameBlob = Base64URL::encode(Bytes(48, static_cast<std::uint8_t>(i)));
        item.contentBlob = Base64URL::encode(Bytes(400, 0x5a));
        item.wrappedItemKey = Base64URL::encode(Bytes(72, 0x11));
        server.addItem(item);
    }

    std::string pattern = (std::filesystem::temp_directory_path() / "vael-pull-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "mkdtemp failed\n");
        return 1;
    }
    const std::filesystem::path dir = pattern;

    double seconds = 0;
    bool complete = true;
    {
        auto client = std::make_shared<VaelAPIClient>(server.baseURL());
        auto adapter = std::make_shared<SyncAPIAdapter>(client);
        for (int round = 0; round < kRounds; ++round) {
            const auto file = dir / ("replica-" + std::to_string(round) + ".sqlite");
            auto store = std::make_shared<VaelStore>(file.string());
            SyncEngine engine(store, adapter);
            const auto start = std::chrono::steady_clock::now();
            engine.pull();
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            complete = complete && store->items(group).size() == static_cast<std::size_t>(kItems);
        }
    }
    std::filesystem::remove_all(dir);
    if (!complete) {
        std::fprintf(stderr, "expected %d items after each pull\n", kItems);
        return 1;
    }
    std::printf("first pull of %d items through engine, adapter and client, %d rounds: %.0f ms per pull, "
                "%.0f items/s (goal <= 1500 ms), peak memory %ld KiB\n",
                kItems, kRounds, seconds * 1000 / kRounds, kItems * kRounds / seconds, peakKilobytes());
    return 0;
}

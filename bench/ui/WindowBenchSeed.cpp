// Seeds a vault for the real-window bench: onboards with the application's own passphrase cost into
// the data folder named by $XDG_DATA_HOME (as the application finds it), adds N sample items, locks,
// and writes a CSV of N rows for the import sheet beside it.
//
//   window_bench_seed ITEMS CSV_PATH
//   window_bench_seed kdf          the key derivation alone at the application's cost: median ms of 3
//
// The passphrase comes from the bench's one shared header; it is typed into the application, never
// passed on a command line.

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/model/WindowBenchSupport.h"
#include "bench/ui/WindowBenchPassphrase.h"
#include "model/ItemFixtures.h"
#include "app/custody/VaelPaths.h"
#include "app/model/StoreItemSourceFactory.h"

using namespace vael;
namespace fx = vael::testing;

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "kdf") {
        std::vector<double> runs;
        for (int i = 0; i < 3; ++i) {
            const auto start = windowbench::Clock::now();
            (void)VaultCrypto::createVault(SecureBytes(std::string_view("x")), false, AppModelServices{}.passphraseCost);
            runs.push_back(windowbench::msSince(start));
        }
        std::printf("%.1f\n", windowbench::median(runs));
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_bench_seed ITEMS CSV_PATH | kdf\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    QCoreApplication application(argc, argv);

    std::vector<ItemSourceContext> contexts;
    AppModelServices s;
    s.syncAPI = std::make_shared<fx::RecordingSyncAPI>();
    s.bootstrapAPI = std::make_shared<fx::AcceptingBootstrapAPI>();
    s.biometric = std::make_shared<fx::AllowingGate>();
    auto live = storeItemSourceFactory();
    s.makeItemSource = [&contexts, live](const ItemSourceContext& context) {
        contexts.push_back(context);
        return live(context);
    };
    s.syncPause = std::make_shared<fx::NoPause>();
    const Argon2Cost cost = s.passphraseCost;  // the application's own
    {
        AppModel model(VaelPaths::standard(), std::move(s));
        model.bootstrap();
        const SecureBytes pass{std::string_view(windowbench::kPassphrase)};
        fx::await(model.completeOnboarding(VaultCrypto::createVault(pass, false, cost),
                                           SecureBytes(std::string_view(windowbench::kPassphrase))));
        fx::settle();
        auto& store = *contexts.back().store;
        const auto key = contexts.back().defaultCollectionKey;
        for (int added = 0; added < count;) {
            std::vector<ItemRecord> batch;
            for (int i = 0; i < 1000 && added < count; ++i) batch.push_back(windowbench::sampleItem(*model.vault(), key, added++));
            store.upsertGroupWithContents(std::nullopt, batch, {});
        }
        fx::settle();
        fx::await(model.lock());
        fx::settle();
    }

    std::ofstream csv(argv[2]);
    csv << "name,url,username,password\n";
    for (int n = 0; n < count; ++n)
        csv << "Imported " << n << ",https://site" << n << ".example,user" << n << ",pw-" << n << "\n";
    return csv.good() ? 0 : 1;
}

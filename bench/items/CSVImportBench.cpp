// Reading a password export of 10,000 logins into payloads, as the import sheet does with the
// chosen file, in plain ASCII and with names in other scripts (the grapheme walk's slow path).

#include <benchmark/benchmark.h>

#include "app/items/CSVImport.h"

using namespace vael;

namespace {

std::string exportOf(int rows, const std::string& namePrefix) {
    std::string text = "name,url,username,password,note\r\n";
    for (int i = 0; i < rows; ++i) {
        const auto n = std::to_string(i);
        text += namePrefix + n + ",https://login" + n + ".example.com/signin,user" + n +
                "@example.com,\"Zq8!vR2#k,Lm9\"\"wX4$" + n + "\",\"Rotated quarterly.\nOwner: platform team.\"\r\n";
    }
    return text;
}

void parseExport(benchmark::State& state, const std::string& namePrefix) {
    const auto text = exportOf(10'000, namePrefix);
    for (auto _ : state) {
        auto parsed = CSVImport::payloads(text);
        benchmark::DoNotOptimize(parsed.payloads.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_ImportExportAscii(benchmark::State& state) { parseExport(state, "Service "); }
BENCHMARK(BM_ImportExportAscii)->Unit(benchmark::kMillisecond);

void BM_ImportExportUnicode(benchmark::State& state) { parseExport(state, "\u00DCbersicht \u30B5\u30FC\u30D3\u30B9 "); }
BENCHMARK(BM_ImportExportUnicode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

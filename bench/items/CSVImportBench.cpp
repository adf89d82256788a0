// Reading a password export of 10,000 logins into payloads, as the import sheet does with the
// chosen file, in plain ASCII and with names in other scripts (the grapheme walk's slow path); and
// files of the largest size the sheet reads that are all empty fields, for the parser's peak memory
// (run one at a time under /usr/bin/time -v with --benchmark_filter).

#include <benchmark/benchmark.h>

#include <string>

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

constexpr std::size_t kLargestFile = 32 * 1024 * 1024;

// `head`, then `line` as often as it fits in the largest file; built in place, so the text itself
// takes 32 MiB and no more.
std::string largestFileOf(const std::string& head, const std::string& line) {
    std::string text;
    text.reserve(kLargestFile);
    text += head;
    while (text.size() + line.size() <= kLargestFile) text += line;
    return text;
}

void parseHostile(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        try {
            auto parsed = CSVImport::payloads(text);
            benchmark::DoNotOptimize(parsed.payloads.data());
        } catch (const CSVImport::ImportError& error) {
            benchmark::DoNotOptimize(error.what());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// One line of commas: tens of millions of empty fields in one row.
void BM_ImportOneLineOfCommas(benchmark::State& state) { parseHostile(state, largestFileOf("username,password", ",")); }
BENCHMARK(BM_ImportOneLineOfCommas)->Unit(benchmark::kMillisecond)->Iterations(1);

// A real header, then rows as wide as a row may be, all empty fields of columns no header names.
void BM_ImportWideRowsOfCommas(benchmark::State& state) {
    parseHostile(state, largestFileOf("username,password\n", std::string(CSVImport::kMaxColumns - 1, ',') + "\n"));
}
BENCHMARK(BM_ImportWideRowsOfCommas)->Unit(benchmark::kMillisecond)->Iterations(1);

// One password as long as the file.
void BM_ImportOneLongPassword(benchmark::State& state) { parseHostile(state, largestFileOf("password\n\"", "x")); }
BENCHMARK(BM_ImportOneLongPassword)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

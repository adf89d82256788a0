// Any file text: the rows hold no blank line, a row or column limit refuses only what exceeds it, and the import either gives named
// payloads of one to three known fields tagged "imported", or one of its own errors.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/items/CSVImport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto rows = vael::CSVImport::parse(text);
    for (const auto& row : rows) {
        if (row.empty() || (row.size() == 1 && row.front().empty())) std::abort();
    }
    // A row limit refuses exactly the texts with more rows than it allows.
    const std::size_t limit = size % 4;
    try {
        if (vael::CSVImport::parse(text, limit) != rows || rows.size() > limit) std::abort();
    } catch (const vael::CSVImport::ImportError& error) {
        if (error.code() != vael::CSVImport::ImportError::Case::tooManyRows || rows.size() <= limit) std::abort();
    }
    // A column limit refuses exactly the texts with a row wider than it allows.
    const std::size_t columnLimit = 1 + size % 5;
    std::size_t widest = 0;
    for (const auto& row : rows) widest = std::max(widest, row.size());
    try {
        if (vael::CSVImport::parse(text, SIZE_MAX, columnLimit) != rows || widest > columnLimit) std::abort();
    } catch (const vael::CSVImport::ImportError& error) {
        if (error.code() != vael::CSVImport::ImportError::Case::tooManyColumns || widest <= columnLimit) std::abort();
    }
    // The import refuses a too wide row, unless too many rows refuse the file first.
    const bool tooWide = widest > vael::CSVImport::kMaxColumns;
    const bool tooLong = rows.size() > vael::CSVImport::kMaxRows + 1;
    try {
        const auto parsed = vael::CSVImport::payloads(text);
        if (tooWide || tooLong) std::abort();
        if (parsed.payloads.empty() || parsed.skipped < 0) std::abort();
        for (const auto& payload : parsed.payloads) {
            if (payload.name.empty() || payload.fields.empty() || payload.fields.size() > 3) std::abort();
            if (payload.tags != std::vector<std::string>{"imported"}) std::abort();
            for (const auto& field : payload.fields) {
                if (field.value.empty()) std::abort();
                if (field.concealed != (field.kind != vael::ItemField::Kind::username)) std::abort();
            }
        }
    } catch (const vael::CSVImport::ImportError& error) {
        const bool wideRefused = error.code() == vael::CSVImport::ImportError::Case::tooManyColumns;
        if (wideRefused ? !tooWide : (tooWide && !tooLong)) std::abort();
    }
    return 0;
}

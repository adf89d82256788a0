#include "app/items/CSVImport.h"

#include <sodium.h>

#include <array>
#include <optional>

#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/UrlComponents.h"
#include "app/items/Graphemes.h"

namespace vael::CSVImport {

namespace {

const char* describe(ImportError::Case c) {
    switch (c) {
        case ImportError::Case::empty:
            return "No importable rows found in this file.";
        case ImportError::Case::unrecognizedHeader:
            return "This doesn't look like a password export \u2014 no username/password columns in the header.";
        case ImportError::Case::tooManyRows:
            return "This file has more than 50,000 rows \u2014 more than Vael imports at once. Split it into smaller "
                   "files and import each.";
    }
    return "";
}

enum Column { name, url, username, password, notes, otp, columnCount };

// Tried in this order for each column; the alias order beats the order of the header's cells.
const std::array<std::vector<std::string_view>, columnCount> aliases = {{
    {"title", "name"},
    {"url", "website", "login_uri"},
    {"username", "login_username", "user"},
    {"password", "login_password"},
    {"notes", "note"},
    {"otpauth", "otp", "totp", "one-time password"},
}};

using Columns = std::array<std::optional<std::size_t>, columnCount>;

Columns columnsOf(const Row& header) {
    std::vector<std::string> cells;
    cells.reserve(header.size());
    for (const auto& cell : header) cells.push_back(lowercased(trimBlanks(cell)));
    Columns columns;
    for (std::size_t column = 0; column < columnCount; ++column) {
        for (auto alias : aliases[column]) {
            for (std::size_t i = 0; i < cells.size() && !columns[column]; ++i) {
                if (cells[i] == alias) columns[column] = i;
            }
            if (columns[column]) break;
        }
    }
    return columns;
}

std::optional<std::string> cell(const Row& row, const std::optional<std::size_t>& column) {
    if (!column || *column >= row.size()) return std::nullopt;
    auto value = trimWhitespace(row[*column]);
    if (value.empty()) return std::nullopt;
    return value;
}

void wipe(std::vector<Row>& rows) {
    for (auto& row : rows) {
        for (auto& field : row) {
            if (!field.empty()) sodium_memzero(field.data(), field.size());
        }
    }
}

}  // namespace

ImportError::ImportError(Case c) : std::runtime_error(describe(c)), case_(c) {}

std::vector<Row> parse(std::string_view text, std::size_t maxRows) {
    std::vector<Row> rows;
    Row row;
    std::string field;
    auto endField = [&] {
        row.push_back(std::move(field));
        field.clear();
    };
    auto endRow = [&] {
        endField();
        if (!(row.size() == 1 && row.front().empty())) {
            if (rows.size() == maxRows) {
                // What was read holds secrets too.
                rows.push_back(std::move(row));
                wipe(rows);
                throw ImportError(ImportError::Case::tooManyRows);
            }
            rows.push_back(std::move(row));
        }
        row.clear();
    };
    bool inQuotes = false;
    GraphemeWalker walker(text);
    std::string_view c = walker.next();
    while (!c.empty()) {
        if (inQuotes) {
            if (c != "\"") {
                field += c;
                c = walker.next();
                continue;
            }
            const auto after = walker.next();
            if (after == "\"") {
                field += '"';
                c = walker.next();
            } else {
                // The closing quote is dropped; what follows is read outside quotes.
                inQuotes = false;
                c = after;
            }
            continue;
        }
        if (c == "\"") {
            inQuotes = true;
        } else if (c == ",") {
            endField();
        } else if (c == "\n" || c == "\r" || c == "\r\n") {
            endRow();
        } else {
            field += c;
        }
        c = walker.next();
    }
    if (!field.empty() || !row.empty()) endRow();
    return rows;
}

ParsedFile payloads(std::string_view csvText) {
    auto rows = parse(csvText, kMaxRows + 1);  // the header and the data rows
    struct Wiped {
        std::vector<Row>& rows;
        ~Wiped() { wipe(rows); }
    } wiped{rows};
    if (rows.size() < 2) throw ImportError(ImportError::Case::empty);
    const auto columns = columnsOf(rows.front());
    if (!columns[username] && !columns[password]) throw ImportError(ImportError::Case::unrecognizedHeader);

    ParsedFile parsed;
    // Payloads copy rather than move (they wipe on destruction): grow the list once.
    parsed.payloads.reserve(rows.size() - 1);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto& row = rows[r];
        auto user = cell(row, columns[username]);
        auto secret = cell(row, columns[password]);
        auto code = cell(row, columns[otp]);
        if (!user && !secret && !code) {
            ++parsed.skipped;
            continue;
        }
        ItemPayload payload;
        payload.url = cell(row, columns[url]);
        if (auto itemName = cell(row, columns[name])) {
            payload.name = std::move(*itemName);
        } else if (auto parts = payload.url ? UrlComponents::parse(*payload.url) : std::nullopt; parts && parts->host) {
            payload.name = *parts->host;
        } else {
            payload.name = "Imported item";
        }
        if (user) payload.fields.push_back(ItemField{"username", ItemField::Kind::username, std::move(*user), false});
        if (secret) payload.fields.push_back(ItemField{"password", ItemField::Kind::password, std::move(*secret), true});
        if (code) payload.fields.push_back(ItemField{"otp", ItemField::Kind::otp, std::move(*code), true});
        payload.notes = cell(row, columns[notes]);
        payload.tags = {"imported"};
        parsed.payloads.push_back(std::move(payload));
    }
    if (parsed.payloads.empty()) throw ImportError(ImportError::Case::empty);
    return parsed;
}

}  // namespace vael::CSVImport

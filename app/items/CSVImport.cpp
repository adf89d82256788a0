#include "app/items/CSVImport.h"

#include <sodium.h>

#include <algorithm>
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
        case ImportError::Case::tooManyColumns:
            return "This doesn't look like a password export \u2014 a row has more than 1,000 columns.";
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

void wipe(std::string& text) {
    if (!text.empty()) sodium_memzero(text.data(), text.size());
    text.clear();
}

void wipe(std::vector<Row>& rows) {
    for (auto& row : rows) {
        for (auto& field : row) wipe(field);
    }
}

// The dialect, walked once. `sink.field(column, text)` gets each field as it ends (it may take the
// text; what it leaves is wiped) and `sink.endRow()` each row's end; a blank line reaches it not at
// all. A row past `maxRows` throws before its end reaches the sink, a field past `maxColumns` in its
// row before the field does.
template <class Sink>
void walkRows(std::string_view text, std::size_t maxRows, std::size_t maxColumns, Sink& sink) {
    std::string field;
    struct Wiped {
        std::string& field;
        ~Wiped() { wipe(field); }
    } wiped{field};
    std::size_t column = 0;  // of `field` in its row
    std::size_t rows = 0;
    auto endField = [&] {
        if (column >= maxColumns) throw ImportError(ImportError::Case::tooManyColumns);
        sink.field(column, field);
        wipe(field);
    };
    auto endRow = [&] {
        if (column == 0 && field.empty()) return;  // a blank line
        endField();
        column = 0;
        if (rows == maxRows) throw ImportError(ImportError::Case::tooManyRows);
        ++rows;
        sink.endRow();
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
            ++column;
        } else if (c == "\n" || c == "\r" || c == "\r\n") {
            endRow();
        } else {
            field += c;
        }
        c = walker.next();
    }
    endRow();
}

// Every row with every field.
struct RowCollector {
    std::vector<Row> rows;
    Row row;

    void field(std::size_t, std::string& text) { row.push_back(std::move(text)); }
    void endRow() {
        rows.push_back(std::move(row));
        row.clear();
    }
};

// Payloads built row by row as the text is walked. Of a data row only the cells of recognised
// columns are kept, and only until the row ends, so a file of countless empty fields costs nothing.
class PayloadBuilder {
public:
    explicit PayloadBuilder(std::size_t rowsAtMost) { parsed_.payloads.reserve(rowsAtMost); }
    ~PayloadBuilder() {
        for (auto& cell : header_) wipe(cell);
        clearCells();
    }
    PayloadBuilder(const PayloadBuilder&) = delete;
    PayloadBuilder& operator=(const PayloadBuilder&) = delete;

    void field(std::size_t index, std::string& text) {
        if (rows_ == 0) {
            header_.push_back(std::move(text));
            return;
        }
        if (!recognised_) return;
        // Each alias belongs to one column, so a header cell names one column at most.
        for (std::size_t column = 0; column < columnCount; ++column) {
            if (columns_[column] == index) {
                cells_[column] = std::move(text);
                return;
            }
        }
    }

    void endRow() {
        if (rows_++ == 0) {
            columns_ = columnsOf(header_);
            recognised_ = columns_[username] || columns_[password];
            return;
        }
        if (recognised_) addRow();
        clearCells();
    }

    // The header alone decides whether the file is an export, once there is a data row.
    ParsedFile finish() {
        if (rows_ < 2) throw ImportError(ImportError::Case::empty);
        if (!recognised_) throw ImportError(ImportError::Case::unrecognizedHeader);
        if (parsed_.payloads.empty()) throw ImportError(ImportError::Case::empty);
        return std::move(parsed_);
    }

private:
    // Trimmed; absent when the column is, when the row did not reach it, or when nothing is left.
    std::optional<std::string> value(Column column) const {
        if (!cells_[column]) return std::nullopt;
        auto text = trimWhitespace(*cells_[column]);
        if (text.empty()) return std::nullopt;
        return text;
    }

    void clearCells() {
        for (auto& cell : cells_) {
            if (cell) wipe(*cell);
            cell.reset();
        }
    }

    void addRow() {
        auto user = value(username);
        auto secret = value(password);
        auto code = value(otp);
        if (!user && !secret && !code) {
            ++parsed_.skipped;
            return;
        }
        // Built in place: a payload is copied, not moved, and its values may be as large as the file.
        auto& payload = parsed_.payloads.emplace_back();
        payload.url = value(url);
        if (auto itemName = value(name)) {
            payload.name = std::move(*itemName);
        } else if (auto parts = payload.url ? UrlComponents::parse(*payload.url) : std::nullopt; parts && parts->host) {
            payload.name = *parts->host;
        } else {
            payload.name = "Imported item";
        }
        if (user) payload.fields.push_back(ItemField{"username", ItemField::Kind::username, std::move(*user), false});
        if (secret) payload.fields.push_back(ItemField{"password", ItemField::Kind::password, std::move(*secret), true});
        if (code) payload.fields.push_back(ItemField{"otp", ItemField::Kind::otp, std::move(*code), true});
        payload.notes = value(notes);
        payload.tags = {"imported"};
    }

    std::size_t rows_ = 0;
    Row header_;
    Columns columns_;
    bool recognised_ = false;
    std::array<std::optional<std::string>, columnCount> cells_;
    ParsedFile parsed_;
};

}  // namespace

ImportError::ImportError(Case c) : std::runtime_error(describe(c)), case_(c) {}

std::vector<Row> parse(std::string_view text, std::size_t maxRows, std::size_t maxColumns) {
    RowCollector collector;
    try {
        walkRows(text, maxRows, maxColumns, collector);
    } catch (...) {
        // What was read holds secrets too.
        wipe(collector.rows);
        for (auto& field : collector.row) wipe(field);
        throw;
    }
    return std::move(collector.rows);
}

ParsedFile payloads(std::string_view csvText) {
    // Payloads copy rather than move (they wipe on destruction): grow the list once. Each data row
    // ends at a line break, so there are no more of them than line breaks.
    const auto lineBreaks = static_cast<std::size_t>(
        std::count_if(csvText.begin(), csvText.end(), [](char c) { return c == '\n' || c == '\r'; }));
    PayloadBuilder builder(std::min(lineBreaks, kMaxRows));
    walkRows(csvText, kMaxRows + 1, kMaxColumns, builder);  // the header and the data rows
    return builder.finish();
}

}  // namespace vael::CSVImport

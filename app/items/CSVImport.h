#pragma once

// Password exports in CSV: a small, forgiving dialect split into rows, and the rows' columns found
// by their header names and turned into item payloads. Pure functions over UTF-8 text.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/ItemPayload.h"

namespace vael::CSVImport {

using Row = std::vector<std::string>;

// More data rows than any password export has: a file with more is refused before it is all read.
inline constexpr std::size_t kMaxRows = 50'000;
// Password exports have some 5 to 20 columns; a row with more fields than this is no such export.
inline constexpr std::size_t kMaxColumns = 1'000;

// Rows of fields in file order, as many fields as each line holds. Quotes may open anywhere in a
// field, an unclosed quote runs to the end, blank lines are dropped; nothing is trimmed. More than
// `maxRows` rows throw ImportError (tooManyRows), a row of more than `maxColumns` fields throws
// ImportError (tooManyColumns). Every field is kept: an empty one costs a string, so the rows may
// take many times the text's size.
std::vector<Row> parse(std::string_view text, std::size_t maxRows = SIZE_MAX, std::size_t maxColumns = SIZE_MAX);

struct ParsedFile {
    std::vector<ItemPayload> payloads;  // one per imported row, in file order
    int skipped = 0;                    // data rows without a username, a password or a one-time code

    bool operator==(const ParsedFile&) const = default;
};

class ImportError : public std::runtime_error {
public:
    enum class Case { empty, unrecognizedHeader, tooManyRows, tooManyColumns };
    explicit ImportError(Case c);
    Case code() const { return case_; }
    bool operator==(const ImportError& other) const { return case_ == other.case_; }

private:
    Case case_;
};

// Every payload is named, holds one to three of the fields "username", "password" and "otp", and
// carries the tag "imported". Throws ImportError when the header names neither a username nor a
// password column, when no row gives an item, when the file has more than kMaxRows data rows, or
// when a row has more than kMaxColumns fields. Only the fields of recognised columns are kept while
// the text is read, so the memory it takes grows with the text and the rows, never with the fields.
ParsedFile payloads(std::string_view csvText);

}  // namespace vael::CSVImport

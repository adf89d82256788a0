#pragma once

#include <SQLiteCpp/Database.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace vael {

// One named schema step. The identifier is its permanent name in the database file.
struct Migration {
    std::string identifier;
    std::function<void(SQLite::Database&)> apply;
};

// Identifiers recorded as applied in the file's bookkeeping table (empty for a new file).
std::set<std::string> appliedMigrations(SQLite::Database& db);

// Applies, in order, each migration not yet recorded: each one in its own transaction together with
// its bookkeeping row. Stops at the first failure, which rolls that migration back and is rethrown
// unchanged; migrations committed before it stay applied.
void migrate(SQLite::Database& db, const std::vector<Migration>& migrations);

// The replica's schema: "v1" to "v4", in order.
const std::vector<Migration>& replicaMigrations();

}  // namespace vael

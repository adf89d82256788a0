#pragma once

#include <exception>
#include <optional>
#include <string>

struct sqlite3;

namespace vael {

// What a failed file or replica access means to a person ("disk full", "read-only", "damaged", ...),
// so that a storage fault is named as one rather than passed off as something else. Nothing when
// the error is not a storage fault. The system's own cause, where the error carries one, comes
// before SQLite's general one.
std::optional<std::string> storageFaultCause(const std::exception& error);

// The cause for a system error number alone; nothing for one that is no storage fault.
std::optional<std::string> systemFaultCause(int error);

// Rethrows the SQLite exception being handled, with the system error behind it when `db` has one
// (a full disk reaches SQLite as an I/O error, and the handle that knows why may close before
// anyone asks). Call only from a catch block of a SQLite::Exception.
[[noreturn]] void rethrowWithSystemError(sqlite3* db);

}  // namespace vael

#include "store/StorageFault.h"

#include <SQLiteCpp/Exception.h>
#include <sqlite3.h>

#include <cerrno>
#include <system_error>

namespace vael {

namespace {

// A SQLite error as SQLiteCpp raises it, with the system error number behind it.
class SystemStorageError : public SQLite::Exception {
public:
    SystemStorageError(sqlite3* db, int ret, int systemError) : SQLite::Exception(db, ret), systemError_(systemError) {}
    int systemError() const { return systemError_; }

private:
    int systemError_;
};

}  // namespace

std::optional<std::string> systemFaultCause(int error) {
    switch (error) {
        // A file that may not grow any further is as full as the disk.
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return "disk full";
        case EROFS: return "read-only";
        case EACCES:
        case EPERM: return "permission denied";
        case EIO: return "input/output error";
        default: return std::nullopt;
    }
}

void rethrowWithSystemError(sqlite3* db) {
    try {
        throw;
    } catch (const SQLite::Exception& error) {
        // SQLite keeps the system's error number only for these; any other is left from before.
        const int primary = error.getErrorCode() & 0xff;
        const int systemError = db && (primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN) ? sqlite3_system_errno(db) : 0;
        if (!systemFaultCause(systemError)) throw;
        throw SystemStorageError(db, error.getErrorCode(), systemError);
    }
}

std::optional<std::string> storageFaultCause(const std::exception& error) {
    if (const auto* system = dynamic_cast<const SystemStorageError*>(&error)) {
        if (auto cause = systemFaultCause(system->systemError())) return cause;
    }
    if (const auto* sqlite = dynamic_cast<const SQLite::Exception*>(&error)) {
        switch (sqlite->getErrorCode() & 0xff) {
            case SQLITE_FULL: return "disk full";
            case SQLITE_READONLY: return "read-only";
            case SQLITE_PERM:
            case SQLITE_AUTH: return "permission denied";
            case SQLITE_CANTOPEN: return "cannot be opened";
            case SQLITE_CORRUPT:
            case SQLITE_NOTADB: return "damaged";
            case SQLITE_IOERR: return "input/output error";
            default: return std::nullopt;
        }
    }
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        if (system->code().category() == std::generic_category() || system->code().category() == std::system_category())
            return systemFaultCause(system->code().value());
    }
    return std::nullopt;
}

}  // namespace vael

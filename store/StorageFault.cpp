#include "store/StorageFault.h"

#include <SQLiteCpp/Exception.h>
#include <sqlite3.h>

#include <system_error>

namespace vael {

std::optional<std::string> storageFaultCause(const std::exception& error) {
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
        const auto code = system->code();
        if (code == std::errc::no_space_on_device) return "disk full";
        if (code == std::errc::read_only_file_system) return "read-only";
        if (code == std::errc::permission_denied || code == std::errc::operation_not_permitted)
            return "permission denied";
        if (code == std::errc::io_error) return "input/output error";
    }
    return std::nullopt;
}

}  // namespace vael

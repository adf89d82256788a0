#include "app/model/ReplicaFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/custody/PrivateFiles.h"

namespace vael {

namespace {

constexpr const char* kJournalSuffixes[] = {"-wal", "-shm", "-journal"};

[[noreturn]] void failIo(const std::string& path, const std::string& what, int error) {
    throw PrivateFileError(PrivateFileError::Kind::Io, path, what + " " + path + ": " + std::strerror(error));
}

bool present(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

void prepareReplicaFile(const std::string& path) {
    ensurePrivateFolder(folderOf(path));
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) failIo(path, "Could not inspect", errno);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::close(fd);
            return;
        }
        // Made at the same moment by someone else: checked like any existing file below.
        if (errno != EEXIST) failIo(path, "Could not create", errno);
        if (::lstat(path.c_str(), &st) != 0) failIo(path, "Could not inspect", errno);
    }
    if (!S_ISREG(st.st_mode)) {
        throw PrivateFileError(PrivateFileError::Kind::NotAFile, path,
                               path + " is not a file. Move it out of the way, then try again.");
    }
    if ((st.st_mode & 07777) != 0600 && ::chmod(path.c_str(), 0600) != 0) failIo(path, "Could not make private", errno);
}

std::optional<std::string> setReplicaAside(const std::string& path) {
    if (!present(path)) return std::nullopt;
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string aside = path + ".orphaned" + (attempt == 1 ? "" : "-" + std::to_string(attempt));
        bool taken = present(aside);
        for (const char* suffix : kJournalSuffixes) taken = taken || present(aside + suffix);
        if (taken) continue;
        // The replica and its journals move together or not at all: a log left behind would be
        // read as the log of the next vault's replica.
        if (::rename(path.c_str(), aside.c_str()) != 0) failIo(path, "Could not move aside", errno);
        std::vector<const char*> moved;
        for (const char* suffix : kJournalSuffixes) {
            if (::rename((path + suffix).c_str(), (aside + suffix).c_str()) == 0) {
                moved.push_back(suffix);
            } else if (errno != ENOENT) {
                const int error = errno;
                for (const char* back : moved) ::rename((aside + back).c_str(), (path + back).c_str());
                ::rename(aside.c_str(), path.c_str());
                failIo(path + suffix, "Could not move aside", error);
            }
        }
        return aside;
    }
    throw PrivateFileError(PrivateFileError::Kind::Io, path,
                           "Could not move " + path + " aside: too many earlier copies.");
}

}  // namespace vael

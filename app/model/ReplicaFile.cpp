#include "app/model/ReplicaFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
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

void removeIfPresent(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) failIo(path, "Could not remove", errno);
}

}  // namespace

void prepareReplicaFile(const std::string& path) {
    const std::string folder = folderOf(path);
    ensurePrivateFolder(folder);
    // SQLite would open a replica it cannot write read-only without a word, and fail later, far
    // from the cause.
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) != 0)
        throw std::system_error(errno, std::generic_category(), "Cannot write in " + folder);
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

std::string stagedReplicaPath(const std::string& path) { return path + ".creating"; }

void removeUnfinishedReplica(const std::string& path) {
    const std::string staged = stagedReplicaPath(path);
    for (const char* suffix : kJournalSuffixes) removeIfPresent(staged + suffix);
    removeIfPresent(staged);
    if (present(path)) return;
    for (const char* suffix : kJournalSuffixes) removeIfPresent(path + suffix);
}

void placeStagedReplica(const std::string& path) {
    const std::string staged = stagedReplicaPath(path);
    // Closed by its last connection, the replica has no log left; one that stayed goes first, so
    // the replica never arrives without it.
    for (const char* suffix : kJournalSuffixes) {
        if (::rename((staged + suffix).c_str(), (path + suffix).c_str()) != 0 && errno != ENOENT)
            failIo(staged + suffix, "Could not move", errno);
    }
    if (::rename(staged.c_str(), path.c_str()) != 0) failIo(staged, "Could not move", errno);
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) failIo(folderOf(path), "Could not open the folder", errno);
    const int flushed = ::fsync(folder);
    const int error = errno;
    ::close(folder);
    if (flushed != 0) failIo(folderOf(path), "Could not flush the folder", error);
}

}  // namespace vael

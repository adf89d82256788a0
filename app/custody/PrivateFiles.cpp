#include "app/custody/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/Log.h"

namespace vael {

namespace {

constexpr std::string_view kLogCategory = "custody.files";

std::string errorText(int error) { return std::strerror(error); }

std::string modeText(mode_t mode) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04o", static_cast<unsigned>(mode & 07777));
    return buffer;
}

[[noreturn]] void fail(PrivateFileError::Kind kind, const std::string& path, const std::string& message) {
    throw PrivateFileError(kind, path, message);
}

[[noreturn]] void failIo(const std::string& path, const std::string& what, int error) {
    fail(PrivateFileError::Kind::Io, path, what + " " + path + ": " + errorText(error));
}

// Closes on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closing can report a late write error, so the callers that wrote check it.
    int close() {
        const int fd = fd_;
        fd_ = -1;
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int fd_;
};

std::string fileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkdir -p with 0700 for every folder it makes; answers 0 or the errno of the failure.
int makeFolders(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0) {
        // The umask may have taken bits we need; never adds any for others.
        ::chmod(folder.c_str(), 0700);
        return 0;
    }
    if (errno == EEXIST) return 0;
    if (errno != ENOENT) return errno;
    const std::string parent = folderOf(folder);
    if (parent == folder || parent == "/" || parent == ".") return ENOENT;
    if (const int error = makeFolders(parent); error != 0) return error;
    if (::mkdir(folder.c_str(), 0700) == 0) {
        ::chmod(folder.c_str(), 0700);
        return 0;
    }
    return errno == EEXIST ? 0 : errno;
}

bool writeAll(int fd, std::string_view contents) {
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool createFolders(const std::string& folder) {
    struct stat st {};
    return makeFolders(folder) == 0 && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void ensurePrivateFolder(const std::string& folder, uid_t owner) {
    if (const int error = makeFolders(folder); error != 0) failIo(folder, "Could not create the folder", error);

    struct stat link {};
    if (::lstat(folder.c_str(), &link) != 0) failIo(folder, "Could not inspect the folder", errno);
    // A link planted by someone else could point anywhere, even at a folder of ours.
    if (S_ISLNK(link.st_mode) && link.st_uid != owner)
        fail(PrivateFileError::Kind::ForeignFolder, folder,
             "The folder " + folder + " is a link that belongs to another user. Vael keeps its files only in a folder "
             "of your own: remove the link, then try again.");

    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) failIo(folder, "Could not inspect the folder", errno);
    if (!S_ISDIR(st.st_mode))
        fail(PrivateFileError::Kind::NotAFolder, folder,
             folder + " is not a folder. Move it out of the way, then try again.");
    if (st.st_uid != owner)
        fail(PrivateFileError::Kind::ForeignFolder, folder,
             "The folder " + folder + " belongs to another user (uid " + std::to_string(st.st_uid) +
                 "). Vael keeps its files only in a folder of your own: remove or rename that folder, then try "
                 "again.");
    if ((st.st_mode & 077) != 0)
        fail(PrivateFileError::Kind::OpenFolder, folder,
             "The folder " + folder + " is open to other users (mode " + modeText(st.st_mode) +
                 "). Make it private with \"chmod 700 " + folder + "\", then try again.");
}

SaveOutcome writePrivateFileAtomically(const std::string& path, std::string_view contents) {
    const std::string folder = folderOf(path);
    ensurePrivateFolder(folder);

    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() < 0) failIo(folder, "Could not open the folder", errno);

    std::string temporary = folder + "/." + fileNameOf(path) + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) failIo(path, "Could not save", errno);
    temporary.assign(name.data());

    auto abandon = [&](int error) {
        fd.close();
        ::unlink(temporary.c_str());
        failIo(path, "Could not save", error);
    };
    if (::fchmod(fd.get(), 0600) != 0) abandon(errno);
    if (!writeAll(fd.get(), contents)) abandon(errno);
    if (::fsync(fd.get()) != 0) abandon(errno);
    if (fd.close() != 0) abandon(errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) abandon(errno);
    // The rename is only durable once the folder itself is on disk; the file is replaced either way.
    if (::fsync(folderFd.get()) != 0) {
        logMessage(LogLevel::Warning, kLogCategory,
                   "Saved " + path + ", but its folder could not be flushed to disk: " + errorText(errno));
        return SaveOutcome::notYetFlushed;
    }
    return SaveOutcome::flushed;
}

void removeInterruptedWrites(const std::string& path) {
    try {
        const std::string folder = folderOf(path);
        ensurePrivateFolder(folder);
        const std::string prefix = "." + fileNameOf(path) + ".";
        constexpr std::size_t kSuffix = 6;  // mkostemp's XXXXXX
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const auto name = entry.path().filename().string();
            if (name.size() != prefix.size() + kSuffix || !name.starts_with(prefix)) continue;
            struct stat st {};
            if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
            if (::unlink(entry.path().c_str()) == 0)
                logMessage(LogLevel::Info, kLogCategory, "Removed " + entry.path().string() + ", left by an interrupted save");
        }
    } catch (const std::exception&) {
        // Left for the next start; the saves themselves check the folder again.
    }
}

std::optional<std::string> readPrivateFile(const std::string& path) {
    ensurePrivateFolder(folderOf(path));
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        failIo(path, "Could not read", errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) failIo(path, "Could not read", errno);
    if (!S_ISREG(st.st_mode))
        fail(PrivateFileError::Kind::NotAFile, path, path + " is not a file. Move it out of the way, then try again.");

    std::string contents;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            failIo(path, "Could not read", errno);
        }
        if (n == 0) break;
        contents.append(buffer, static_cast<std::size_t>(n));
    }
    return contents;
}

void preparePrivateFile(const std::string& path) {
    ensurePrivateFolder(folderOf(path));
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) failIo(path, "Could not create", errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) failIo(path, "Could not inspect", errno);
    if (!S_ISREG(st.st_mode))
        fail(PrivateFileError::Kind::NotAFile, path, path + " is not a file. Move it out of the way, then try again.");
    if ((st.st_mode & 07777) != 0600 && ::fchmod(fd.get(), 0600) != 0) failIo(path, "Could not make private", errno);
}

std::optional<std::string> keepFileAside(const std::string& path, std::string_view tag) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return std::nullopt;
        failIo(path, "Could not inspect", errno);
    }
    const std::string base = path + "." + std::string(tag);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        // A second name for the same file: nothing is copied, nothing can be half-kept.
        if (::link(path.c_str(), aside.c_str()) == 0) return aside;
        if (errno == EEXIST) continue;
        if (errno == ENOENT) return std::nullopt;
        // File systems without hard links: an exclusive private copy instead.
        const auto contents = readPrivateFile(path);
        if (!contents) return std::nullopt;
        FileDescriptor fd(::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd.get() < 0) {
            if (errno == EEXIST) continue;
            failIo(aside, "Could not create", errno);
        }
        if (!writeAll(fd.get(), *contents) || ::fsync(fd.get()) != 0 || fd.close() != 0) {
            const int error = errno;
            ::unlink(aside.c_str());
            failIo(aside, "Could not write", error);
        }
        return aside;
    }
    fail(PrivateFileError::Kind::Io, path, "Could not keep " + path + " aside: too many earlier copies.");
}

}  // namespace vael

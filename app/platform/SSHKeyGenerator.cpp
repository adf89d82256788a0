#include "app/platform/SSHKeyGenerator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "core/Uuid.h"

extern char** environ;

namespace vael {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kWhiteSpace = " \t\n\r\v\f";
// ssh-keygen reads at most this many bytes of a passphrase line and drops the rest unseen.
constexpr std::size_t kMaxPassphraseBytes = 1023;

[[noreturn]] void throwErrno(const std::string& what, int error = errno) {
    throw std::system_error(error, std::generic_category(), what);
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t scalar = 0;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) { length = 2; scalar = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { length = 3; scalar = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { length = 4; scalar = c & 0x07; }
        else return false;
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            scalar = (scalar << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (scalar < smallest[length] || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        reset();
        fd_ = std::exchange(other.fd_, -1);
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// Deletes the work folder on every way out. The private key is overwritten first so that an
// unencrypted key does not linger in freed blocks longer than it must.
class WorkFolder {
public:
    explicit WorkFolder(fs::path path) : path_(std::move(path)) {}
    ~WorkFolder() {
        overwrite(path_ / "key");
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    static void overwrite(const fs::path& file) {
        Fd fd(::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
        const std::string zeros(4096, '\0');
        for (off_t done = 0; done < st.st_size;) {
            const auto chunk = static_cast<std::size_t>(std::min<off_t>(st.st_size - done, 4096));
            const auto n = ::write(fd.get(), zeros.data(), chunk);
            if (n <= 0) return;
            done += n;
        }
        ::fdatasync(fd.get());
    }
    fs::path path_;
};

constexpr std::string_view kWorkFolderPrefix = "vael-sshgen-";

// Work folders of generations whose process ended before cleaning up ("vael-sshgen-<pid>-<id>", the
// process gone, or the older "vael-sshgen-<id>"): their key is overwritten and they are removed.
void removeAbandonedWorkFolders(const fs::path& root) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root, error)) {
        const auto name = entry.path().filename().string();
        if (!name.starts_with(kWorkFolderPrefix)) continue;
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
        const auto rest = name.substr(kWorkFolderPrefix.size());
        if (!Uuid::parse(rest)) {
            const auto dash = rest.find('-');
            if (dash == std::string::npos || dash == 0 || dash > 9 ||
                rest.find_first_not_of("0123456789") != dash || !Uuid::parse(rest.substr(dash + 1)))
                continue;
            const auto pid = static_cast<pid_t>(std::stol(rest.substr(0, dash)));
            if (::kill(pid, 0) == 0 || errno != ESRCH) continue;  // its process still runs
        }
        WorkFolder abandoned(entry.path());
    }
}

fs::path makeWorkFolder(const fs::path& root) {
    removeAbandonedWorkFolders(root);
    const fs::path folder =
        root / (std::string(kWorkFolderPrefix) + std::to_string(::getpid()) + "-" + Uuid::random().text());
    if (::mkdir(folder.c_str(), 0700) != 0) throwErrno("couldn't create " + folder.string());
    // The umask may have taken bits away; it can never have added any.
    if (::chmod(folder.c_str(), 0700) != 0) {
        const int error = errno;
        ::rmdir(folder.c_str());
        throwErrno("couldn't protect " + folder.string(), error);
    }
    return folder;
}

SecureBytes readWholeFile(const fs::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) throwErrno("couldn't read " + path.filename().string());
    SecureBytes content;
    std::size_t used = 0;
    for (;;) {
        if (used == content.size()) content.resize(content.size() + 4096);
        const auto n = ::read(fd.get(), content.data() + used, content.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throwErrno("couldn't read " + path.filename().string());
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    content.resize(used);
    if (!isValidUtf8(content.view())) throwErrno("couldn't read " + path.filename().string(), EILSEQ);
    return content;
}

// What ssh-keygen said on failure, without the prompts it wrote while reading the passphrase.
std::string failureDetail(std::string errorOutput) {
    if (!isValidUtf8(errorOutput)) return {};
    for (std::string_view prompt : {"Enter passphrase (empty for no passphrase): ", "Enter same passphrase again: "}) {
        for (auto at = errorOutput.find(prompt); at != std::string::npos; at = errorOutput.find(prompt, at))
            errorOutput.erase(at, prompt.size());
    }
    return std::string(trimmed(errorOutput));
}

// The child's environment: ours, but never an askpass program, so the passphrase is read from stdin.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> env;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        const auto name = text.substr(0, text.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "SSH_ASKPASS" || name == "SSH_ASKPASS_REQUIRE")
            continue;
        env.emplace_back(text);
    }
    env.emplace_back("SSH_ASKPASS_REQUIRE=never");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

struct Spawned {
    pid_t pid = -1;
    Fd input;   // our end of the child's stdin
    Fd output;  // the child's stdout
    Fd errors;  // the child's stderr
};

// Starts the program in a new session (so it has no controlling terminal and cannot open /dev/tty)
// with stdin a socket we write to and stdout and stderr pipes we read.
Spawned spawnKeygen(const fs::path& program, std::vector<std::string> arguments) {
    int stdinPair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stdinPair) != 0) throwErrno("couldn't start ssh-keygen");
    Fd inOurs(stdinPair[0]), inChild(stdinPair[1]);
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) throwErrno("couldn't start ssh-keygen");
    Fd outOurs(outPipe[0]), outChild(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) throwErrno("couldn't start ssh-keygen");
    Fd errOurs(errPipe[0]), errChild(errPipe[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inChild.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outChild.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errChild.get(), STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string programText = program.string();
    arguments.insert(arguments.begin(), programText);
    auto argv = pointers(arguments);
    auto envTexts = childEnvironment();
    auto envp = pointers(envTexts);

    Spawned child;
    const int error = ::posix_spawn(&child.pid, programText.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) throwErrno("couldn't start " + programText, error);
    child.input = std::move(inOurs);
    child.output = std::move(outOurs);
    child.errors = std::move(errOurs);
    return child;
}

// The passphrase twice, one line each, as ssh-keygen asks for it; then end of input.
void sendPassphrase(Fd& input, std::string_view passphrase) {
    SecureBytes lines(passphrase.size() * 2 + 2);
    std::size_t at = 0;
    for (int copy = 0; copy < 2; ++copy) {
        std::copy(passphrase.begin(), passphrase.end(), lines.data() + at);
        at += passphrase.size();
        lines[at++] = '\n';
    }
    for (std::size_t sent = 0; sent < lines.size();) {
        const auto n = ::send(input.get(), lines.data() + sent, lines.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the child went away early; its exit status tells why
        sent += static_cast<std::size_t>(n);
    }
    input.reset();
}

// Drains stdout (discarded) and stderr (kept, up to a bound) until both close.
std::string collectErrorOutput(Fd& output, Fd& errors) {
    std::string kept;
    char buffer[4096];
    while (output.get() >= 0 || errors.get() >= 0) {
        pollfd fds[2] = {{output.get(), POLLIN, 0}, {errors.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const auto n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                (i == 0 ? output : errors).reset();
                continue;
            }
            if (i == 1 && kept.size() < 64 * 1024) kept.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return kept;
}

int waitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool writeAll(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const auto n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

enum class Created { ok, exists, failed };

// Creates a new file with exactly MODE and the bytes; a file left half-written is removed.
Created createFile(const fs::path& path, std::string_view bytes, mode_t mode) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.get() < 0) return errno == EEXIST ? Created::exists : Created::failed;
    const bool written = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    fd.reset();
    if (!written) {
        ::unlink(path.c_str());
        return Created::failed;
    }
    return Created::ok;
}

bool somethingAt(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

}  // namespace

std::string_view sshKeyTypeText(SSHKeyType type) {
    return type == SSHKeyType::ed25519 ? "ed25519" : "rsa4096";
}

std::optional<SSHKeyType> sshKeyTypeFromText(std::string_view text) {
    for (auto type : kAllSSHKeyTypes) {
        if (sshKeyTypeText(type) == text) return type;
    }
    return std::nullopt;
}

std::vector<std::string> keygenArguments(SSHKeyType type) {
    if (type == SSHKeyType::ed25519) return {"-t", "ed25519"};
    return {"-t", "rsa", "-b", "4096"};
}

SSHKeyError SSHKeyError::keygenFailed(std::string detail) {
    std::string description = detail.empty() ? "ssh-keygen failed." : "ssh-keygen failed: " + detail;
    return SSHKeyError(Kind::keygenFailed, std::move(detail), description);
}

SSHKeyError SSHKeyError::fileExists(std::string fileName) {
    const std::string description = "\u201C" + fileName + "\u201D already exists in that folder \u2014 choose another name.";
    return SSHKeyError(Kind::fileExists, std::move(fileName), description);
}

namespace SSHKeyGenerator {

fs::path temporaryFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        struct stat st {};
        if (::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0)
            return runtime;
    }
    return fs::temp_directory_path();
}

SSHKeyPair generate(SSHKeyType type, std::string_view comment, std::string_view passphrase, const Options& options) {
    // ssh-keygen reads each copy as one line: a line break would split it and silently make a
    // key with another passphrase.
    if (passphrase.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos)
        throw SSHKeyError::keygenFailed("the passphrase can't contain line breaks");
    if (passphrase.size() > kMaxPassphraseBytes) throw SSHKeyError::keygenFailed("the passphrase is too long");

    WorkFolder folder(makeWorkFolder(options.temporaryFolder.value_or(temporaryFolder())));
    const fs::path keyPath = folder.path() / "key";

    // The passphrase never goes on the command line, where every local user could read it.
    auto arguments = keygenArguments(type);
    for (std::string argument : {std::string("-f"), keyPath.string(), std::string("-C"), std::string(comment),
                                 std::string("-q")})
        arguments.push_back(std::move(argument));

    Spawned child = spawnKeygen(options.program, std::move(arguments));
    sendPassphrase(child.input, passphrase);
    std::string errorOutput = collectErrorOutput(child.output, child.errors);
    if (waitForExit(child.pid) != 0) throw SSHKeyError::keygenFailed(failureDetail(std::move(errorOutput)));

    SSHKeyPair pair;
    pair.privateKey = readWholeFile(keyPath);
    const SecureBytes publicFile = readWholeFile(fs::path(keyPath.string() + ".pub"));
    pair.publicKey = std::string(trimmed(publicFile.view()));
    return pair;
}

fs::path install(const SSHKeyPair& pair, const std::string& name, const fs::path& folder) {
    const auto writeFailure = [&] { return SSHKeyError::keygenFailed("couldn't write into " + folder.string()); };
    // A name is one file in the folder, never a path out of it.
    if (name.empty() || name == "." || name == ".." || name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        throw writeFailure();

    const fs::path privatePath = folder / name;
    const fs::path publicPath = folder / (name + ".pub");
    if (somethingAt(privatePath) || somethingAt(publicPath)) throw SSHKeyError::fileExists(name);

    // The public key first, and taken back when the private key cannot follow: an install that
    // stops half-way leaves no private key without its public one.
    switch (createFile(publicPath, pair.publicKey + "\n", 0644)) {
    case Created::ok: break;
    case Created::exists: throw SSHKeyError::fileExists(name);
    case Created::failed: throw writeFailure();
    }
    const auto created = createFile(privatePath, pair.privateKey.view(), 0600);
    if (created != Created::ok) ::unlink(publicPath.c_str());
    switch (created) {
    case Created::ok: break;
    case Created::exists: throw SSHKeyError::fileExists(name);
    case Created::failed: throw writeFailure();
    }
    return privatePath;
}

std::string suggestedFilename(std::string_view name) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
    text.toLower(icu::Locale::getRoot());

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    std::string folded;
    const auto appendUnderscore = [&] {
        if (folded.empty() || folded.back() != '_') folded += '_';
    };
    if (U_FAILURE(status)) return "id_vael";
    characters->setText(text);
    for (int32_t start = characters->first(), end = characters->next(); end != icu::BreakIterator::DONE;
         start = end, end = characters->next()) {
        const UChar32 first = text.char32At(start);
        const bool keep = u_hasBinaryProperty(first, UCHAR_ALPHABETIC) ||
                          u_getIntPropertyValue(first, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
        if (!keep) {
            appendUnderscore();
            continue;
        }
        std::string cluster;
        text.tempSubStringBetween(start, end).toUTF8String(cluster);
        folded += cluster;
    }
    const auto first = folded.find_first_not_of('_');
    if (first == std::string::npos) return "id_vael";
    folded = folded.substr(first, folded.find_last_not_of('_') - first + 1);
    return folded.starts_with("id_") ? folded : "id_" + folded;
}

}  // namespace SSHKeyGenerator

}  // namespace vael

#pragma once

// The end-to-end tests' two ends: the host as a child process on pipes, and an agent on the socket.
// Every read is bounded, so a host that hangs fails the test instead of blocking it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

extern char** environ;

namespace vael::e2e {

using json = nlohmann::json;

inline constexpr int kReadLimitMs = 60'000;

// Reads up to a line feed from fd, waiting at most kReadLimitMs in all; nothing on timeout or end.
inline std::optional<std::string> readLine(int fd, std::string& buffer) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadLimitMs);
    for (;;) {
        if (auto end = buffer.find('\n'); end != std::string::npos) {
            std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char chunk[4096];
        const auto n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

inline void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("write failed");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// A private folder of its own, short enough for a socket path.
class TempHome {
public:
    TempHome() {
        char pattern[] = "/tmp/vael-e2e-XXXXXX";
        if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempHome() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string socket() const { return path_ + "/vael.sock"; }

private:
    std::string path_;
};

inline bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Polls for a path to (dis)appear, for at most kReadLimitMs.
inline bool waitForPath(const std::string& path, bool present) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadLimitMs);
    while (exists(path) != present) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// vael-e2e-host on two pipes.
class HostProcess {
public:
    explicit HostProcess(const std::string& home) {
        // A host that died must fail the test, not kill it on the next write.
        ::signal(SIGPIPE, SIG_IGN);
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::string program = VAEL_E2E_HOST;
        std::string homeArg = home;
        char* args[] = {program.data(), const_cast<char*>("--home"), homeArg.data(), const_cast<char*>("--fast-kdf"),
                        nullptr};
        const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, args, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toHost_ = in[1];
        fromHost_ = out[0];
        if (spawned != 0) {
            pid_ = -1;
            throw std::runtime_error("could not start " + program);
        }
    }
    ~HostProcess() {
        closeInput();
        if (fromHost_ >= 0) ::close(fromHost_);
        if (pid_ > 0 && !waitForExit()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // One command, one answer; throws when the host does not answer in time.
    json send(const std::string& command) {
        writeAll(toHost_, command + "\n");
        auto line = readLine(fromHost_, buffer_);
        if (!line) throw std::runtime_error("no answer to: " + command.substr(0, command.find(' ')));
        return json::parse(*line);
    }

    void closeInput() {
        if (toHost_ >= 0) ::close(toHost_);
        toHost_ = -1;
    }

    // Waits a bounded time for the host to end; its exit status when it did.
    std::optional<int> exitStatus() {
        if (!waitForExit()) return std::nullopt;
        return exitCode_;
    }

private:
    bool waitForExit() {
        if (pid_ <= 0) return true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadLimitMs);
        for (;;) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                pid_ = -1;
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    pid_t pid_ = -1;
    int toHost_ = -1;
    int fromHost_ = -1;
    int exitCode_ = -1;
    std::string buffer_;
};

// An agent connection kept open across requests.
class AgentConnection {
public:
    explicit AgentConnection(const std::string& socketPath) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            throw std::runtime_error("cannot connect to the agent socket");
        }
    }
    ~AgentConnection() { ::close(fd_); }
    AgentConnection(const AgentConnection&) = delete;
    AgentConnection& operator=(const AgentConnection&) = delete;

    // False when the server no longer takes bytes.
    bool send(const json& request) {
        const auto line = request.dump() + "\n";
        return ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    }
    // The next answer line, or nothing once the server closed (or after kReadLimitMs).
    std::optional<json> answer() {
        auto line = readLine(fd_, buffer_);
        if (!line) return std::nullopt;
        return json::parse(*line);
    }
    std::optional<json> ask(const json& request) {
        if (!send(request)) return std::nullopt;
        return answer();
    }

private:
    int fd_;
    std::string buffer_;
};

// One agent request on its own connection, one answer line back.
inline json ask(const std::string& socketPath, const json& request) {
    AgentConnection connection(socketPath);
    auto answer = connection.ask(request);
    if (!answer) throw std::runtime_error("the agent socket did not answer");
    return *answer;
}

}  // namespace vael::e2e

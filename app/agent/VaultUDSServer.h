#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/agent/VaultResolver.h"

namespace vael {

// The application's end of the agent socket: a Unix-domain stream socket, private to the user,
// that speaks newline-delimited JSON. One server serves one unlocked session.
//
// Each accepted connection of the same user gets a thread of its own; its requests are answered
// one at a time, in order, exactly one line per request line. A connection that waits on the
// user's approval delays no other.
class VaultUDSServer {
public:
    class UDSError : public std::runtime_error {
    public:
        enum class Case {
            socket,  // socket() (or the wake-up descriptor) could not be made
            bind,
            listen,
            path,    // empty, holding a NUL byte, or longer than a socket address can hold (107 bytes)
        };
        UDSError(Case c, int error);
        Case code() const { return case_; }
        int error() const { return errno_; }
        bool operator==(const UDSError& other) const { return case_ == other.case_ && errno_ == other.errno_; }

    private:
        Case case_;
        int errno_;
    };

    static constexpr std::size_t kMaxLineBytes = 1024 * 1024;
    // Connections served at once; the next one is told so in one error line and closed, so idle
    // agents cannot use up the descriptors the next unlock needs.
    static constexpr std::size_t kMaxConnections = 64;
    static constexpr std::size_t kMaxSocketPathBytes = 107;

    // Makes no system call and touches no file. onActivity is told once per decoded request while
    // the kill switch lets agents in (a refused request keeps nothing awake), from connection
    // threads, possibly several at once.
    VaultUDSServer(std::string socketPath, VaultResolver resolver, std::function<void()> onActivity = {});
    // Stops the server.
    ~VaultUDSServer();
    VaultUDSServer(const VaultUDSServer&) = delete;
    VaultUDSServer& operator=(const VaultUDSServer&) = delete;

    // Replaces whatever is left at the path, listens there with mode 0600 (created under a umask
    // of 077; the process's umask is restored on every way out) and starts accepting. Throws
    // UDSError; a failed start leaves no descriptor and no socket file behind. Once per server.
    void start();
    // Stops accepting, closes the listening socket and removes the socket file; returns once the
    // accept loop has ended. Idle connections are closed at once; one busy answering finishes the
    // lines it has read and then closes. Nothing read afterwards is answered. Never fails; a
    // second call does nothing.
    void stop();

    const std::string& socketPath() const { return socketPath_; }

    // The text an agent sees for a failure of a list, management or browser operation.
    static std::string wireMessage(std::exception_ptr error);

    struct Shared;

private:
    void acceptLoop();
    void backOff();

    std::string socketPath_;
    std::shared_ptr<Shared> shared_;
    std::mutex lifecycle_;
    bool started_ = false;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::thread acceptThread_;
};

}  // namespace vael

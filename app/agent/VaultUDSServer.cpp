#include "app/agent/VaultUDSServer.h"

#include <poll.h>
#include <sodium.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>
#include <system_error>
#include <unordered_set>

#include "app/agent/LineReader.h"

namespace vael {

struct VaultUDSServer::Shared {
    Shared(VaultResolver r, std::function<void()> a) : resolver(std::move(r)), onActivity(std::move(a)) {}

    // Counts the connection in unless the server is stopped or full.
    bool admit(int fd) {
        std::lock_guard lock(mutex);
        if (!running.load(std::memory_order_acquire) || open.size() >= kMaxConnections) return false;
        open.insert(fd);
        return true;
    }
    void leave(int fd) {
        std::lock_guard lock(mutex);
        open.erase(fd);
    }
    // Idle connections wake from their read with end of stream; one busy answering finishes its
    // batch first. Its peer can send nothing more.
    void endConnections() {
        std::lock_guard lock(mutex);
        for (int fd : open) ::shutdown(fd, SHUT_RD);
    }

    const VaultResolver resolver;
    const std::function<void()> onActivity;
    std::atomic<bool> running{false};
    std::atomic<bool> polling{false};  // a connection is looking for its next request without sleeping
    std::mutex mutex;
    std::unordered_set<int> open;  // descriptors of the connections being served
};

namespace {

using Op = VaultUDSRequest::Op;

// How long a connection looks for the next request before it sleeps until one arrives.
constexpr auto kPollBeforeSleeping = std::chrono::microseconds(30);
// How long the accept loop rests after a failure it cannot retry at once (out of descriptors).
constexpr int kBackOffMilliseconds = 100;
constexpr int kListenBacklog = 8;
// An answer buffer that grew for a large list is given back rather than kept for the connection's life.
constexpr std::size_t kKeptLineCapacity = 64 * 1024;

void wipe(std::string& text) {
    if (!text.empty()) sodium_memzero(text.data(), text.size());
    text.clear();
}

const char* caseText(VaultUDSServer::UDSError::Case c) {
    switch (c) {
        case VaultUDSServer::UDSError::Case::socket: return "could not create the agent socket";
        case VaultUDSServer::UDSError::Case::bind: return "could not bind the agent socket";
        case VaultUDSServer::UDSError::Case::listen: return "could not listen on the agent socket";
        case VaultUDSServer::UDSError::Case::path:
            return "the agent socket path must be 1 to 107 bytes without a NUL byte";
    }
    return "agent socket error";
}

// Puts the process's file-creation mask back however start() ends.
class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : saved_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(saved_); }
    UmaskGuard(const UmaskGuard&) = delete;
    UmaskGuard& operator=(const UmaskGuard&) = delete;

private:
    mode_t saved_;
};

bool peerIsThisUser(int fd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && length == sizeof credentials &&
           credentials.uid == ::getuid();
}

// One connection, served on its own thread until the peer closes, a read or write fails, or the
// server stops after a batch.
class Connection {
public:
    // The descriptor was admitted to `shared`; the connection closes it and counts it out.
    Connection(std::shared_ptr<VaultUDSServer::Shared> shared, int fd)
        : shared_(std::move(shared)), fd_(fd), reader_(VaultUDSServer::kMaxLineBytes) {}
    ~Connection() {
        shared_->leave(fd_);
        ::close(fd_);
    }

    void serve() {
        if (!shared_->running.load(std::memory_order_acquire)) return;
        for (;;) {
            ssize_t count = readSoon(reader_.space());
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) return;  // an unterminated last line is never answered
            // Bytes that arrive once the server has stopped belong to no session: a connection
            // kept across a lock must never reach the objects of the session that ended.
            if (!shared_->running.load(std::memory_order_acquire)) return;
            reader_.commit(static_cast<std::size_t>(count));
            for (;;) {
                std::string_view line;
                auto next = reader_.next(line);
                if (next == LineReader::Next::needMore) break;
                if (next == LineReader::Next::overlong) {
                    writeResponse(VaultUDSResponse::refusal());
                    return;
                }
                if (!respond(line)) return;
            }
            if (!shared_->running.load(std::memory_order_acquire)) return;
        }
    }

private:
    // An agent's next request usually follows its answer within microseconds. One connection at a
    // time looks for it without sleeping for a moment, so that a busy agent does not wait for this
    // thread to be woken again; more would only take processor time from one another.
    ssize_t readSoon(std::span<char> space) {
        bool idle = false;
        if (shared_->polling.compare_exchange_strong(idle, true, std::memory_order_acquire)) {
            const auto until = std::chrono::steady_clock::now() + kPollBeforeSleeping;
            ssize_t count = -1;
            do {
                count = ::recv(fd_, space.data(), space.size(), MSG_DONTWAIT);
            } while (count < 0 && errno == EAGAIN && std::chrono::steady_clock::now() < until);
            const int error = errno;
            shared_->polling.store(false, std::memory_order_release);
            if (count >= 0 || error != EAGAIN) {
                errno = error;
                return count;
            }
        }
        return ::read(fd_, space.data(), space.size());
    }

    // Exactly one answer line per request line; false when the answer could not be written.
    bool respond(std::string_view line) {
        auto request = decodeRequest(line);
        if (!request) return writeResponse(VaultUDSResponse::refusal());
        // Only a request that will be served counts as activity: refused ones must not keep the
        // vault awake.
        if (shared_->onActivity && shared_->resolver.agentsAllowed()) {
            try {
                shared_->onActivity();
            } catch (...) {
                // The activity cell is bookkeeping; it never costs the agent its answer.
            }
        }
        bool written = dispatch(*request);
        if (request->value) wipe(*request->value);
        return written;
    }

    bool dispatch(const VaultUDSRequest& request) {
        const VaultResolver& r = shared_->resolver;
        switch (request.op) {
            case Op::resolve:
            case Op::preview: {
                auto response = r.handle(request);
                bool written = writeResponse(response);
                wipeValues(response);
                return written;
            }
            case Op::list: return bridged([&] { return r.listEntries(request); });
            case Op::capture: return bridged([&] { return r.captureSecret(request); });
            case Op::secretCreate: return bridged([&] { return r.createSecret(request); });
            case Op::secretGet: return bridged([&] { return r.getSecret(request); });
            case Op::secretUpdate: return bridged([&] { return r.updateSecret(request); });
            case Op::secretDelete: return bridged([&] { return r.deleteSecret(request); });
            case Op::groupList: return bridged([&] { return r.listGroups(); });
            case Op::groupCreate: return bridged([&] { return r.createGroup(request); });
            case Op::groupGet: return bridged([&] { return r.getGroup(request); });
            case Op::groupUpdate: return bridged([&] { return r.updateGroup(request); });
            case Op::groupDelete: return bridged([&] { return r.deleteGroup(request); });
            case Op::projectList: return bridged([&] { return r.listProjects(); });
            case Op::projectCreate: return bridged([&] { return r.createProject(request); });
            case Op::projectGet: return bridged([&] { return r.getProject(request); });
            case Op::projectUpdate: return bridged([&] { return r.updateProject(request); });
            case Op::projectDelete: return bridged([&] { return r.deleteProject(request); });
            case Op::browserMatch: return bridged([&] { return r.browserMatch(request); });
            case Op::browserFill: return bridged([&] { return r.browserFill(request); });
            case Op::browserTotp: return bridged([&] { return r.browserTotp(request); });
            case Op::browserSave: return bridged([&] { return r.browserSave(request); });
        }
        return writeResponse(VaultUDSResponse::refusal());
    }

    // resolve, preview and undecodable lines: an answer that cannot be encoded is the refusal.
    bool writeResponse(const VaultUDSResponse& response) {
        try {
            appendAnswer(line_, response);
        } catch (...) {
            clearLine();
            appendAnswer(line_, VaultUDSResponse::refusal());
        }
        return writeLine();
    }

    // The operation's answer, or the error envelope for whatever it threw; an answer that cannot be
    // encoded is reported the same way.
    // A value the answer hands out is wiped once encoded, whatever happens to the encoding.
    template <class Operation>
    bool bridged(Operation&& operation) {
        try {
            auto answer = operation();
            struct WipeAnswer {
                decltype(answer)& held;
                ~WipeAnswer() { wipeValues(held); }
            } wipeAnswer{answer};
            appendAnswer(line_, answer);
        } catch (...) {
            clearLine();
            appendAnswer(line_, VaultUDSErrorEnvelope{VaultUDSServer::wireMessage(std::current_exception())});
        }
        return writeLine();
    }

    // The line buffer is kept for the next answer; what it held may be secret.
    void clearLine() {
        if (!line_.empty()) sodium_memzero(line_.data(), line_.size());
        line_.clear();
        if (line_.capacity() > kKeptLineCapacity) line_.shrink_to_fit();
    }

    // The whole line or nothing more on this connection: a short write would leave half an answer
    // that desynchronises every later one. MSG_NOSIGNAL: a closed peer must not raise SIGPIPE.
    bool writeLine() {
        line_.push_back('\n');
        const char* data = line_.data();
        std::size_t left = line_.size();
        bool written = true;
        while (left > 0) {
            ssize_t sent = ::send(fd_, data, left, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR) continue;
                written = false;
                break;
            }
            data += sent;
            left -= static_cast<std::size_t>(sent);
        }
        clearLine();
        return written;
    }

    std::shared_ptr<VaultUDSServer::Shared> shared_;
    int fd_;
    LineReader reader_;
    // Wipes every buffer it gives back as it grows: an answer may carry a value.
    cryptodetail::SecretString line_;
};

// The one line a connection over the limit gets before it is closed.
void refuseConnection(int fd) {
    std::string line;
    appendAnswer(line, VaultUDSErrorEnvelope{"too many open connections \u2014 close an idle one, then retry"});
    line.push_back('\n');
    [[maybe_unused]] auto ignored = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
}

void serveConnection(std::shared_ptr<VaultUDSServer::Shared> shared, int fd) noexcept {
    try {
        Connection(std::move(shared), fd).serve();
    } catch (...) {
        // Out of memory while answering: the connection is closed by Connection's destructor.
    }
}

}  // namespace

VaultUDSServer::UDSError::UDSError(Case c, int error)
    : std::runtime_error(std::string(caseText(c)) + (error != 0 ? ": " + std::string(std::strerror(error)) : "")),
      case_(c),
      errno_(error) {}

VaultUDSServer::VaultUDSServer(std::string socketPath, VaultResolver resolver, std::function<void()> onActivity)
    : socketPath_(std::move(socketPath)),
      shared_(std::make_shared<Shared>(std::move(resolver), std::move(onActivity))) {}

VaultUDSServer::~VaultUDSServer() { stop(); }

void VaultUDSServer::start() {
    std::lock_guard lock(lifecycle_);
    if (started_) throw std::logic_error("an agent socket server starts once");
    started_ = true;

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath_.empty() || socketPath_.size() > kMaxSocketPathBytes ||
        socketPath_.find('\0') != std::string::npos) {
        throw UDSError(UDSError::Case::path, socketPath_.size() > kMaxSocketPathBytes ? ENAMETOOLONG : EINVAL);
    }
    static_assert(sizeof address.sun_path > kMaxSocketPathBytes);
    std::memcpy(address.sun_path, socketPath_.data(), socketPath_.size());

    // A socket file left behind is replaced; when it cannot be removed (a folder gone read-only),
    // that is why the bind below fails, not that the address is in use.
    const int leftOver = ::unlink(socketPath_.c_str()) == 0 || errno == ENOENT ? 0 : errno;
    UmaskGuard mask(077);

    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) throw UDSError(UDSError::Case::socket, errno);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        int error = errno;
        ::close(wake);
        throw UDSError(UDSError::Case::socket, error);
    }
    auto fail = [&](UDSError::Case c, int error, bool bound) {
        ::close(fd);
        ::close(wake);
        if (bound) ::unlink(socketPath_.c_str());
        throw UDSError(c, error);
    };
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fail(UDSError::Case::bind, errno == EADDRINUSE && leftOver != 0 ? leftOver : errno, false);
    }
    ::chmod(socketPath_.c_str(), 0600);
    if (::listen(fd, kListenBacklog) != 0) fail(UDSError::Case::listen, errno, true);

    listenFd_ = fd;
    wakeFd_ = wake;
    shared_->running.store(true, std::memory_order_release);
    try {
        acceptThread_ = std::thread([this] { acceptLoop(); });
    } catch (const std::system_error& e) {
        shared_->running.store(false, std::memory_order_release);
        listenFd_ = wakeFd_ = -1;
        fail(UDSError::Case::listen, e.code().value(), true);
    }
}

void VaultUDSServer::stop() {
    std::lock_guard lock(lifecycle_);
    {
        std::lock_guard connections(shared_->mutex);
        shared_->running.store(false, std::memory_order_release);
    }
    shared_->endConnections();
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto ignored = ::write(wakeFd_, &one, sizeof one);
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        ::unlink(socketPath_.c_str());
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

// Waits for stop() or the back-off time, whichever comes first.
void VaultUDSServer::backOff() {
    pollfd wake{wakeFd_, POLLIN, 0};
    ::poll(&wake, 1, kBackOffMilliseconds);
}

void VaultUDSServer::acceptLoop() {
    while (shared_->running.load(std::memory_order_acquire)) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno != EINTR) backOff();
            continue;
        }
        if (fds[1].revents != 0) break;
        if ((fds[0].revents & POLLIN) == 0) {
            backOff();
            continue;
        }
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            switch (errno) {
                case EAGAIN:
                case EINTR:
                case ECONNABORTED: continue;
                default: backOff(); continue;  // EMFILE, ENFILE, ENOBUFS, ENOMEM: retrying at once would spin
            }
        }
        if (!peerIsThisUser(fd)) {
            ::close(fd);
            continue;
        }
        if (!shared_->admit(fd)) {
            refuseConnection(fd);
            continue;
        }
        try {
            std::thread(serveConnection, shared_, fd).detach();
        } catch (const std::system_error&) {
            shared_->leave(fd);
            ::close(fd);
            backOff();
        }
    }
}

}  // namespace vael

#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QAbstractEventDispatcher>
#include <QThread>
#include <QThreadPool>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/AppModel.h"
#include "store/SyncPause.h"

namespace vael::testing {

// Argon2id at libsodium's minimum so the suite stays fast under the sanitizers.
inline constexpr Argon2Cost kFastCost{1, 8192};
inline constexpr const char* kPassphrase = "correct horse battery staple";

// Runs the event loop until `done` holds. The bound only stops a broken test from hanging.
template <class Predicate>
bool spinUntil(Predicate done) {
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > 20'000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::yieldCurrentThread();
    }
    return true;
}

// Runs the event loop until no worker job and no queued event is left. A job the test holds on
// purpose keeps it spinning until the bound, so such tests await what they need instead.
inline void settle() {
    auto* dispatcher = QThread::currentThread()->eventDispatcher();
    QElapsedTimer limit;
    limit.start();
    for (int quietRounds = 0; quietRounds < 3 && limit.elapsed() < 20'000;) {
        const bool working = QThreadPool::globalInstance()->activeThreadCount() > 0;
        QCoreApplication::sendPostedEvents();
        const bool handled = dispatcher->processEvents(QEventLoop::AllEvents);
        quietRounds = working || handled ? 0 : quietRounds + 1;
        if (working) QThread::yieldCurrentThread();
    }
}

// Awaits a task on the event loop and rethrows what it raised (waitFor alone would not).
template <class T>
T await(QCoro::Task<T> task) {
    std::exception_ptr error;
    if constexpr (std::is_void_v<T>) {
        QCoro::waitFor([&]() -> QCoro::Task<> {
            try {
                co_await task;
            } catch (...) {
                error = std::current_exception();
            }
        }());
        if (error) std::rethrow_exception(error);
    } else {
        std::optional<T> result;
        QCoro::waitFor([&]() -> QCoro::Task<> {
            try {
                result.emplace(co_await task);
            } catch (...) {
                error = std::current_exception();
            }
        }());
        if (error) std::rethrow_exception(error);
        return std::move(*result);
    }
}

// Time that moves only when the test says so; its timers fire in deadline order.
class ScriptedTimerSource final : public TimerSource {
public:
    class Timer final : public ModelTimer {
    public:
        explicit Timer(ScriptedTimerSource& source) : source_(source) {}
        ~Timer() override { std::erase(source_.timers_, this); }
        void start(std::chrono::milliseconds interval, std::function<void()> onTimeout) override {
            interval_ = interval;
            deadline_ = source_.now() + interval;
            callback_ = std::move(onTimeout);
            starts_++;
        }
        void stop() override { callback_ = nullptr; }
        bool isActive() const override { return static_cast<bool>(callback_); }
        std::chrono::milliseconds interval() const { return interval_; }
        int starts() const { return starts_; }

    private:
        friend class ScriptedTimerSource;
        ScriptedTimerSource& source_;
        std::chrono::milliseconds interval_{0};
        BootTime deadline_{};
        std::function<void()> callback_;
        int starts_ = 0;
    };

    BootTime now() const override { return BootTime(BootClock::duration(now_.load())); }
    std::unique_ptr<ModelTimer> makeTimer() override {
        auto timer = std::make_unique<Timer>(*this);
        timers_.push_back(timer.get());
        return timer;
    }

    // Moves time forward, firing every timer that falls due on the way, in order; the event loop
    // runs after each so that what a timer started can finish.
    void advance(std::chrono::milliseconds by) {
        const auto end = now() + by;
        for (;;) {
            Timer* next = nullptr;
            for (auto* timer : timers_)
                if (timer->isActive() && timer->deadline_ <= end && (!next || timer->deadline_ < next->deadline_))
                    next = timer;
            if (!next) break;
            now_ = next->deadline_.time_since_epoch().count();
            auto callback = std::move(next->callback_);
            next->callback_ = nullptr;
            callback();
            settle();
        }
        now_ = end.time_since_epoch().count();
    }

    const std::vector<Timer*>& timers() const { return timers_; }

private:
    std::atomic<std::int64_t> now_{std::chrono::nanoseconds(std::chrono::hours(1)).count()};
    std::vector<Timer*> timers_;  // owned by the model, which outlives no test's source
};

class AllowingGate final : public BiometricGate {
public:
    bool authenticate(const std::string&) override { return true; }
};

class NoPause final : public SyncPause {
public:
    void pause(std::chrono::nanoseconds) override {}
};

// An item source that answers nothing; the model's concern is only how it is built.
class QuietItemSource final : public VaultItemSource {
public:
    std::optional<ResolvedItem> lookup(const VaultRef&) override { return std::nullopt; }
    std::vector<VaultUDSListEntry> list(const std::optional<std::string>&, const std::optional<std::string>&) override {
        return {};
    }
};

// A private folder of its own, short enough for a socket path.
class TempHome {
public:
    TempHome() {
        char pattern[] = "/tmp/vael-model-XXXXXX";
        if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempHome() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    VaelPaths paths() const { return VaelPaths(path_ + "/vault.json", path_ + "/replica.sqlite", path_ + "/vael.sock"); }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    ::chmod(path.c_str(), 0600);
}

inline bool fileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// One request line to the agent socket, one answer line back.
inline std::optional<std::string> askSocket(const std::string& path, const std::string& request) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const std::string line = request + "\n";
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        ::close(fd);
        return std::nullopt;
    }
    std::string answer;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n') answer.push_back(c);
    ::close(fd);
    return answer;
}

// A model over a temporary home with scripted time and services. The item source factory records
// what each session was built with.
struct ModelHarness {
    TempHome home;
    std::shared_ptr<ScriptedTimerSource> timers = std::make_shared<ScriptedTimerSource>();
    std::vector<ItemSourceContext> contexts;
    std::function<void()> failItemSource;  // throws when set
    std::unique_ptr<AppModel> model;

    explicit ModelHarness(AppModelServices services = {}) {
        services.biometric = std::make_shared<AllowingGate>();
        services.makeItemSource = [this](const ItemSourceContext& context) -> std::shared_ptr<VaultItemSource> {
            if (failItemSource) failItemSource();
            contexts.push_back(context);
            return std::make_shared<QuietItemSource>();
        };
        services.timers = timers;
        services.passphraseCost = kFastCost;
        if (!services.syncPause) services.syncPause = std::make_shared<NoPause>();
        launchServices = services;
        model = std::make_unique<AppModel>(home.paths(), std::move(services));
    }
    AppModelServices launchServices;
    // A new start of the application over the same files: a fresh model, not yet bootstrapped.
    void relaunch() {
        lock();
        model.reset();
        settle();
        model = std::make_unique<AppModel>(home.paths(), launchServices);
    }
    ~ModelHarness() {
        if (model) QCoro::waitFor(model->lock());
        settle();
        model.reset();
        settle();
    }

    static const NewVault& sharedVault() {
        static const NewVault vault = VaultCrypto::createVault(SecureBytes(std::string_view(kPassphrase)), false, kFastCost);
        return vault;
    }
    void create() { QCoro::waitFor(model->completeOnboarding(sharedVault(), SecureBytes(std::string_view(kPassphrase)))); }
    void unlock(std::string_view passphrase = kPassphrase) {
        QCoro::waitFor(model->unlock(SecureBytes(passphrase)));
    }
    void lock() {
        QCoro::waitFor(model->lock());
        settle();
    }
    std::string socket() const { return home.paths().socket; }
};

}  // namespace vael::testing

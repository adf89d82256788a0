// vael-e2e-host: the real application model, headless, driven one command a line on stdin and
// answering one JSON line on stdout for each. Its files live under --home DIR; the biometric gate
// and the capture presenter answer from what the commands script.

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>
#include <qcoro/qcorotask.h>

#include "OfflineSyncAPI.h"
#include "ScriptedCapturePresenter.h"
#include "app/agent/VaultUDSAnswers.h"
#include "app/model/AppModel.h"
#include "app/model/Blocking.h"
#include "app/model/StoreItemSourceFactory.h"
#include "core/ProcessHardening.h"
#include <condition_variable>
#include <mutex>
#include <vector>

namespace vael::e2e {
namespace {

using json = nlohmann::json;

const char* phaseText(AppModel::Phase phase) {
    switch (phase) {
        case AppModel::Phase::onboarding: return "onboarding";
        case AppModel::Phase::locked: return "locked";
        case AppModel::Phase::unlocked: return "unlocked";
        case AppModel::Phase::acceptingInvite: return "acceptingInvite";
    }
    return "unknown";
}

const char* syncText(AppSyncStatus::Kind kind) {
    switch (kind) {
        case AppSyncStatus::Kind::synced: return "synced";
        case AppSyncStatus::Kind::idle: return "idle";
        case AppSyncStatus::Kind::syncing: return "syncing";
        case AppSyncStatus::Kind::offline: return "offline";
    }
    return "unknown";
}

std::optional<std::string> optionalText(const json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::nullopt;
    return found->get<std::string>();
}

// The captured credential a `capture` line scripts; throws on anything malformed.
CapturedCredential credentialFrom(std::string_view text) {
    const auto object = json::parse(text);
    CapturedCredential credential;
    credential.name = object.at("name").get<std::string>();
    credential.password = object.at("password").get<std::string>();
    credential.username = optionalText(object, "username");
    credential.otpSecret = optionalText(object, "otpSecret");
    credential.group = optionalText(object, "group");
    if (auto tier = optionalText(object, "aiAccess")) {
        auto parsed = aiAccessFromText(*tier);
        if (!parsed) throw std::invalid_argument("unknown aiAccess");
        credential.aiAccess = *parsed;
    }
    return credential;
}

// The owner's answers as the commands script them. While held, every prompt stays open (its
// connection thread waits) until a release answers it: what a person deciding slowly looks like.
class HostGate final : public BiometricGate {
public:
    bool authenticate(const std::string& reason) override {
        std::unique_lock lock(mutex_);
        reasons_.push_back(reason);
        ++open_;
        released_.wait(lock, [this] { return !holding_; });
        --open_;
        return answer_;
    }
    void setAnswer(bool answer) {
        std::lock_guard lock(mutex_);
        answer_ = answer;
    }
    void hold() {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }
    void release(bool answer) {
        {
            std::lock_guard lock(mutex_);
            answer_ = answer;
            holding_ = false;
        }
        released_.notify_all();
    }
    std::vector<std::string> reasons() const {
        std::lock_guard lock(mutex_);
        return reasons_;
    }
    int open() const {
        std::lock_guard lock(mutex_);
        return open_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool answer_ = false;
    bool holding_ = false;
    int open_ = 0;
    std::vector<std::string> reasons_;
};

class Host : public QObject {
public:
    Host(AppModel& model, HostGate& gate, ScriptedCapturePresenter& capture, Argon2Cost cost)
        : model_(model), gate_(gate), capture_(capture), cost_(cost) {}

    void start() {
        ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
        notifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readInput(); });
    }

private:
    void readInput() {
        char chunk[4096];
        for (;;) {
            const auto n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n > 0) {
                buffer_.append(chunk, static_cast<std::size_t>(n));
                sodium_memzero(chunk, sizeof chunk);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 && !endOfInput_) {
                // The driver went away: after what it sent, lock and leave without answering.
                notifier_->setEnabled(false);
                endOfInput_ = true;
                buffer_ += "\nquit\n";
            }
            break;
        }
        for (auto end = buffer_.find('\n'); end != std::string::npos; end = buffer_.find('\n')) {
            if (end > 0) lines_.push_back(SecureBytes(std::string_view(buffer_).substr(0, end)));
            sodium_memzero(buffer_.data(), end + 1);
            buffer_.erase(0, end + 1);
        }
        drain();
    }

    QCoro::Task<> drain() {
        if (draining_) co_return;
        draining_ = true;
        while (!lines_.empty()) {
            auto line = std::move(lines_.front());
            lines_.pop_front();
            co_await handle(line.view());
        }
        draining_ = false;
    }

    QCoro::Task<> handle(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto space = line.find(' ');
        const auto command = line.substr(0, space);
        const auto argument = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);

        if ((command == "create" || command == "unlock") && isOpen()) {
            // The model ignores both while a vault is open: say so rather than "ok".
            answer(false, "the vault is already unlocked");
        } else if (command == "create") {
            SecureBytes passphrase(argument);
            auto made = runBlocking([passphrase, cost = cost_] { return VaultCrypto::createVault(passphrase, false, cost); });
            auto vault = co_await made;
            co_await model_.completeOnboarding(std::move(vault), std::move(passphrase));
            answerOpening();
        } else if (command == "unlock") {
            co_await model_.unlock(SecureBytes(argument));
            answerOpening();
        } else if (command == "lock") {
            co_await model_.lock();
            answer(true);
        } else if (command == "kill" && (argument == "on" || argument == "off")) {
            model_.setKillSwitchEnabled(argument == "on");
            answer(true);
        } else if (command == "approve" && (argument == "yes" || argument == "no")) {
            gate_.setAnswer(argument == "yes");
            answer(true);
        } else if (command == "approve" && argument == "hold") {
            gate_.hold();
            answer(true);
        } else if (command == "approve" && (argument == "release yes" || argument == "release no")) {
            gate_.release(argument == "release yes");
            answer(true);
        } else if (command == "websites") {
            // "websites URL ID ID ...": the window saves the website of each item, all at once.
            co_await saveWebsites(argument);
        } else if (command == "capture" && argument == "decline") {
            capture_.answerNext(std::nullopt);
            answer(true);
        } else if (command == "capture") {
            try {
                capture_.answerNext(credentialFrom(argument));
                answer(true);
            } catch (const std::exception&) {
                answer(false, "capture needs JSON with at least name and password");
            }
        } else if (command == "status") {
            answer(true);
        } else if (command == "dumpable") {
            // Whether other processes of the user could read this one's memory.
            answer(true, std::nullopt, json{{"dumpable", processIsDumpable()}});
        } else if (command == "prompts") {
            // The reasons of every approval prompt so far, in order.
            answer(true, std::nullopt, json{{"prompts", gate_.reasons()}, {"open", gate_.open()}});
        } else if (command == "quit") {
            co_await model_.lock();
            if (!endOfInput_) answer(true);
            QCoreApplication::quit();
        } else {
            answer(false, "unknown command");
        }
    }

    bool isOpen() const { return model_.phase() == AppModel::Phase::unlocked; }

    QCoro::Task<> saveWebsites(std::string_view argument) {
        std::vector<std::string> words;
        for (std::size_t at = 0; at <= argument.size();) {
            const auto end = std::min(argument.find(' ', at), argument.size());
            if (end > at) words.emplace_back(argument.substr(at, end - at));
            at = end + 1;
        }
        std::vector<QCoro::Task<>> saves;
        for (std::size_t i = 1; i < words.size(); ++i) {
            const auto id = Uuid::parse(words[i]);
            if (!id) {
                answer(false, "websites needs a URL and item ids");
                co_return;
            }
            saves.push_back(model_.updateItemWebsite(*id, words[0], false));
        }
        std::optional<std::string> failure;
        for (auto& save : saves) {
            try {
                co_await save;
            } catch (const std::exception& error) {
                failure = error.what();
            }
        }
        answer(!failure, failure);
    }

    // ok only when the command opened the vault; otherwise what the model said, or that nothing happened.
    void answerOpening() {
        if (isOpen() && !model_.errorMessage()) {
            answer(true);
        } else if (model_.errorMessage()) {
            answer(false, *model_.errorMessage());
        } else {
            answer(false, "nothing was opened");
        }
    }

    void answer(bool ok, std::optional<std::string> error = std::nullopt, json extra = json::object()) {
        json line = {{"ok", ok},
                     {"phase", phaseText(model_.phase())},
                     {"errorMessage", model_.errorMessage() ? json(*model_.errorMessage()) : json(nullptr)},
                     {"syncStatus", syncText(model_.syncStatus().kind)},
                     {"killSwitchEnabled", model_.killSwitchEnabled()}};
        if (error) line["error"] = *error;
        line.update(extra);
        std::cout << line.dump() << '\n' << std::flush;
    }

    AppModel& model_;
    HostGate& gate_;
    ScriptedCapturePresenter& capture_;
    Argon2Cost cost_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string buffer_;
    std::deque<SecureBytes> lines_;
    bool draining_ = false;
    bool endOfInput_ = false;
};

int usage() {
    std::cerr << "usage: vael-e2e-host --home DIR [--fast-kdf]\n";
    return 2;
}

}  // namespace
}  // namespace vael::e2e

// Qt's global thread pool now and then leaves one worker's QThread bookkeeping (allocated inside
// libQt6Core) unreachable at exit on a loaded machine, and OpenSSL its per-thread state of a worker
// still parked in that pool; only allocations made inside those libraries are excused. The crypto
// library's own tests run with no excuse at all.
extern "C" const char* __lsan_default_suppressions() { return "leak:libQt6Core.so\nleak:libcrypto.so\n"; }

int main(int argc, char** argv) {
    using namespace vael;
    hardenProcess();
    QCoreApplication app(argc, argv);
    std::string home;
    bool fastKDF = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--home" && i + 1 < argc) {
            home = argv[++i];
        } else if (arg == "--fast-kdf") {
            fastKDF = true;
        } else {
            return e2e::usage();
        }
    }
    if (home.empty()) return e2e::usage();

    // Argon2id at libsodium's minimum, for tests only; the default is the production cost.
    const Argon2Cost cost = fastKDF ? Argon2Cost{1, 8192} : Argon2Cost::standard();
    auto gate = std::make_shared<e2e::HostGate>();
    auto capture = std::make_shared<e2e::ScriptedCapturePresenter>();
    AppModelServices services;
    services.biometric = gate;
    services.makeItemSource = storeItemSourceFactory();
    services.capturePresenter = capture;
    services.sessions = std::make_shared<InMemorySessionStore>();
    services.syncAPI = std::make_shared<e2e::OfflineSyncAPI>();
    services.passphraseCost = cost;
    AppModel model(VaelPaths(home + "/vault.json", home + "/replica.sqlite", home + "/vael.sock"), std::move(services));
    model.bootstrap();

    e2e::Host host(model, *gate, *capture, cost);
    host.start();
    return app.exec();
}

#include "app/platform/PolkitBiometricGate.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vael {
namespace {

// A prompt that answers from a script and can hold its answer until released.
class ScriptedPrompt final : public PresencePrompt {
public:
    explicit ScriptedPrompt(bool answer) : answer_(answer) {}

    bool ask(const std::string& reason) override {
        std::unique_lock lock(mutex_);
        reasons_.push_back(reason);
        ++inside_;
        maxInside_ = std::max(maxInside_, inside_);
        changed_.notify_all();
        changed_.wait(lock, [&] { return !holding_ || released_ > 0; });
        if (holding_) --released_;
        --inside_;
        if (throws_) throw std::runtime_error("prompt failed");
        return answer_;
    }

    void holdAnswers() { holding_ = true; }
    void releaseOne() {
        std::lock_guard lock(mutex_);
        ++released_;
        changed_.notify_all();
    }
    void waitUntilAsked(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return reasons_.size() >= count; });
    }
    std::vector<std::string> reasons() {
        std::lock_guard lock(mutex_);
        return reasons_;
    }
    int maxInside() {
        std::lock_guard lock(mutex_);
        return maxInside_;
    }
    void setThrows() { throws_ = true; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool answer_;
    bool holding_ = false;
    bool throws_ = false;
    int released_ = 0;
    int inside_ = 0;
    int maxInside_ = 0;
    std::vector<std::string> reasons_;
};

class ScriptedAuthority final : public PresenceAuthority {
public:
    enum class Reply { Authorized, Refused, Throws, Absent, NoAgent, UnknownAction };
    explicit ScriptedAuthority(Reply reply) : reply_(reply) {}
    bool canAsk() override { return reply_ != Reply::Absent; }
    bool knowsAction() override { return reply_ != Reply::UnknownAction; }
    bool authorize() override {
        ++calls;
        if (reply_ == Reply::Throws) throw std::runtime_error("no authority");
        return reply_ == Reply::Authorized;
    }
    BiometricGate::Answer check() override {
        if (reply_ != Reply::NoAgent) return PresenceAuthority::check();
        ++calls;
        return BiometricGate::Answer::unavailable;
    }
    std::atomic<int> calls{0};

private:
    Reply reply_;
};

TEST(PolkitBiometricGate, AnswersYesOnlyWhenTheUserGoesOnAndTheSystemConfirms) {
    using Reply = ScriptedAuthority::Reply;
    struct Case {
        const char* name;
        bool promptAnswer;
        Reply authority;
        BiometricGate::Answer expected;
        int authorityCalls;
        bool prompted;
    };
    using Answer = BiometricGate::Answer;
    const Case cases[] = {
        {"confirmed", true, Reply::Authorized, Answer::confirmed, 1, true},
        {"cancelled in our prompt: the system is not asked", false, Reply::Authorized, Answer::refused, 0, true},
        {"refused by the system (wrong password, dismissed)", true, Reply::Refused, Answer::refused, 1, true},
        {"the system cannot be reached", true, Reply::Throws, Answer::refused, 1, true},
        {"no agent to show the system's prompt", true, Reply::NoAgent, Answer::unavailable, 1, true},
        {"no authority at all: no at once, without our prompt", true, Reply::Absent, Answer::unavailable, 0, false},
        {"our action's policy not installed: no at once, without our prompt", true, Reply::UnknownAction,
         Answer::notInstalled, 0, false},
    };
    for (const auto& c : cases) {
        auto prompt = std::make_shared<ScriptedPrompt>(c.promptAnswer);
        auto authority = std::make_shared<ScriptedAuthority>(c.authority);
        PolkitBiometricGate gate(prompt, authority);
        EXPECT_EQ(gate.check("Reveal the password of \"Mail\""), c.expected) << c.name;
        EXPECT_EQ(authority->calls, c.authorityCalls) << c.name;
        const std::vector<std::string> asked =
            c.prompted ? std::vector<std::string>{"Reveal the password of \"Mail\""} : std::vector<std::string>{};
        EXPECT_EQ(prompt->reasons(), asked) << c.name;
    }
}

TEST(PolkitBiometricGate, AFailingPromptOrMissingSeamIsANo) {
    auto prompt = std::make_shared<ScriptedPrompt>(true);
    prompt->setThrows();
    auto authority = std::make_shared<ScriptedAuthority>(ScriptedAuthority::Reply::Authorized);
    EXPECT_FALSE(PolkitBiometricGate(prompt, authority).authenticate("x"));
    EXPECT_EQ(authority->calls, 0);
    EXPECT_FALSE(PolkitBiometricGate(nullptr, authority).authenticate("x"));
}

TEST(PolkitBiometricGate, ASecondRequestWaitsUntilTheFirstIsAnswered) {
    auto prompt = std::make_shared<ScriptedPrompt>(true);
    prompt->holdAnswers();
    PolkitBiometricGate gate(prompt, std::make_shared<ScriptedAuthority>(ScriptedAuthority::Reply::Authorized));

    auto first = std::async(std::launch::async, [&] { return gate.authenticate("first"); });
    prompt->waitUntilAsked(1);
    auto second = std::async(std::launch::async, [&] { return gate.authenticate("second"); });
    while (gate.pendingRequests() < 2) std::this_thread::yield();

    // The second request is inside the gate, yet its prompt has not been shown.
    EXPECT_EQ(prompt->reasons(), std::vector<std::string>{"first"});
    prompt->releaseOne();
    EXPECT_TRUE(first.get());
    prompt->waitUntilAsked(2);
    prompt->releaseOne();
    EXPECT_TRUE(second.get());
    EXPECT_EQ(prompt->reasons(), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(prompt->maxInside(), 1);
    EXPECT_EQ(gate.pendingRequests(), 0u);
}

// The live prompt runs on the interface thread; a request made there while a worker's prompt waits
// for that thread must not lock both up.
TEST(PolkitBiometricGate, ARequestOnTheInterfaceThreadKeepsItsEventsFlowing) {
    int argc = 1;
    char name[] = "platform_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    // Like the dialog: the prompt hops to the interface thread and blocks until it has run there.
    class HoppingPrompt final : public PresencePrompt {
    public:
        bool ask(const std::string& reason) override {
            bool onInterfaceThread = false;
            auto run = [&] { onInterfaceThread = QThread::currentThread() == qApp->thread(); };
            if (QThread::currentThread() == qApp->thread()) {
                run();
            } else {
                hopping = true;
                QMetaObject::invokeMethod(qApp, run, Qt::BlockingQueuedConnection);
            }
            std::lock_guard lock(mutex);
            asked.push_back(reason);
            return onInterfaceThread;
        }
        std::atomic<bool> hopping{false};
        std::mutex mutex;
        std::vector<std::string> asked;
    };
    auto prompt = std::make_shared<HoppingPrompt>();
    PolkitBiometricGate gate(prompt, std::make_shared<ScriptedAuthority>(ScriptedAuthority::Reply::Authorized));

    auto fromWorker = std::async(std::launch::async, [&] { return gate.authenticate("worker"); });
    // The worker holds the turn and waits for this thread when the second request comes in here.
    while (!prompt->hopping) std::this_thread::yield();
    EXPECT_TRUE(gate.authenticate("interface"));
    // The worker's prompt may still need this thread, as it would in the running application.
    while (fromWorker.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    EXPECT_TRUE(fromWorker.get());
    EXPECT_EQ(prompt->asked.size(), 2u);
}

}  // namespace
}  // namespace vael

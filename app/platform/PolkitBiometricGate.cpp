#include "app/platform/PolkitBiometricGate.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <thread>

#include "app/platform/PolkitPresenceAuthority.h"
#include "app/platform/PresenceDialog.h"

namespace vael {

PolkitBiometricGate::PolkitBiometricGate()
    : PolkitBiometricGate(std::make_shared<DialogPresencePrompt>(), std::make_shared<PolkitPresenceAuthority>()) {}

PolkitBiometricGate::PolkitBiometricGate(std::shared_ptr<PresencePrompt> prompt,
                                         std::shared_ptr<PresenceAuthority> authority)
    : prompt_(std::move(prompt)), authority_(std::move(authority)) {}

BiometricGate::Answer PolkitBiometricGate::decideInTurn(const std::string& reason) {
    std::lock_guard turn(turn_);
    try {
        if (!prompt_ || !authority_) return Answer::unavailable;
        // Without an authority the answer could only be no: say so before the user is asked.
        if (!authority_->canAsk()) return Answer::unavailable;
        if (!authority_->knowsAction()) return Answer::notInstalled;
        if (!prompt_->ask(reason)) return Answer::refused;
        return authority_->check();
    } catch (...) {
        return Answer::refused;  // callers learn no more than yes, no or nobody to ask
    }
}

bool PolkitBiometricGate::authenticate(const std::string& reason) { return check(reason) == Answer::confirmed; }

BiometricGate::Answer PolkitBiometricGate::check(const std::string& reason) {
    struct Pending {
        std::atomic<std::size_t>& count;
        explicit Pending(std::atomic<std::size_t>& c) : count(c) { ++count; }
        ~Pending() { --count; }
    } pending(pending_);

    const QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread()) return decideInTurn(reason);

    // On the interface thread a blocked wait would freeze the prompt that an earlier request is
    // showing there: wait on a worker and keep the events flowing.
    Answer answer = Answer::refused;
    QEventLoop loop;
    std::thread worker([&] {
        answer = decideInTurn(reason);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return answer;
}

}  // namespace vael

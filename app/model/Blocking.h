#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace vael {

// Blocking work (store, crypto, server, files) running on a worker thread. Awaiting it resumes the
// coroutine on the main thread with the work's result, or rethrows the very exception it threw.
// A plain awaitable rather than a coroutine, and meant to be held in a local before co_await:
// temporaries inside a co_await expression are not safe with every compiler we build with.
template <class Result>
class Blocking {
public:
    struct Outcome {
        std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> value{};
        std::exception_ptr error;
    };

    Blocking(QFuture<void> future, std::shared_ptr<Outcome> outcome)
        : future_(std::move(future)), outcome_(std::move(outcome)) {}

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting) {
        auto* watcher = new QFutureWatcher<void>();
        QObject::connect(watcher, &QFutureWatcher<void>::finished, watcher, [watcher, waiting] {
            watcher->deleteLater();
            waiting.resume();
        });
        watcher->setFuture(future_);
    }
    Result await_resume() {
        if (outcome_->error) std::rethrow_exception(outcome_->error);
        if constexpr (!std::is_void_v<Result>) return std::move(*outcome_->value);
    }

private:
    QFuture<void> future_;
    std::shared_ptr<Outcome> outcome_;
};

template <class Work>
Blocking<std::invoke_result_t<Work>> runBlocking(Work work) {
    using Result = std::invoke_result_t<Work>;
    auto outcome = std::make_shared<typename Blocking<Result>::Outcome>();
    auto future = QtConcurrent::run([outcome, work = std::move(work)]() mutable {
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
            } else {
                outcome->value.emplace(work());
            }
        } catch (...) {
            outcome->error = std::current_exception();
        }
    });
    return Blocking<Result>(std::move(future), std::move(outcome));
}

// Called once the application object is gone (it ends Qt's worker pool): waits, for two seconds at
// most, until the pool's threads have left the process, so that exit handlers do not race them.
void awaitWorkerThreadsEnded();

}  // namespace vael

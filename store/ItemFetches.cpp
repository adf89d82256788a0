#include "store/ItemFetches.h"

#include <algorithm>

namespace vael {

namespace {

// A failure the pull skips over (the item waits for the next pull); any other one ends the pull.
bool skippable(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const SyncAPIError& failure) {
        return failure.kind() != SyncAPIError::Kind::offline;
    } catch (...) {
        return false;
    }
}

}  // namespace

ItemFetches::ItemFetches(VaelSyncAPI& api, std::vector<Uuid> ids, std::size_t inFlight)
    : api_(api), ids_(std::move(ids)), inFlight_(std::max<std::size_t>(inFlight, 1)), outcomes_(ids_.size()),
      done_(ids_.size(), false) {
    const auto threads = std::min(inFlight_, ids_.size());
    threads_.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
}

ItemFetches::~ItemFetches() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
    for (auto& thread : threads_) thread.join();
}

void ItemFetches::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopped_ || started_ >= ids_.size() || started_ < taken_ + inFlight_; });
        if (stopped_ || started_ >= ids_.size()) return;
        const auto at = started_++;
        lock.unlock();
        Outcome outcome;
        try {
            outcome.body = api_.fetchItem(ids_[at]);
        } catch (...) {
            outcome.error = std::current_exception();
        }
        lock.lock();
        if (outcome.error && !skippable(outcome.error)) stopped_ = true;
        outcomes_[at] = std::move(outcome);
        done_[at] = true;
        changed_.notify_all();
    }
}

bool ItemFetches::nextReady() {
    std::lock_guard lock(mutex_);
    return taken_ < ids_.size() && done_[taken_];
}

ItemFetches::Outcome ItemFetches::take() {
    std::unique_lock lock(mutex_);
    const auto at = taken_;
    // A fetch stopped before it started never comes: only a failure before it stops them, and the
    // pull ends at that failure before it asks for this one.
    changed_.wait(lock, [&] { return done_[at]; });
    ++taken_;
    changed_.notify_all();
    return std::move(outcomes_[at]);
}

}  // namespace vael

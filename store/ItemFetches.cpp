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

ItemFetches::ItemFetches(VaelSyncAPI& api, std::vector<Uuid> ids, std::size_t inFlight, std::size_t ahead)
    : api_(api), ids_(std::move(ids)), inFlight_(std::max<std::size_t>(inFlight, 1)),
      ahead_(std::max(ahead, inFlight_)), outcomes_(ids_.size()), done_(ids_.size(), false) {
    const auto threads = std::min(inFlight_, ids_.size());
    threads_.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
}

ItemFetches::~ItemFetches() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    room_.notify_all();
    for (auto& thread : threads_) thread.join();
}

std::size_t ItemFetches::startLimit() const {
    return std::min({ids_.size(), oldestUnderWay_ + inFlight_, taken_ + ahead_});
}

// Each change wakes only as many threads as it makes room for: with every worker woken by every
// answer, a pull spends its time in the scheduler.
void ItemFetches::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        room_.wait(lock, [this] { return stopped_ || started_ < startLimit(); });
        if (stopped_) return;
        const auto at = started_++;
        lock.unlock();
        Outcome outcome;
        try {
            outcome.body = api_.fetchItem(ids_[at]);
        } catch (...) {
            outcome.error = std::current_exception();
        }
        lock.lock();
        outcomes_[at] = std::move(outcome);
        done_[at] = true;
        if (at == taken_) ready_.notify_one();
        if (outcomes_[at].error && !skippable(outcomes_[at].error)) {
            stopped_ = true;
            room_.notify_all();
            return;
        }
        const auto limit = startLimit();
        while (oldestUnderWay_ < ids_.size() && done_[oldestUnderWay_]) ++oldestUnderWay_;
        // This thread takes one of the new places itself.
        for (auto opened = startLimit() - limit; opened > 1; --opened) room_.notify_one();
    }
}

bool ItemFetches::waitNext(Deadline deadline) {
    std::unique_lock lock(mutex_);
    return ready_.wait_until(lock, deadline, [&] { return done_[taken_]; });
}

ItemFetches::Outcome ItemFetches::take() {
    std::unique_lock lock(mutex_);
    const auto at = taken_;
    // A fetch stopped before it started never comes: only a failure before it stops them, and the
    // pull ends at that failure before it asks for this one.
    ready_.wait(lock, [&] { return done_[at]; });
    const auto limit = startLimit();
    ++taken_;
    if (startLimit() > limit) room_.notify_one();
    return std::move(outcomes_[at]);
}

}  // namespace vael

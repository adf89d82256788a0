#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "store/VaelSyncAPI.h"

namespace vael {

// The item fetches of one pull, up to `inFlight` at once on threads of their own, handed out in the
// order they were asked for. A fetch starts at most `inFlight` places past the oldest one still under
// way, so a pull that stops at a failure has sent at most that many requests past it; after a failure
// that stops the pull none start at all. Answers wait to be taken, at most `ahead` of them (with those
// under way), so a taker busy writing a batch does not hold the fetches up.
class ItemFetches {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    struct Outcome {
        std::optional<ItemBody> body;
        std::exception_ptr error;  // what fetchItem threw
    };

    ItemFetches(VaelSyncAPI& api, std::vector<Uuid> ids, std::size_t inFlight, std::size_t ahead);
    // Starts no more fetches and waits for those under way.
    ~ItemFetches();
    ItemFetches(const ItemFetches&) = delete;
    ItemFetches& operator=(const ItemFetches&) = delete;

    // The next fetch in order, waiting for it; only while next() < size().
    Outcome take();
    // Waits until take() would answer without waiting, or until the deadline; answers which.
    bool waitNext(Deadline deadline);
    std::size_t next() const { return taken_; }
    std::size_t size() const { return ids_.size(); }

private:
    void work();
    // Fetches before this one may start.
    std::size_t startLimit() const;

    VaelSyncAPI& api_;
    const std::vector<Uuid> ids_;
    const std::size_t inFlight_;
    const std::size_t ahead_;
    std::vector<Outcome> outcomes_;
    std::vector<bool> done_;
    std::mutex mutex_;
    std::condition_variable room_;   // workers: a fetch may start
    std::condition_variable ready_;  // the taker: the next outcome is in
    std::size_t started_ = 0;        // fetches handed to a thread
    std::size_t oldestUnderWay_ = 0; // every fetch before it is done
    std::size_t taken_ = 0;          // outcomes handed out
    bool stopped_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace vael

#pragma once

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
// order they were asked for. A fetch starts at most `inFlight` places ahead of the one taken last, so a
// pull that stops at a failure has sent at most that many requests past it; after a failure that
// stops the pull none start at all.
class ItemFetches {
public:

    struct Outcome {
        std::optional<ItemBody> body;
        std::exception_ptr error;  // what fetchItem threw
    };

    ItemFetches(VaelSyncAPI& api, std::vector<Uuid> ids, std::size_t inFlight);
    // Starts no more fetches and waits for those under way.
    ~ItemFetches();
    ItemFetches(const ItemFetches&) = delete;
    ItemFetches& operator=(const ItemFetches&) = delete;

    // The next fetch in order, waiting for it; only while next() < size().
    Outcome take();
    // Whether take() would answer without waiting.
    bool nextReady();
    std::size_t next() const { return taken_; }
    std::size_t size() const { return ids_.size(); }

private:
    void work();

    VaelSyncAPI& api_;
    const std::vector<Uuid> ids_;
    const std::size_t inFlight_;
    std::vector<Outcome> outcomes_;
    std::vector<bool> done_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t started_ = 0;  // fetches handed to a thread
    std::size_t taken_ = 0;    // outcomes handed out
    bool stopped_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace vael

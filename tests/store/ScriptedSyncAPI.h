#pragma once

// A VaelSyncAPI that answers from a script and records every call, for the engine's failure tables.
// Each call takes the next scripted outcome of its method (success when none is left); successful
// calls answer from a small in-memory server.

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "store/SyncPause.h"
#include "store/VaelSyncAPI.h"

namespace vael::test {

class ScriptedSyncAPI final : public VaelSyncAPI {
public:
    // How one call ends.
    struct Outcome {
        std::function<void()> raise;  // empty: success

        static Outcome ok() { return {}; }
        static Outcome conflict(std::int64_t revision) {
            return {[revision] { throw SyncAPIError::conflict(revision); }};
        }
        static Outcome offline() { return {[] { throw SyncAPIError::offline(); }}; }
        static Outcome transport(std::string text = "bad gateway") {
            return {[text] { throw SyncAPIError::transport(text); }};
        }
        // Not a SyncAPIError at all.
        static Outcome foreign() { return {[] { throw std::runtime_error("something else"); }}; }
    };

    struct Call {
        std::string method;
        std::optional<Uuid> id = std::nullopt;
        std::optional<ItemBody> body = std::nullopt;
        std::optional<std::int64_t> expectedRevision = std::nullopt;
        std::optional<CollectionRecord> record = std::nullopt;
        std::optional<TimePoint> since = std::nullopt;

        bool operator==(const Call&) const = default;
    };

    void script(const std::string& method, std::vector<Outcome> outcomes) {
        std::lock_guard lock(mutex_);
        for (auto& o : outcomes) script_[method].push_back(std::move(o));
    }
    // Runs inside every call, after it was recorded and before it answers, without the API's lock.
    void onCall(std::function<void(const Call&)> hook) { hook_ = std::move(hook); }

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> methods() const {
        std::vector<std::string> names;
        for (const auto& c : calls()) names.push_back(c.method);
        return names;
    }
    void clearCalls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

    // How many item fetches a pull may have under way at once.
    std::size_t fetchesAtOnce = 1;
    std::size_t concurrentFetches() const override { return fetchesAtOnce; }

    // The in-memory server.
    SyncResponse syncAnswer;
    std::map<Uuid, ItemBody> serverItems;
    std::int64_t nextRevision = 100;

    SyncResponse sync(std::optional<TimePoint> since) override {
        run(Call{.method = "sync", .since = since});
        std::lock_guard lock(mutex_);
        return syncAnswer;
    }
    ItemBody fetchItem(const Uuid& id) override {
        run(Call{.method = "fetchItem", .id = id});
        std::lock_guard lock(mutex_);
        const auto it = serverItems.find(id);
        if (it == serverItems.end()) throw SyncAPIError::transport("not found");
        return it->second;
    }
    PushResult putItem(const Uuid& id, const ItemBody& body, std::int64_t expectedRevision) override {
        run(Call{.method = "putItem", .id = id, .body = body, .expectedRevision = expectedRevision});
        std::lock_guard lock(mutex_);
        auto stored = body;
        stored.revision = nextRevision++;
        serverItems[id] = stored;
        return PushResult{stored.revision};
    }
    void createItem(const ItemBody& body) override {
        run(Call{.method = "createItem", .body = body});
        std::lock_guard lock(mutex_);
        serverItems[body.id] = body;
    }
    void deleteItem(const Uuid& id) override {
        run(Call{.method = "deleteItem", .id = id});
        std::lock_guard lock(mutex_);
        serverItems.erase(id);
    }
    void createCollection(const CollectionRecord& record) override {
        run(Call{.method = "createCollection", .record = record});
    }
    void patchCollection(const CollectionRecord& record) override {
        run(Call{.method = "patchCollection", .record = record});
    }
    void deleteCollection(const Uuid& id) override { run(Call{.method = "deleteCollection", .id = id}); }

private:
    void run(Call call) {
        Outcome outcome;
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(call);
            auto& queue = script_[call.method];
            if (!queue.empty()) {
                outcome = std::move(queue.front());
                queue.pop_front();
            }
        }
        if (hook_) hook_(call);
        if (outcome.raise) outcome.raise();
    }

    mutable std::mutex mutex_;
    std::map<std::string, std::deque<Outcome>> script_;
    std::vector<Call> calls_;
    std::function<void(const Call&)> hook_;
};

// Records the pauses asked for and runs a hook in their place; never sleeps.
class ScriptedPause final : public SyncPause {
public:
    void pause(std::chrono::nanoseconds duration) override {
        pauses.push_back(duration);
        if (during) during();
    }
    std::vector<std::chrono::nanoseconds> pauses;
    std::function<void()> during;
};

// A clock that moves only when told.
class ManualClock final : public Clock {
public:
    explicit ManualClock(TimePoint start) : now_(start) {}
    TimePoint now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void advance(std::chrono::milliseconds by) {
        std::lock_guard lock(mutex_);
        now_ += by;
    }

private:
    mutable std::mutex mutex_;
    TimePoint now_;
};

}  // namespace vael::test

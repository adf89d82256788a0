#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace vael {

// Holds every write to the default group while its key is being replaced, so that the items a
// rotation sends are exactly the items it re-wraps, and nothing is sealed under a key that is
// being retired. Writers pass through it (model writes, agent requests, synchronisation runs); a
// rotation holds it from its item read until the key switch. Thread safe.
class DefaultGroupGate {
public:
    // A write that began under a key the gate has since retired.
    class StaleKey : public std::runtime_error {
    public:
        StaleKey() : std::runtime_error("The default group's key changed during the write.") {}
    };

    class Pass {
    public:
        Pass() = default;
        Pass(Pass&& other) noexcept : gate_(other.gate_) { other.gate_ = nullptr; }
        Pass& operator=(Pass&&) = delete;
        ~Pass() {
            if (gate_) gate_->leave();
        }

    private:
        friend class DefaultGroupGate;
        explicit Pass(DefaultGroupGate* gate) : gate_(gate) {}
        DefaultGroupGate* gate_ = nullptr;
    };

    // Around a blocking wait: a thread pool can lend a thread meanwhile.
    DefaultGroupGate(std::function<void()> beforeWait = {}, std::function<void()> afterWait = {})
        : beforeWait_(std::move(beforeWait)), afterWait_(std::move(afterWait)) {}

    // The current key's generation, taken by writers when they take the key.
    std::uint64_t epoch() const {
        std::lock_guard lock(mutex_);
        return epoch_;
    }

    // Whether a hold is on now (a rotation between its item read and its key switch).
    bool isHeld() const {
        std::lock_guard lock(mutex_);
        return held_;
    }

    // Waits while a hold is on; a hold cannot begin while the pass lives.
    Pass enter() { return enterChecked(std::nullopt); }
    // As enter(), and raises StaleKey when the key switched after `epoch` was taken.
    Pass enter(std::uint64_t epoch) { return enterChecked(epoch); }

    // Waits for the passes in flight and for any other hold, then holds new writers back.
    void hold() {
        std::unique_lock lock(mutex_);
        if (held_ || writers_ > 0) wait(lock, [this] { return !held_ && writers_ == 0; });
        held_ = true;
    }

    // Lets writers on; keySwitched retires the key held before.
    void release(bool keySwitched) {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
            if (keySwitched) ++epoch_;
        }
        changed_.notify_all();
    }

private:
    Pass enterChecked(std::optional<std::uint64_t> epoch) {
        std::unique_lock lock(mutex_);
        if (held_) wait(lock, [this] { return !held_; });
        if (epoch && *epoch != epoch_) throw StaleKey();
        ++writers_;
        return Pass(this);
    }

    void leave() {
        {
            std::lock_guard lock(mutex_);
            --writers_;
        }
        changed_.notify_all();
    }

    template <class Predicate>
    void wait(std::unique_lock<std::mutex>& lock, Predicate ready) {
        if (beforeWait_) beforeWait_();
        changed_.wait(lock, ready);
        if (afterWait_) afterWait_();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int writers_ = 0;
    std::uint64_t epoch_ = 0;
    std::function<void()> beforeWait_;
    std::function<void()> afterWait_;
};

}  // namespace vael

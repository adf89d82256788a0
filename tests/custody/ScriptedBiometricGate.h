#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "app/custody/BiometricGate.h"

namespace vael::test {

// A gate that answers from a script: the queued answers in order, then the default. Records every
// reason it was asked with. Safe to call from several threads.
class ScriptedBiometricGate final : public BiometricGate {
public:
    explicit ScriptedBiometricGate(bool defaultAnswer = false) : defaultAnswer_(defaultAnswer) {}

    void enqueue(bool answer) {
        std::lock_guard lock(mutex_);
        answers_.push_back(answer);
    }
    void setDefaultAnswer(bool answer) {
        std::lock_guard lock(mutex_);
        defaultAnswer_ = answer;
    }

    bool authenticate(const std::string& reason) override {
        std::lock_guard lock(mutex_);
        reasons_.push_back(reason);
        if (answers_.empty()) return defaultAnswer_;
        const bool answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    std::vector<std::string> reasons() const {
        std::lock_guard lock(mutex_);
        return reasons_;
    }
    std::size_t calls() const {
        std::lock_guard lock(mutex_);
        return reasons_.size();
    }

private:
    mutable std::mutex mutex_;
    bool defaultAnswer_;
    std::deque<bool> answers_;
    std::vector<std::string> reasons_;
};

}  // namespace vael::test

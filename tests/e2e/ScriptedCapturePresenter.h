#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "app/agent/VaultItemSource.h"

namespace vael::e2e {

// Answers capture requests from a script: the queued answers in order, then nothing (declined).
// Called from agent connection threads.
class ScriptedCapturePresenter final : public CredentialCapturePresenter {
public:
    void answerNext(std::optional<CapturedCredential> answer) {
        std::lock_guard lock(mutex_);
        answers_.push_back(std::move(answer));
    }

    std::optional<CapturedCredential> present(const std::string&,
                                              const std::optional<std::string>&) override {
        std::lock_guard lock(mutex_);
        if (answers_.empty()) return std::nullopt;
        auto answer = std::move(answers_.front());
        answers_.pop_front();
        return answer;
    }

private:
    std::mutex mutex_;
    std::deque<std::optional<CapturedCredential>> answers_;
};

}  // namespace vael::e2e

#pragma once

#include <QObject>

#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/agent/VaultItemSource.h"
#include "core/Uuid.h"

namespace vael {

// The application's capture presenter. Agent threads block in present() while their requests wait
// in arrival order; the sheet shows the oldest (`pending`) and answers it by its id with submit() or
// cancel(). Every request is answered exactly once: an answer for a request no longer waiting (a
// sheet closing after Save, or after a lock) does nothing, so it can never reach the next request. While closed (no open session) requests are answered
// with nothing at once; close() answers every waiting one with nothing.
class LiveCredentialCapturePresenter final : public QObject, public CredentialCapturePresenter {
    Q_OBJECT
public:
    struct Pending {
        Uuid id;
        std::string origin;
        std::optional<std::string> suggestedName;
        // The request's identity is its id.
        bool operator==(const Pending& other) const { return id == other.id; }
    };

    explicit LiveCredentialCapturePresenter(QObject* parent = nullptr);
    ~LiveCredentialCapturePresenter() override;

    // From agent threads; on the main thread it would wait for itself, so it answers nothing there.
    std::optional<CapturedCredential> present(const std::string& origin,
                                              const std::optional<std::string>& suggestedName) override;

    // Main thread.
    std::optional<Pending> pending() const { return pending_; }
    void submit(const Uuid& id, const CapturedCredential& credential) { resume(id, credential); }
    void cancel(const Uuid& id) { resume(id, std::nullopt); }
    void open();
    void close();

signals:
    void pendingChanged();

private:
    struct Request {
        Pending pending;
        std::promise<std::optional<CapturedCredential>> answer;
    };
    struct Queue {
        std::mutex mutex;
        bool open = false;
        std::deque<std::shared_ptr<Request>> waiting;
    };

    void resume(const Uuid& id, std::optional<CapturedCredential> result);
    void publishHead();

    std::shared_ptr<Queue> queue_;
    std::optional<Pending> pending_;  // main thread's copy of the oldest waiting request
};

}  // namespace vael

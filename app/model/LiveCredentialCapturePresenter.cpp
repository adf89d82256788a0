#include "app/model/LiveCredentialCapturePresenter.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

namespace vael {

LiveCredentialCapturePresenter::LiveCredentialCapturePresenter(QObject* parent)
    : QObject(parent), queue_(std::make_shared<Queue>()) {}

LiveCredentialCapturePresenter::~LiveCredentialCapturePresenter() { close(); }

std::optional<CapturedCredential> LiveCredentialCapturePresenter::present(
    const std::string& origin, const std::optional<std::string>& suggestedName) {
    if (QThread::currentThread() == thread()) return std::nullopt;
    auto request = std::make_shared<Request>();
    request->pending = Pending{Uuid::random(), origin, suggestedName};
    auto answer = request->answer.get_future();
    {
        std::lock_guard lock(queue_->mutex);
        if (!queue_->open) return std::nullopt;
        queue_->waiting.push_back(request);
    }
    // The caller holds this presenter, so it is alive for the post; the queue answers a request
    // that outlives it.
    QMetaObject::invokeMethod(this, [this] { publishHead(); }, Qt::QueuedConnection);
    return answer.get();
}

void LiveCredentialCapturePresenter::open() {
    std::lock_guard lock(queue_->mutex);
    queue_->open = true;
}

void LiveCredentialCapturePresenter::close() {
    std::deque<std::shared_ptr<Request>> waiting;
    {
        std::lock_guard lock(queue_->mutex);
        queue_->open = false;
        waiting.swap(queue_->waiting);
    }
    for (auto& request : waiting) request->answer.set_value(std::nullopt);
    publishHead();
}

void LiveCredentialCapturePresenter::resume(const Uuid& id, std::optional<CapturedCredential> result) {
    std::shared_ptr<Request> answered;
    {
        std::lock_guard lock(queue_->mutex);
        auto& waiting = queue_->waiting;
        const auto found = std::find_if(waiting.begin(), waiting.end(),
                                        [&](const auto& request) { return request->pending.id == id; });
        if (found == waiting.end()) return;
        answered = *found;
        waiting.erase(found);
    }
    publishHead();
    answered->answer.set_value(std::move(result));
}

void LiveCredentialCapturePresenter::publishHead() {
    std::optional<Pending> head;
    {
        std::lock_guard lock(queue_->mutex);
        if (!queue_->waiting.empty()) head = queue_->waiting.front()->pending;
    }
    if (head == pending_) return;
    pending_ = std::move(head);
    emit pendingChanged();
}

}  // namespace vael

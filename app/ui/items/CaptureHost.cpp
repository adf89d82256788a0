#include "app/ui/items/CaptureHost.h"

#include <QDialog>

#include "app/model/AppModel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ScreenFactory.h"

namespace vael {

CaptureHost::CaptureHost(AppModel& app, ScreenFactory& screens, MainWindow* window)
    : QObject(window), app_(app), screens_(screens), window_(window) {
    connect(app_.liveCapture().get(), &LiveCredentialCapturePresenter::pendingChanged, this, &CaptureHost::follow);
    follow();
}

void CaptureHost::follow() {
    const auto head = app_.liveCapture()->pending();
    const std::optional<Uuid> id = head ? std::optional(head->id) : std::nullopt;
    if (id == shown_) return;
    shown_ = id;
    if (sheet_) sheet_->close();  // its own request is already answered: closing answers nothing more
    if (!head) return;
    window_->bringForward();
    sheet_ = screens_.capture(*head, window_);
    sheet_->open();
}

}  // namespace vael

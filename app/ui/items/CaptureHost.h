#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

#include "core/Uuid.h"

#include <QDialog>

namespace vael {

class AppModel;
class MainWindow;
class ScreenFactory;

// Puts each agent's credential-capture request in front of the user: every new head of the live
// presenter's queue opens the capture sheet over whichever page shows, with the window brought
// forward; the sheet closes when the head changes. The sheet answers its own request when it is
// dismissed, so nothing here ever answers one.
class CaptureHost final : public QObject {
    Q_OBJECT
public:
    CaptureHost(AppModel& app, ScreenFactory& screens, MainWindow* window);

    QDialog* sheet() const { return sheet_; }

private:
    void follow();

    AppModel& app_;
    ScreenFactory& screens_;
    MainWindow* window_;
    QPointer<QDialog> sheet_;
    std::optional<Uuid> shown_;
};

}  // namespace vael

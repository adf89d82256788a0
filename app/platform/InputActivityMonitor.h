#pragma once

#include <QObject>

#include <functional>

class QEvent;

namespace vael {

// Sees every input event sent to this application (an application-wide event filter) and reports
// the ones that show the user is here: a key pressed (not a modifier alone), a mouse button pressed,
// the wheel turned. Moving the mouse and releasing keys or buttons do not count. Events pass on
// unchanged. Input to other applications is never seen.
class InputActivityMonitor : public QObject {
public:
    // Called on the interface thread for each such event; keep it cheap (a time stamp).
    explicit InputActivityMonitor(std::function<void()> onActivity, QObject* parent = nullptr);
    ~InputActivityMonitor() override;

    // On the running QCoreApplication; false when there is none. Installing twice does nothing.
    bool install();
    void remove();
    bool installed() const { return installed_; }

    static bool isActivity(const QEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onActivity_;
    bool installed_ = false;
};

}  // namespace vael

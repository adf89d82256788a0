#pragma once

#include <QDialog>
#include <QString>

#include <chrono>
#include <functional>

#include "app/platform/PresenceSeams.h"

class QPushButton;

namespace vael {

// Says why Vael asks, before the system asks for the fingerprint or password. The reason is shown
// as plain text: it may carry names an agent chose. The prompt comes up while the user may be
// typing elsewhere, so no key approves it by chance: there is no default button, focus starts on
// "Cancel", and Return and Space do nothing for the first second it is shown.
class PresenceDialog : public QDialog {
public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kKeyGuard{1000};

    explicit PresenceDialog(const QString& reason, QWidget* parent = nullptr, Now now = &std::chrono::steady_clock::now);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Now now_;
    std::chrono::steady_clock::time_point shownAt_{};
};

// Shows the dialog on the interface thread, from whichever thread asks, and waits for the answer.
// Without a widget application there is no one to ask: the answer is no.
class DialogPresencePrompt final : public PresencePrompt {
public:
    bool ask(const std::string& reason) override;
};

}  // namespace vael

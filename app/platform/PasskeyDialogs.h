#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <mutex>

#include "app/platform/PasskeySeams.h"

class QLineEdit;

namespace vael {

// Asks for the security key's PIN. The PIN is never echoed.
class PinDialog : public QDialog {
public:
    explicit PinDialog(const QString& message, QWidget* parent = nullptr);
    // The entered PIN as UTF-8; the field is cleared.
    SecureBytes takePin();

private:
    QLineEdit* field_;
};

// "Touch your security key" with a way out while the key waits.
class TouchDialog : public QDialog {
public:
    explicit TouchDialog(QWidget* parent = nullptr);
};

// Shows the PIN dialog on the interface thread, from whichever thread asks, and waits for it.
// Without a widget application there is no one to ask: the answer is "cancelled".
class DialogPinPrompt final : public PinPrompt {
public:
    std::optional<SecureBytes> askPin(const std::string& message) override;
    void cancel() override;

private:
    QPointer<PinDialog> dialog_;  // touched on the interface thread only
};

// Shows the touch dialog on the interface thread. hide() waits until the dialog is gone, so the
// cancel callback never runs after it returns.
class DialogTouchPrompt final : public TouchPrompt {
public:
    void show(std::function<void()> cancel) override;
    void hide() override;

private:
    QPointer<TouchDialog> dialog_;  // touched on the interface thread only
};

}  // namespace vael

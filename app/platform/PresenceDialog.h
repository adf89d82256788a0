#pragma once

#include <QDialog>
#include <QString>

#include "app/platform/PresenceSeams.h"

namespace vael {

// Says why Vael asks, before the system asks for the fingerprint or password. The reason is shown
// as plain text: it may carry names an agent chose.
class PresenceDialog : public QDialog {
public:
    explicit PresenceDialog(const QString& reason, QWidget* parent = nullptr);
};

// Shows the dialog on the interface thread, from whichever thread asks, and waits for the answer.
// Without a widget application there is no one to ask: the answer is no.
class DialogPresencePrompt final : public PresencePrompt {
public:
    bool ask(const std::string& reason) override;
};

}  // namespace vael

#pragma once

#include <QByteArray>
#include <QMetaType>

class QWindow;

namespace vael {

// What a launcher hands the process it starts, so that the window it brings up may take the focus
// and the launcher's busy cursor ends: X11's startup id, or a Wayland activation token.
struct LaunchToken {
    QByteArray startupId;        // DESKTOP_STARTUP_ID
    QByteArray activationToken;  // XDG_ACTIVATION_TOKEN

    // Read before QApplication exists: Qt takes both variables for its own first window.
    static LaunchToken fromEnvironment();
    bool empty() const { return startupId.isEmpty() && activationToken.isEmpty(); }
    bool operator==(const LaunchToken&) const = default;
};

// Launchers' tokens are short printable ASCII; anything else is not one and is dropped.
bool isPlausibleToken(const QByteArray& token);

// For a window that is already on screen and has just been asked to come forward on behalf of
// another start: presents that start's token to the desktop (Wayland: the activation; X11: the
// window's startup id, an activation request with the launch's time, and the end of the launch's
// startup notification). Does nothing for an empty token or another window system.
void activateForLaunch(QWindow* window, const LaunchToken& launch);

}  // namespace vael

Q_DECLARE_METATYPE(vael::LaunchToken)

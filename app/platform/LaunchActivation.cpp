#include "app/platform/LaunchActivation.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vael {

namespace {

constexpr qsizetype kMaxTokenLength = 512;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    auto* reply = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// The launch's X server time, from the "_TIME<n>" ending of the startup id; 0 when it has none.
std::uint32_t launchTime(const QByteArray& startupId) {
    const auto at = startupId.lastIndexOf("_TIME");
    if (at < 0) return 0;
    bool ok = false;
    const auto time = startupId.mid(at + 5).toULong(&ok);
    return ok && time <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(time) : 0;
}

// Startup notification: the message goes to the root window in 20-byte pieces, NUL-terminated.
void sendStartupMessage(xcb_connection_t* connection, xcb_window_t root, const QByteArray& message) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = root;
    event.type = internAtom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = internAtom(connection, "_NET_STARTUP_INFO");
    const QByteArray bytes = message + '\0';
    for (qsizetype sent = 0; sent < bytes.size(); sent += 20) {
        if (sent > 0) event.type = more;
        std::memset(event.data.data8, 0, sizeof event.data.data8);
        std::memcpy(event.data.data8, bytes.constData() + sent, std::min<qsizetype>(20, bytes.size() - sent));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
}

void activateOnX11(QWindow* window, const QByteArray& startupId) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    xcb_connection_t* connection = x11->connection();
    const auto handle = static_cast<xcb_window_t>(window->winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;

    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, handle, internAtom(connection, "_NET_STARTUP_ID"),
                        internAtom(connection, "UTF8_STRING"), 8, startupId.size(), startupId.constData());
    const std::uint32_t time = launchTime(startupId);
    if (time != 0)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, handle, internAtom(connection, "_NET_WM_USER_TIME"),
                            XCB_ATOM_CARDINAL, 32, 1, &time);
    xcb_client_message_event_t activate{};
    activate.response_type = XCB_CLIENT_MESSAGE;
    activate.format = 32;
    activate.window = handle;
    activate.type = internAtom(connection, "_NET_ACTIVE_WINDOW");
    activate.data.data32[0] = 1;  // from an application
    activate.data.data32[1] = time;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&activate));
    // The token was checked to be plain ASCII without quotes or backslashes, so it needs no escaping.
    sendStartupMessage(connection, root, "remove: ID=\"" + startupId + "\"");
    xcb_flush(connection);
}

}  // namespace

LaunchToken LaunchToken::fromEnvironment() {
    LaunchToken launch{qgetenv("DESKTOP_STARTUP_ID"), qgetenv("XDG_ACTIVATION_TOKEN")};
    if (!isPlausibleToken(launch.startupId)) launch.startupId.clear();
    if (!isPlausibleToken(launch.activationToken)) launch.activationToken.clear();
    return launch;
}

bool isPlausibleToken(const QByteArray& token) {
    return !token.isEmpty() && token.size() <= kMaxTokenLength &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f && c != '"' && c != '\\'; });
}

void activateForLaunch(QWindow* window, const LaunchToken& launch) {
    if (!window || !qGuiApp) return;
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith("wayland") && !launch.activationToken.isEmpty()) {
        // Qt's Wayland plugin presents this variable's token with the next activation, then drops it.
        qputenv("XDG_ACTIVATION_TOKEN", launch.activationToken);
        window->requestActivate();
    } else if (platform == "xcb" && !launch.startupId.isEmpty()) {
        activateOnX11(window, launch.startupId);
    }
}

}  // namespace vael

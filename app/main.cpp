// The vael executable: one application model over the live Linux layers, the main window, the
// tray and the settings dialog. A second start hands its links to the first and exits.

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include <cstdio>
#include <memory>

#include "app/custody/PrivateFiles.h"
#include "app/custody/VaelPaths.h"
#include "app/model/AppModel.h"
#include "app/model/StoreItemSourceFactory.h"
#include "app/platform/LivePasskeyCeremony.h"
#include "app/platform/ModelBindings.h"
#include "app/platform/PolkitBiometricGate.h"
#include "app/platform/SingleInstance.h"
#include "app/ui/items/CodesTray.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ScreenFactory.h"
#include "core/Memory.h"

using namespace vael;

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "vael: %s\n", qPrintable(message));
    QMessageBox::critical(nullptr, "Vael", message);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    vael::boundAllocatorArenas();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vael");
    QApplication::setApplicationVersion(VAEL_VERSION);
    QApplication::setDesktopFileName("vael");
    QApplication::setWindowIcon(QIcon::fromTheme("vael", QIcon(":/vael/vael.svg")));
    const QStringList links = QApplication::arguments().mid(1);

    const VaelPaths paths = VaelPaths::standard();
    const std::string folder = folderOf(paths.vaultConfig);
    std::unique_ptr<SingleInstance> instance;
    try {
        ensurePrivateFolder(folder);
        instance = SingleInstance::elect(folder);
    } catch (const std::exception& error) {
        return fail(QString::fromStdString(error.what()));
    }
    if (!instance) {
        if (SingleInstance::forward(folder, links)) return 0;
        return fail("Vael is already running but did not answer.");
    }

    AppModelServices services;
    services.biometric = std::make_shared<PolkitBiometricGate>();
    services.makeItemSource = storeItemSourceFactory();
    services.ceremony = std::make_shared<LivePasskeyCeremony>();
    services.inputMonitor = std::make_shared<DesktopInputMonitor>();
    services.systemLockEvents = std::make_shared<DesktopLockEventSource>(std::make_shared<SystemLockEvents>());
    AppModel app(paths, std::move(services));

    ScreenFactory screens(app);
    const bool hasTray = QSystemTrayIcon::isSystemTrayAvailable();
    MainWindow window(app, screens, hasTray);
    std::unique_ptr<CodesTray> tray;
    if (hasTray) {
        tray = std::make_unique<CodesTray>(screens);
        // With a tray, closing the window keeps the application running.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    QObject::connect(instance.get(), &SingleInstance::urlReceived, &window, [&](const QString& link) {
        app.handleInviteURL(link.toStdString());
        window.bringForward();
    });
    QObject::connect(instance.get(), &SingleInstance::raiseRequested, &window, [&] { window.bringForward(); });
    for (const auto& link : links) app.handleInviteURL(link.toStdString());

    window.show();
    const int status = application.exec();
    tray.reset();
    return status;
}

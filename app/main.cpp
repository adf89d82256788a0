// The vael executable: one application model over the live Linux layers, the main window, the
// tray and the settings dialog. A second start hands its links to the first and exits.

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include <cstdio>
#include <memory>

#include "app/custody/PrivateFiles.h"
#include "app/custody/VaelPaths.h"
#include "app/model/AppModel.h"
#include "app/model/Blocking.h"
#include "app/model/StoreItemSourceFactory.h"
#include "app/platform/LivePasskeyCeremony.h"
#include "app/platform/CommandLine.h"
#include "app/platform/ModelBindings.h"
#include "app/platform/PolkitBiometricGate.h"
#include "app/platform/SingleInstance.h"
#include "app/platform/TerminationSignals.h"
#include "app/ui/items/CodesTray.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ScreenFactory.h"
#include "core/ProcessHardening.h"
#include "core/Memory.h"

using namespace vael;

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "vael: %s\n", qPrintable(message));
    QMessageBox::critical(nullptr, "Vael", message);
    return 1;
}

int run(int argc, char** argv) {
    hardenProcess();
    configureAllocator();
    // --help and --version answer without a display and without touching a running Vael.
    if (const auto information = CommandLine::information(argc, argv, VAEL_VERSION)) {
        std::fputs(qPrintable(*information), stdout);
        return 0;
    }
    const LaunchToken launch = LaunchToken::fromEnvironment();
    const auto application = openDesktopApplication(argc, argv);
    if (!application) return 1;
    // A logout's SIGTERM or a terminal's Ctrl+C: lock, then exit, as Quit does (wired below, held
    // from here so that one arriving during the start is not lost).
    auto terminationSignals = std::make_unique<TerminationSignals>();
    QApplication::setApplicationName("Vael");
    QApplication::setApplicationVersion(VAEL_VERSION);
    QApplication::setDesktopFileName("vael");
    QApplication::setWindowIcon(QIcon::fromTheme("vael", QIcon(":/vael/vael.svg")));
    const auto command = CommandLine::read(QApplication::arguments());
    if (!command.error.isEmpty()) {
        std::fprintf(stderr, "vael: %s\n", qPrintable(command.error));
        return 2;
    }
    const QStringList& links = command.links;
    scrubArguments(argc, argv, links);  // an invite's token is not for other users' ps

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
        terminationSignals.reset();  // a start that only hands over ends at once on a signal
        switch (SingleInstance::forward(folder, links, launch)) {
        case SingleInstance::Forwarded::delivered: return 0;
        case SingleInstance::Forwarded::tooLong: return fail("This link is too long to be a Vael invite link.");
        case SingleInstance::Forwarded::noAnswer: return fail("Vael is already running but did not answer.");
        }
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

    QObject::connect(instance.get(), &SingleInstance::urlReceived, &window,
                     [&](const QString& link, const LaunchToken& from) {
                         app.handleInviteURL(link.toStdString());
                         window.bringForward();
                         activateForLaunch(window.windowHandle(), from);
                     });
    QObject::connect(instance.get(), &SingleInstance::raiseRequested, &window, [&](const LaunchToken& from) {
        window.bringForward();
        activateForLaunch(window.windowHandle(), from);
    });
    for (const auto& link : links) app.handleInviteURL(link.toStdString());

    QObject::connect(terminationSignals.get(), &TerminationSignals::received, window.findChild<QAction*>("quitAction"),
                     &QAction::trigger);

    window.show();
    const int status = QApplication::exec();
    tray.reset();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const int status = run(argc, argv);
    awaitWorkerThreadsEnded();
    return status;
}

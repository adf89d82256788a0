#include "app/platform/CommandLine.h"

#include <QCommandLineParser>

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vael {

namespace {

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription("A desktop vault for secrets that local AI agents can use without seeing them.\n"
                                     "A second start hands its link to the running Vael and exits.");
    // Qt's own options are single-dash words (-platform, -style); read them as such, not as letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Not addHelpOption(): its --help-all lists Qt's options, which need an application to print.
    parser.addOption({{"h", "help"}, "Displays this help."});
    parser.addVersionOption();
    parser.addPositionalArgument("link", "An invite link (vael://invite/… or https://…/invite#…).", "[link]");
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// The window systems Qt would try: -platform, else QT_QPA_PLATFORM; empty when neither says.
QStringList chosenPlatforms(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return QString::fromLocal8Bit(argv[i + 1]).split(';', Qt::SkipEmptyParts);
    return qEnvironmentVariable("QT_QPA_PLATFORM").split(';', Qt::SkipEmptyParts);
}

QtMessageHandler previousHandler = nullptr;

void onStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (previousHandler) previousHandler(type, context, message);
        return;
    }
    // Qt's own lines before this one say which display failed and how.
    std::fprintf(stderr, "vael: Vael could not open a window on this desktop.\n");
    ::_exit(1);
}

}  // namespace

std::optional<QString> CommandLine::information(int argc, char** argv, const QString& version) {
    QCommandLineParser parser;
    describe(parser);
    // Errors wait for the full reading; here only whether help or the version was asked for counts.
    parser.parse(argumentsOf(argc, argv));
    if (parser.isSet("help"))
        return parser.helpText().replace("<executable_name>", "vael");
    if (parser.isSet("version")) return "Vael " + version + "\n";
    return std::nullopt;
}

CommandLine::Reading CommandLine::read(const QStringList& arguments) {
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments)) return {{}, parser.errorText()};
    const QStringList links = parser.positionalArguments();
    if (links.size() > 1) return {{}, "Give at most one link."};
    return {links, {}};
}

void scrubArguments(int argc, char** argv, const QStringList& secrets) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] && secrets.contains(QString::fromLocal8Bit(argv[i]))) std::memset(argv[i], 0, std::strlen(argv[i]));
}

std::optional<QString> missingDisplay(int argc, char** argv) {
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const QStringList platforms = chosenPlatforms(argc, argv);
    if (platforms.isEmpty()) {
        if (x11 || wayland) return std::nullopt;
    } else {
        for (const auto& platform : platforms) {
            if (platform == "xcb") {
                if (x11) return std::nullopt;
            } else if (platform.startsWith("wayland")) {
                if (wayland) return std::nullopt;
            } else {
                return std::nullopt;  // offscreen, vnc, eglfs…: none needs a desktop session
            }
        }
    }
    return QString("Vael needs a graphical desktop and found none: neither DISPLAY nor WAYLAND_DISPLAY is set.");
}

std::unique_ptr<QApplication> openDesktopApplication(int& argc, char** argv) {
    if (const auto missing = missingDisplay(argc, argv)) {
        std::fprintf(stderr, "vael: %s\n", qPrintable(*missing));
        return nullptr;
    }
    // A display that is set but cannot be reached still ends in Qt's fatal message: say it plainly.
    previousHandler = qInstallMessageHandler(onStartupMessage);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    return application;
}

}  // namespace vael

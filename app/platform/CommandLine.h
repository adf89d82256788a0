#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace vael {

// Vael's command line: at most one link, plus --help and --version.
class CommandLine {
public:
    // Read before Qt starts, from the raw arguments: the text --help or --version prints, else
    // nothing. Qt's own options (-platform and the like) are let through, unread.
    static std::optional<QString> information(int argc, char** argv, const QString& version);

    // Read after QApplication took its own options out: the links given, or the sentence that
    // says what is wrong with the command line.
    struct Reading {
        QStringList links;
        QString error;
    };
    static Reading read(const QStringList& arguments);
};

// Blanks every argument in the process's own argument area that equals one of `secrets`, so that
// other users no longer see it through ps or /proc/PID/cmdline. Copies taken before stay as they are.
void scrubArguments(int argc, char** argv, const QStringList& secrets);

// The sentence that says there is no desktop to open a window on, for the window system that Qt
// would choose here; nothing when one is there (or Qt was told to draw elsewhere).
std::optional<QString> missingDisplay(int argc, char** argv);

// Starts Qt's application. Without a display, or when Qt cannot reach it, says so in one sentence
// on stderr and answers nothing, instead of Qt's abort.
std::unique_ptr<QApplication> openDesktopApplication(int& argc, char** argv);

}  // namespace vael

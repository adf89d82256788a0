#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <functional>

namespace {

// The real executable, with a data folder of its own and, unless asked, no desktop at all.
class VaelProcessTest : public ::testing::Test {
protected:
    QProcessEnvironment environment(bool offscreen) const {
        auto env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"})
            env.remove(name);
        env.insert("XDG_DATA_HOME", data_.path());
        if (offscreen) env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
    struct Run {
        int exitCode;
        QProcess::ExitStatus status;
        QString out, err;
    };
    Run run(const QStringList& arguments, bool offscreen = false) {
        QProcess process;
        process.setProcessEnvironment(environment(offscreen));
        process.start(VAEL_EXECUTABLE, arguments);
        EXPECT_TRUE(process.waitForFinished(30'000));
        return {process.exitCode(), process.exitStatus(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    QString folder() const { return data_.path() + "/Vael"; }
    static bool waitFor(const std::function<bool()>& done) {
        QElapsedTimer limit;
        limit.start();
        while (!done()) {
            if (limit.elapsed() > 20'000) return false;
            QThread::msleep(20);
        }
        return true;
    }

    QTemporaryDir data_;
};

TEST_F(VaelProcessTest, HelpAndVersionNeedNoDisplayAndTouchNothing) {
    const auto version = run({"--version"});
    EXPECT_EQ(version.status, QProcess::NormalExit);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Vael " VAEL_VERSION "\n");
    EXPECT_EQ(version.err, "");

    for (const char* option : {"--help", "-h"}) {
        const auto help = run({option, "vael://invite/ignored"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_TRUE(help.out.startsWith("Usage: vael [options] [link]")) << help.out.toStdString();
        EXPECT_TRUE(help.out.contains("--version"));
    }
    EXPECT_FALSE(QFile::exists(folder())) << "--help and --version must not open the data folder";
}

TEST_F(VaelProcessTest, WithoutADisplayItSaysSoAndFails) {
    const auto started = run({});
    EXPECT_EQ(started.status, QProcess::NormalExit);  // no abort
    EXPECT_EQ(started.exitCode, 1);
    EXPECT_EQ(started.out, "");
    EXPECT_EQ(started.err, "vael: Vael needs a graphical desktop and found none: neither DISPLAY nor WAYLAND_DISPLAY is set.\n");

    // The display is looked for before the options are read, as the manual page says.
    const auto unknown = run({"--frobnicate"}, /*offscreen=*/true);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("Unknown option 'frobnicate'")) << unknown.err.toStdString();
    const auto unknownWithoutDisplay = run({"--frobnicate"});
    EXPECT_EQ(unknownWithoutDisplay.exitCode, 1);
    EXPECT_EQ(unknownWithoutDisplay.err, started.err);
}

TEST_F(VaelProcessTest, TheInviteLeavesTheArgumentListASecondStartForwardsAndSigtermEndsIt) {
    QProcess first;
    first.setProcessEnvironment(environment(/*offscreen=*/true));
    first.start(VAEL_EXECUTABLE, {"vael://invite/SECRET-INVITE-TOKEN"});
    ASSERT_TRUE(first.waitForStarted());
    const QString instanceSocket = folder() + "/instance.sock";
    ASSERT_TRUE(waitFor([&] { return QFile::exists(instanceSocket); })) << first.readAllStandardError().toStdString();

    QFile cmdline(QString("/proc/%1/cmdline").arg(first.processId()));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    const QByteArray arguments = cmdline.readAll();
    EXPECT_FALSE(arguments.contains("SECRET-INVITE-TOKEN")) << arguments.toStdString();
    EXPECT_TRUE(arguments.startsWith(VAEL_EXECUTABLE));

    // A second start hands over and leaves at once.
    const auto second = run({}, /*offscreen=*/true);
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();

    ASSERT_EQ(::kill(static_cast<pid_t>(first.processId()), SIGTERM), 0);
    ASSERT_TRUE(first.waitForFinished(20'000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(instanceSocket));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

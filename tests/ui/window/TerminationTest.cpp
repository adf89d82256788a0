#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>

#include <csignal>

#include "ui/UiFixtures.h"
#include "model/ItemFixtures.h"
#include "app/platform/TerminationSignals.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ScreenFactory.h"

namespace vael {
namespace {

// The executable wires the two together exactly like this.
TEST(Termination, SigtermAndSigintLockTheVaultAsQuitDoes) {
    for (const int signal : {SIGTERM, SIGINT}) {
        testing::OpenVault v;
        ScreenFactory screens(v.m);
        MainWindow window(v.m, screens, /*hasTray=*/false);
        window.show();
        testing::settle();
        ASSERT_TRUE(testing::fileExists(v.h.socket()));

        TerminationSignals terminationSignals;
        QObject::connect(&terminationSignals, &TerminationSignals::received,
                         window.findChild<QAction*>("quitAction"), &QAction::trigger);
        ASSERT_EQ(::raise(signal), 0);  // without the handler this would end the test run
        EXPECT_TRUE(testing::spinUntil([&] { return !v.m.hasSession(); }));
        EXPECT_FALSE(testing::fileExists(v.h.socket())) << "signal " << signal;
    }
    // Watching ends with the object: the default handling is back.
    struct sigaction current {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>

#include <QCoreApplication>

// Qt's global thread pool may still hold a few bytes when the process exits; nothing of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libQt6Core.so\n"; }

// The model lives on a Qt event loop; every test spins this application's loop.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

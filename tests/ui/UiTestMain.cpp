#include <gtest/gtest.h>

#include <QApplication>

// Qt's global thread pool may still hold a few bytes when the process exits; nothing of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libQt6Core.so\nleak:libfontconfig.so\n"; }

// Every screen test runs headless, without animations.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VAEL_REDUCE_MOTION", "1");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

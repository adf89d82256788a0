#include <gtest/gtest.h>

#include <QCoreApplication>

// The model lives on a Qt event loop; every test spins this application's loop.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

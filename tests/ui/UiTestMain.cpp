#include <gtest/gtest.h>

#include <QApplication>

#include "app/model/Blocking.h"

// Qt's global thread pool may leave a worker's bookkeeping (inside libQt6Core) unreachable at exit,
// and OpenSSL the per-thread state of a worker still parked in that pool; only allocations made
// inside those libraries (and fontconfig's cache) are excused.
extern "C" const char* __lsan_default_suppressions() { return "leak:libQt6Core.so\nleak:libfontconfig.so\nleak:libcrypto.so\n"; }

// Every screen test runs headless, without animations.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VAEL_REDUCE_MOTION", "1");
    int status = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    vael::awaitWorkerThreadsEnded();
    return status;
}

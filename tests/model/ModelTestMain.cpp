#include <gtest/gtest.h>

#include <QCoreApplication>

#include "app/model/Blocking.h"

// Qt's global thread pool may leave a worker's bookkeeping (inside libQt6Core) unreachable at exit,
// and OpenSSL the per-thread state of a worker still parked in that pool; only allocations made
// inside those libraries are excused.
extern "C" const char* __lsan_default_suppressions() { return "leak:libQt6Core.so\nleak:libcrypto.so\n"; }

// The model lives on a Qt event loop; every test spins this application's loop.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int status = 0;
    {
        QCoreApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    vael::awaitWorkerThreadsEnded();
    return status;
}

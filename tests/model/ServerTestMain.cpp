#include <gtest/gtest.h>

#include <QCoreApplication>

// Qt's global thread pool now and then leaves one worker's QThread bookkeeping (allocated inside
// libQt6Core) unreachable when a loaded machine ends the process; the leak checker would then fail
// a run that leaked nothing of ours. Only allocations made inside Qt itself are excused.
extern "C" const char* __lsan_default_suppressions() { return "leak:libQt6Core.so\n"; }

// The model lives on a Qt event loop; every test spins this application's loop.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

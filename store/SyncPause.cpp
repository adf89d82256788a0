#include "store/SyncPause.h"

#include <cerrno>
#include <ctime>

namespace vael {

void BootTimePause::pause(std::chrono::nanoseconds duration) {
    if (duration <= std::chrono::nanoseconds::zero()) return;
    timespec deadline{};
    if (::clock_gettime(CLOCK_BOOTTIME, &deadline) != 0) return;
    const auto total = deadline.tv_nsec + duration.count() % 1'000'000'000;
    deadline.tv_sec += static_cast<time_t>(duration.count() / 1'000'000'000 + total / 1'000'000'000);
    deadline.tv_nsec = static_cast<long>(total % 1'000'000'000);
    // An absolute deadline, so a signal that interrupts the wait does not stretch it.
    while (::clock_nanosleep(CLOCK_BOOTTIME, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

}  // namespace vael

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/ProcessHardening.h"
#include "core/SecureBytes.h"

namespace vael {
namespace {

// Locked memory of this process in kB, from /proc/self/status.
long lockedKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmLck:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Whether the mapping that holds `address` is left out of core dumps, from /proc/self/smaps.
bool excludedFromDumps(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t from = 0, to = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2 && line.find(' ') > line.find('-')) {
            inside = from <= at && at < to;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line.find(" dd") != std::string::npos;
        }
    }
    return false;
}

TEST(ProcessHardening, TheProcessIsNoLongerDumpableAndWritesNoCore) {
    // In a child of its own: the test runner itself stays as it was.
    EXPECT_EXIT(
        {
            const bool before = processIsDumpable();
            hardenProcess();
            rlimit core{};
            ::getrlimit(RLIMIT_CORE, &core);
            std::_Exit(before && !processIsDumpable() && core.rlim_cur == 0 && core.rlim_max == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// AddressSanitizer turns mlock into a no-op; elsewhere a small limit may forbid it.
bool memoryCanBeLocked() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#endif
#endif
    rlimit limit{};
    ::getrlimit(RLIMIT_MEMLOCK, &limit);
    return limit.rlim_cur >= 8192 || ::geteuid() == 0;
}

TEST(ProcessHardening, ALockedKeyIsLockedAndOutOfDumpsUntilWiped) {
    const bool locks = memoryCanBeLocked();
    const auto before = lockedKilobytes();
    SecureBytes key(std::string_view("0123456789abcdef0123456789abcdef"));
    key.lockInMemory();
    SecureBytes moved(std::move(key));
    EXPECT_EQ(moved.view(), "0123456789abcdef0123456789abcdef");
    EXPECT_TRUE(excludedFromDumps(moved.data()));
    if (locks) {
        EXPECT_GT(lockedKilobytes(), before);
    }
    moved.wipe();
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(lockedKilobytes(), before);
}

}  // namespace
}  // namespace vael

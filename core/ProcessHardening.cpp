#include "core/ProcessHardening.h"

#include <sodium.h>
#include <sys/prctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cerrno>
#include <cstring>
#include <string>

#include "core/Log.h"

namespace vael {

namespace {

constexpr std::string_view kCategory = "hardening";

void logRefusal(const char* what) {
    logMessage(LogLevel::Warning, kCategory, std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

void hardenProcess() {
    const rlimit noCore{0, 0};
    if (::setrlimit(RLIMIT_CORE, &noCore) != 0) logRefusal("could not turn core dumps off");
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) logRefusal("could not make the process non-dumpable");
}

bool processIsDumpable() { return ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0; }

void lockKeyMemory(void* data, std::size_t size) {
    if (data == nullptr || size == 0) return;
    // Out of core dumps: madvise wants whole pages, so the pages around the key. Never undone, as
    // another key may share them; nothing else there needs to be in a dump.
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size + page - 1) & ~(page - 1);
    ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTDUMP);
    if (sodium_mlock(data, size) == 0) return;
    static std::atomic_flag logged;
    if (!logged.test_and_set()) logRefusal("could not lock key memory; keys may be swapped out");
}

void unlockKeyMemory(void* data, std::size_t size) {
    if (data == nullptr || size == 0) return;
    sodium_munlock(data, size);  // wipes first, whether or not the lock had held
}

}  // namespace vael

#include "core/Memory.h"

#include <malloc.h>

namespace vael {

namespace {
// One for each of the (at most 8) threads that open a listing's payloads at once: with fewer they
// queued on the allocator's locks. The store, the main thread and agent connections share them.
constexpr int kArenas = 8;
// glibc's own starting values; setting them stops glibc from raising them as large blocks come and go.
constexpr int kTrimThreshold = 128 * 1024;
constexpr int kMapThreshold = 128 * 1024;
}  // namespace

void configureAllocator() {
    ::mallopt(M_ARENA_MAX, kArenas);
    ::mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
    ::mallopt(M_MMAP_THRESHOLD, kMapThreshold);
}

void releaseFreedMemory() { ::malloc_trim(0); }

}  // namespace vael

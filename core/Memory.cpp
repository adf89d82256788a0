#include "core/Memory.h"

#include <malloc.h>

namespace vael {

namespace {
// Enough for the main thread, the store and a few agent connections at once.
constexpr int kArenas = 4;
}  // namespace

void boundAllocatorArenas() { ::mallopt(M_ARENA_MAX, kArenas); }

void releaseFreedMemory() { ::malloc_trim(0); }

}  // namespace vael

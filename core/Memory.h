#pragma once

namespace vael {

// glibc gives each thread that contends for the heap an arena of its own, up to eight per core, and
// each keeps what its threads freed. Called first thing in main, before any thread starts.
void boundAllocatorArenas();

// Hands the heap's free pages back to the system, every arena's. Takes a few milliseconds on a large
// heap: call it off the main thread.
void releaseFreedMemory();

}  // namespace vael

#pragma once

namespace vael {

// glibc gives each thread that contends for the heap an arena of its own, up to eight per core, and
// each keeps what its threads freed. It also raises its trim threshold after a large block is freed,
// after which a thread arena keeps up to twice that block at its top for good, where no trim reaches
// it. Fixes both. Called first thing in main, before any thread starts.
void configureAllocator();

// Hands the heap's free pages back to the system, every arena's. Takes a few milliseconds on a large
// heap: call it off the main thread.
void releaseFreedMemory();

}  // namespace vael

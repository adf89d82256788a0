#pragma once

#include <cstddef>

namespace vael {

// Keeps other processes of the same user out of this one's memory, as ssh-agent does: no core
// dumps, and /proc/PID/mem and ptrace closed to anyone without CAP_SYS_PTRACE. Called first thing
// in main(), before any secret exists. A step the system refuses is logged, never fatal.
void hardenProcess();

// Whether the process may be dumped or read by other processes of its user.
bool processIsDumpable();

// Keeps key material out of swap and out of core dumps where the system allows. A refusal (the
// locked-memory limit reached) is logged once per process and otherwise ignored: the key still
// works, it may only be swapped out. unlockKeyMemory wipes the bytes before it releases them.
void lockKeyMemory(void* data, std::size_t size);
void unlockKeyMemory(void* data, std::size_t size);

}  // namespace vael

#pragma once

#include <optional>
#include <string>

namespace vael {

// The replica as a file beside the live SQLite connections that may hold it. Opening and closing
// any other descriptor on it would drop every POSIX lock those connections hold in this process,
// and another SQLite user could then remove the write-ahead log under them; so an existing replica
// is only ever touched by its path here.

// Makes the replica private before a session opens it: checks its folder, creates an empty 0600
// file when there is none (nothing can have it open then), and narrows an existing file to 0600
// by its path. Throws PrivateFileError with a sentence that says what to do, or std::system_error
// when the folder takes no writes (read-only, no permission).
void prepareReplicaFile(const std::string& path);

// Moves a replica that belongs to no vault configuration aside with its journal files, renamed to
// `path` + ".orphaned" (then "-2", "-3", ...), never deleted. Answers the new name, or nothing when
// there was no replica. Throws PrivateFileError when it cannot be moved.
std::optional<std::string> setReplicaAside(const std::string& path);

// A new vault's replica is built under `path` + ".creating" and moved to `path` only once it is
// whole, so a creation cut short never leaves a replica that looks like a vault's.
std::string stagedReplicaPath(const std::string& path);

// Removes what a creation cut short left: the staged replica with its journal files, and journal
// files at `path` that have no replica beside them (they would be replayed into the next one).
// Throws PrivateFileError when one cannot be removed.
void removeUnfinishedReplica(const std::string& path);

// Moves the staged replica, closed and whole, to `path` in one step and flushes the folder.
// Throws PrivateFileError.
void placeStagedReplica(const std::string& path);

}  // namespace vael

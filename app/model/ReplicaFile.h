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
// by its path. Throws PrivateFileError with a sentence that says what to do.
void prepareReplicaFile(const std::string& path);

// Moves a replica that belongs to no vault configuration aside with its journal files, renamed to
// `path` + ".orphaned" (then "-2", "-3", ...), never deleted. Answers the new name, or nothing when
// there was no replica. Throws PrivateFileError when it cannot be moved.
std::optional<std::string> setReplicaAside(const std::string& path);

}  // namespace vael

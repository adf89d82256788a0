#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vael {

// The one home for how Vael's own files reach the disk: every folder is the user's own and closed to
// others, every file is created 0600, and a file is replaced in one step or not at all.
class PrivateFileError : public std::runtime_error {
public:
    enum class Kind {
        ForeignFolder,  // owned by someone else
        OpenFolder,     // group or others have access
        NotAFolder,
        NotAFile,
        Io,
    };
    PrivateFileError(Kind kind, std::string path, const std::string& message)
        : std::runtime_error(message), kind_(kind), path_(std::move(path)) {}
    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }

private:
    Kind kind_;
    std::string path_;
};

// The folder a file path lies in ("." for a bare name).
std::string folderOf(const std::string& path);

// Creates the folder and any missing parent, each made with mode 0700; answers whether a folder is
// there afterwards. Checks nothing else and never throws.
bool createFolders(const std::string& folder);

// Creates the folder (and any missing parent) with mode 0700, then checks it: it must be a folder
// owned by `owner` with no access for group or others. Throws PrivateFileError with a sentence that
// names the folder and says what to do.
void ensurePrivateFolder(const std::string& folder, uid_t owner = ::geteuid());

// How a replacement ended once the new content is in place.
enum class SaveOutcome {
    flushed,        // saved, and the folder flushed: it survives a crash
    notYetFlushed,  // saved (readers see the new content), but the folder could not be flushed, so a
                    // crash soon after may bring back the old file
};

// Replaces the file's content in one step: a 0600 temporary file in the same folder is written,
// flushed to disk and renamed over the file, then the folder is flushed. Any failure before the
// rename throws ("not saved"): the old file is left as it was and the temporary file is removed. A
// failed flush of the folder after the rename is no failure to save: it answers notYetFlushed.
SaveOutcome writePrivateFileAtomically(const std::string& path, std::string_view contents);

// Removes the temporary files that writes of `path` left behind when their process ended before the
// rename (".<name>.XXXXXX" beside it, regular files of ours only). Call it at start, before any such
// write runs. Never throws: a folder that cannot be read or is not private is left alone.
void removeInterruptedWrites(const std::string& path);

// The file's whole content, or nothing when there is no file. Checks the folder first.
std::optional<std::string> readPrivateFile(const std::string& path);

// Creates an empty 0600 file if there is none (for files another library opens by path) and
// narrows an existing file of ours to 0600. Checks the folder first.
void preparePrivateFile(const std::string& path);

// Keeps the file's current content under `path` + "." + `tag` (with "-2", "-3", ... when that name
// is taken) without removing it from `path`. Answers the new name, or nothing when there is no file.
std::optional<std::string> keepFileAside(const std::string& path, std::string_view tag);

}  // namespace vael

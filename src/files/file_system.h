#pragma once

// The few file operations the data files need, one implementation per system
// (file_system_posix.cpp, file_system_windows.cpp). What to do with them is decided in
// datafile.cpp, the same on every system.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kelvara::files {

// What a save needs to know about the file it is going to write.
struct FileFacts {
    enum class Kind { Missing, Regular, Other };
    Kind kind = Kind::Missing;  // Other: a directory, a device, a FIFO
    bool writable = false;      // the user may write the file (regular files)
    // Names that reach the file: more than one when it has hard links, or when the name is a
    // link the system would replace instead of the file behind it (regular files).
    std::uintmax_t names = 0;
};

// Nothing when the state of path cannot be found out; a file that does not exist, also in a
// folder that does not exist, is Missing.
std::optional<FileFacts> Examine(const std::filesystem::path& path);

enum class Replaced { Yes, NoTemporary, Failed };

// Replaces a regular file, or creates a new one, so that at every moment the target holds
// either its old content or the whole new content: the text goes to a temporary file beside
// it, is synced to the disk, and the temporary file takes the target's place in one step. An
// existing target's permissions (and owner, where the system allows) are kept. NoTemporary
// when no file can be created beside the target (nothing changed); Failed when a later step
// failed (the target is as it was and the temporary file is gone).
Replaced ReplaceWhole(const std::filesystem::path& target, std::string_view text);

// Writes text into an existing file as it stands, keeping the file itself: its names, owner and
// permissions, and the folder it is in, are untouched. A regular file gets the whole text, is
// cut to its length and synced; anything else is just written, without waiting for a reader
// that is not there. A failure part way leaves the file partly written.
bool WriteInPlace(const std::filesystem::path& target, std::string_view text);

enum class ReadResult { Read, CannotOpen, TooLarge };

// Reads a whole regular file of at most limit bytes into text. Nothing is read of a file that
// says it is larger, and reading stops within a block past the limit should the file grow
// meanwhile. Anything but a regular file cannot be opened, without waiting for a writer.
ReadResult ReadSmallFile(const std::filesystem::path& path, std::size_t limit, std::string& text);

// A name for a temporary file beside a save's target, unlikely to be taken: the caller creates
// it only if it does not exist, and tries another on a clash.
std::filesystem::path TemporaryName(const std::filesystem::path& dir);

}  // namespace kelvara::files

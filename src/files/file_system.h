#pragma once

// The few file operations the data files need, one implementation per system
// (file_system_posix.cpp, file_system_windows.cpp). What to do with them is decided in
// datafile.cpp, the same on every system.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "files/datafile.h"

namespace kelvara::files {

// What a save needs to know about the file it is going to write.
struct FileFacts {
    enum class Kind {
        kUnknown,    // its state cannot be found out: why holds the reason
        kMissing,    // nothing of that name, also in a folder that does not exist
        kRegular,    // a regular file reached through the folders' own entries
        kDirectory,  // a folder
        kStream,     // anything else: a device, a FIFO, a name of an open file (/dev/stdout)
    };
    Kind kind = Kind::kUnknown;
    // The user may write the file (kRegular, kStream), or create it in its folder (kMissing);
    // why not otherwise.
    bool writable = false;
    SaveResult why;
    // Names that reach the file: more than one when it has hard links, or when the name is a
    // link the system would replace instead of the file behind it (kRegular).
    std::uintmax_t names = 0;
    // kStream: the program's own open file the name stands for (1 for /dev/stdout), or -1.
    int descriptor = -1;
};
FileFacts Examine(const std::filesystem::path& path);

// Whether path is a name the system keeps for an open file rather than a folder's entry: on
// Linux, everything in /proc, such as /proc/self/fd/1 (which /dev/stdout and /dev/fd/1 lead
// to). Its link text is no path to follow (pipe:[…], or a file that may be gone or elsewhere).
bool IsOpenFileName(const std::filesystem::path& path);

// Whether a save to path would reach a device by the name alone, whatever the folder: on
// Windows a name IsWindowsDeviceName gives ("COM3.dat" writes into the serial port); never
// elsewhere, where a device is a file of its own that Examine finds.
bool NamesADevice(const std::filesystem::path& path);

// Windows: for a console control handler about to let the system end the program (a second
// Ctrl+C): waits until no save is in the middle of its work, and keeps any further save from
// starting, so the end leaves no temporary file and no file half-written. (Elsewhere the stop
// signals are held during a save instead.)
#if defined(_WIN32)
void HoldSavesForEnd();
#endif

enum class Replaced {
    kYes,
    kInPlaceInstead,  // refused for permission, nothing changed: why says what was refused
    kFailed,          // the target is as it was and no temporary file is left: why says why
};

// Replaces a regular file, or creates a new one, so that at every moment the target holds
// either its old content or the whole new content: the text goes to a temporary file beside
// it, which gets the old file's owner, group, permissions and extended attributes, is synced to
// the disk, and takes the target's place in one step.
Replaced ReplaceWhole(const std::filesystem::path& target, std::string_view text, SaveResult& why);

// Writes text into an existing regular file as it stands, keeping the file itself: its names,
// owner, permissions and attributes, and the folder it is in, are untouched. It gets the whole
// text, is cut to its length and synced; should that fail, the old text is written back.
SaveResult WriteInPlace(const std::filesystem::path& target, std::string_view text);

// Writes text through a name that is not a regular file reached through folders' entries, as
// it stands: into descriptor when it is one (>= 0), else through the name opened anew for
// appending, without waiting for a FIFO reader. Nothing is cut.
SaveResult WriteThrough(const std::filesystem::path& target, int descriptor, std::string_view text);

enum class ReadResult { Read, CannotOpen, TooLarge };

// Reads a whole regular file of at most limit bytes into text. Nothing is read of a file that
// says it is larger, and reading stops within a block past the limit should the file grow
// meanwhile. Anything but a regular file cannot be opened, without waiting for a writer.
ReadResult ReadSmallFile(const std::filesystem::path& path, std::size_t limit, std::string& text);

// A name for a temporary file beside a save's target, unlikely to be taken: the caller creates
// it only if it does not exist, and tries another on a clash.
std::filesystem::path TemporaryName(const std::filesystem::path& dir);

// For tests: the steps of a replacement at which a failure can be injected. A hook, when set,
// is called at each; a result other than 0 is taken as the system's error code of that step
// (errno, or a Windows error), which then fails as it would have. The hook may also do what
// could happen meanwhile (a signal arriving).
enum class Step { kCreateTemporary, kTemporaryMade, kRename };
using StepHook = int (*)(Step);
void SetStepHook(StepHook hook);
int InjectedFailure(Step step);

}  // namespace kelvara::files

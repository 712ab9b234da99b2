#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"

namespace kelvara {

// The exact bytes of a data file: lines of comma-separated shortest decimals, CR LF after every
// line; line 1 GameMode,ComPort,PlateCount; 4 pattern lines of 16; then for p = 0..PlateCount a
// line of IfData(p, 0..8) and a line of AcData(p). Slots written are clamped to the array (never
// index past slot 50).
std::string FormatDataFile(const Document& doc);

enum class LoadStatus { Loaded, CannotOpen, BadPlateCount, TooLarge };

// The largest file LoadDataFile reads. A data file of 50 plates is about 1.3 KB; anything near
// this size is not one.
inline constexpr std::size_t kMaxDataFileSize = 1024 * 1024;

// Reads the values as one sequence (commas and line ends both separate; line structure not
// enforced), by groups: header (3), each pattern line (16), each condition line (9), each method
// line (1). A value that cannot be read (not a number, end of input, or not fitting 16 bits)
// leaves its variable and the rest of its group unchanged; reading resumes at the next group,
// which starts where the group would have ended had every value been good (the rest of the
// group's values are passed over, so later groups keep their places). Values are otherwise taken
// unchecked. Plates above the file's count stay untouched.
// A plate count (as read, or kept when unreadable) outside 1..50 refuses the whole file:
// BadPlateCount, doc unchanged; plateCount, when given, receives that count. The doc is only
// modified when the result is Loaded. FileName, NowPlate and MaBackup are never touched.
LoadStatus ReadDataFile(std::string_view text, Document& doc, std::int16_t* plateCount = nullptr);

// Paths are UTF-8, as the window passes them, on every system (Windows included: never the ANSI
// code page).

// Which document value the n-th value of a data file (n from 0, in the order ReadDataFile takes
// them) goes into.
struct ValuePlace {
    enum class Part { kHeader, kPattern, kCondition, kMethod };
    Part part = Part::kHeader;
    int plate = 0;  // kCondition, kMethod: the plate record (record 0 is no plate)
    int index = 0;  // kHeader: 0 mode, 1 port, 2 plate count; kPattern: the cell; kCondition: 0..8
};
ValuePlace PlaceOfValue(int n);

// A place where a data file's text differs from what ReadDataFile needs to fill every value it
// reads from the file itself. ReadDataFile passes over all of these without a word; a file the
// editor wrote has none, whatever blank lines, byte order mark or line ends (CR LF, LF, CR) were
// added to it since, and so has a file of all its values on one line.
struct DataFileFault {
    enum class Kind {
        kUnreadable,  // a value that is no 16-bit decimal integer ("x", "5O", "", "70000")
        kMissing,     // the file ends before the last value the reader takes
        kLineLength,  // a line whose values end inside a group (the header, a pattern line, a
                      // condition or a method): a value was lost or added, and every value after
                      // it goes into the variable beside the one the file meant
        kExtra,       // values after the last one the reader takes
    };
    Kind kind = Kind::kUnreadable;
    int line = 0;         // 1-based; kMissing: the last line that holds a value (0: none at all)
    int position = 0;     // kUnreadable, kExtra: 1-based place of the value within its line
    int value = 0;        // kUnreadable: its place in the sequence (PlaceOfValue); kMissing: the
                          // first value missing; kLineLength: the first value of the line
    int count = 0;        // kUnreadable: values of its group the reader then passes over unread;
                          // kMissing, kExtra: values missing, left over; kLineLength: values there
    int expected = 0;     // kLineLength: the values such a line holds in the editor's files
    std::string found{};  // kUnreadable, kExtra: the value's text (at most kFoundText bytes)
};
inline constexpr std::size_t kFoundText = 64;

// Every fault of text in file order, the values in the places ReadDataFile puts them.
// keptPlateCount is the plate count of the document read into, which the reader keeps when the
// file's own cannot be read. Nothing past the header when the plate count is outside 1..50 (the
// reader refuses such a file).
std::vector<DataFileFault> FindDataFileFaults(std::string_view text, std::int16_t keptPlateCount);

// Opens and reads a file; CannotOpen (doc unchanged) if it cannot be opened or read (missing,
// no permission, a directory or anything else that is not a regular file); TooLarge (doc
// unchanged, nothing read) for a file larger than kMaxDataFileSize, also one that grows past it
// while it is read (reading stops there). When faults is given and the file loads, it receives
// FindDataFileFaults of the file's text.
LoadStatus LoadDataFile(const std::string& path, Document& doc, std::int16_t* plateCount = nullptr,
                        std::vector<DataFileFault>* faults = nullptr);

// Whether the file's own name (not its folders') holds ".dat", exactly: the files "開く" opens.
bool HasDataFileName(std::string_view path);

// Whether the file's own name in path (after the last '/', '\\' or ':') is one Windows keeps for
// a device in every folder: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9 and LPT0-LPT9 (also
// with the superscript digits ¹ ² ³), in any letter case, also followed by an extension
// ("COM3.dat", "nul.tar.gz") or by spaces before it. Writing to such a name on Windows reaches
// the device (the serial port behind COM3), not a file. Saves are refused for it there only.
bool IsWindowsDeviceName(std::string_view path);

// Why a save failed (or would fail), as far as the user can do something about it.
enum class SaveError {
    kNone,
    kBadName,       // no name of a file: empty, ends in a separator, not UTF-8 where it must be
    kNoFolder,      // the folder does not exist
    kIsDirectory,   // the name is a folder
    kNoPermission,  // the user may not write the file or create one in its folder
    kReadOnly,      // the file system or medium is read-only
    kDiskFull,      // no space or quota left, or the size limit of files
    kNoReader,      // a FIFO or pipe nobody reads
    kClosed,        // a name of one of the program's open files (/dev/stdout) that is not open
    kBusy,          // another program holds the file
    kDeviceName,    // Windows: the name is a device's (CON, NUL, COM3 ...), whatever its extension
    kOther,         // anything else: see systemCode
};
struct SaveResult {
    SaveError error = SaveError::kNone;
    int systemCode = 0;  // the system's own error code (errno, or GetLastError on Windows)
    bool Ok() const { return error == SaveError::kNone; }
};

// The system's own words for an error code of this system (errno, or GetLastError on Windows,
// taken as UTF-16 there: never the ANSI code page), in UTF-8 and without a line break at the end.
std::string SystemErrorText(int code);

// Writes FormatDataFile(doc) to path. Symbolic links are followed, so a link stays a link.
// - A new file, and a regular file reached through the folders' own entries, is replaced
//   atomically: a temporary file beside it gets the text, the old file's owner, group,
//   permissions and extended attributes (ACLs among them, where the system has them), is
//   synced and renamed over it. A failed save leaves the old file whole and no temporary file
//   behind; the stop signals (Ctrl+C, kill, hang-up) that arrive meanwhile take effect once the
//   temporary file is gone.
// - Such a file is written in place instead (whole text, cut to its length, synced), which
//   keeps every name and everything else that belongs to it, when it has more than one hard
//   link, or when the replacement is refused for permission: no temporary file may be created
//   beside it (a folder the user may not write), the new file cannot be given the old one's
//   owner, group or attributes (another user's file), or the rename is refused (a sticky
//   folder). Space for the text is reserved first where the system can, and should the write
//   fail anyway the old text is written back; only a crash in the middle can leave it mixed.
// - Any other failure to create the temporary file (no space, no quota, too many open files,
//   a name too long) fails the save; nothing is written in place.
// - Anything else is written through its name as it stands, never replaced and never cut: a
//   device, a FIFO (without waiting for a reader), a name of an open file such as /dev/stdout,
//   /dev/fd/N or /proc/self/fd/N (the program's own descriptor is written, so a file the shell
//   opened for appending is appended to; another one is opened anew for appending).
// - An existing file the user may not write is not replaced.
// Returns whether the save succeeded; result, when given, receives why not.
bool SaveDataFile(const std::string& path, const Document& doc, SaveResult* result = nullptr);

// What a save to path would meet, found out without writing anything: kNone when the save can
// be tried, else why it fails for certain (no folder, a folder, no permission, a read-only
// system, a closed descriptor). stream, when given, tells whether the save would write through
// the name (a device, a FIFO, an open file such as /dev/stdout) rather than make a data file.
SaveResult CheckSaveTarget(const std::string& path, bool* stream = nullptr);

}  // namespace kelvara

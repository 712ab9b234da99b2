#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// Opens and reads a file; CannotOpen (doc unchanged) if it cannot be opened or read (missing,
// no permission, a directory or anything else that is not a regular file); TooLarge (doc
// unchanged, nothing read) for a file larger than kMaxDataFileSize, also one that grows past it
// while it is read (reading stops there).
LoadStatus LoadDataFile(const std::string& path, Document& doc, std::int16_t* plateCount = nullptr);

// Whether the file's own name (not its folders') holds ".dat", exactly: the files "開く" opens.
bool HasDataFileName(std::string_view path);

// Writes FormatDataFile(doc) to path. A regular or new file is replaced atomically (temporary
// file in the same directory, synced, renamed over the target; a symlink is followed so the
// link stays a link; the old file's permission bits and owner are kept where possible), so a
// failed save leaves the old file whole and no temporary file behind. A regular file with more
// than one hard link, or one beside which no temporary file can be created (a folder the user
// may not write), is written in place instead (whole text, cut to its length, synced), which
// keeps every name of it; only a failure of that write fails the save. An existing target that
// is not a regular file (a device, a FIFO) is written directly, without waiting for a reader.
// An existing file the user may not write is not replaced. Returns false on any failure.
bool SaveDataFile(const std::string& path, const Document& doc);

}  // namespace kelvara

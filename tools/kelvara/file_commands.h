#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "document/document.h"
#include "files/datafile.h"
#include "simulation/random.h"

namespace kelvara::cli {

// The editor's text when "開く" refuses a file.
inline constexpr char kUnknownFileText[] = "不明なファイルです。";

// Reads path into doc as the editor's "開く" does: the file's own name must contain ".dat"
// (exactly), and the reader must load it; values it cannot read keep doc's. On success doc
// names the file and shows plate 1, and faults, when given, receives every value of the file
// that is missing or cannot be read, and whatever else is out of place (FindDataFileFaults).
// Returns nothing when the editor opens it, else why it refuses it, for the line under
// kUnknownFileText (doc is then unchanged).
std::optional<std::string> OpenDataFile(const std::string& path, Document& doc,
                                        std::vector<DataFileFault>* faults = nullptr);

// One line for each fault, with its line, its place in the line, what was found there and the
// value it was meant for: "8 行目 1 個目（プレート 1 の条件セル 0（1 行目 1 列目））: 「x」は…".
std::vector<std::string> DescribeFaults(const std::vector<DataFileFault>& faults);

// What a command makes of a data file. check tells everything and uses nothing; send refuses a
// file "開く" refuses, one with faults (values missing or unreadable, unless lenient: then it is
// used as "開く" reads it, and the faults are told as a note) and one with values the machine
// cannot take; run refuses the first two only.
enum class FileUse { kCheck, kSend, kRun };
struct FileVerdict {
    bool usable = false;  // check: the file is sound
    Document doc;         // what "開く" reads (when it reads it)
    // What the command prints about the file: check on standard output; send and run on
    // standard error, "kelvara: " in front of each headline, and nothing when all is well.
    std::string text;
};
FileVerdict JudgeDataFile(const std::string& path, FileUse use, bool lenient);

// Why a save reported error, in Japanese, with the system's own text where it gives one.
std::string SaveErrorText(const SaveResult& result);

// Why read must not save to path at all, before any machine is read: a name without ".dat" for
// a data file (send and check would refuse it; devices, FIFOs and names of open files such as
// /dev/stdout take any name), or a save that fails for certain (SaveErrorText). Nothing when
// the save can be tried.
std::optional<std::string> OutputRefusal(const std::string& path);

// The transfer send makes of a document: life game mode for game mode 1, a write otherwise (a
// freshly started editor has the normal mode selected, and a file's other value leaves it so).
std::int16_t SendMode(const Document& doc);

// What check prints for a file, and whether the file is sound.
struct CheckReport {
    bool sound = false;
    std::string text;  // lines ending in LF; the first names the file
};
CheckReport CheckDataFile(const std::string& path);

// One line for every value of doc that cannot go out in mode (UnsendableValues), with its plate
// and value: "プレート 7 の条件セル 5（2 行目 3 列目）: 値 7（0〜2 のみ）".
std::vector<std::string> DescribeUnsendable(const Document& doc, std::int16_t mode);

// The pattern in the plain-text cell format: eight lines of eight characters, '.' OFF, 'O' ON,
// '?' for any other value, LF after every line.
std::string FormatCells(const Pattern& pattern);

// Applies "試しに動かす" steps times to doc (every plate once in normal mode, one life game
// generation in life game mode, nothing for another game mode) and returns the pattern text:
// the final one, or with every the starting one and each step's, separated by a blank line.
std::string RunSteps(Document& doc, long steps, bool every, RandomSource& random);

// The same text handed to emit as it is made, one pattern (with the blank line before it) at a
// time; stops, returning false, at the first emit that returns false.
bool RunSteps(Document& doc, long steps, bool every, RandomSource& random,
              const std::function<bool(const std::string&)>& emit);

}  // namespace kelvara::cli

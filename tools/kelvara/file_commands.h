#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "document/document.h"
#include "simulation/random.h"

namespace kelvara::cli {

// The editor's text when "開く" refuses a file.
inline constexpr char kUnknownFileText[] = "不明なファイルです。";

// Reads path into doc as the editor's "開く" does: the file's own name must contain ".dat"
// (exactly), and the reader must load it; values it cannot read keep doc's. On success doc
// names the file and shows plate 1. Returns nothing when the editor opens it, else why it
// refuses it, for the line under kUnknownFileText (doc is then unchanged).
std::optional<std::string> OpenDataFile(const std::string& path, Document& doc);

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

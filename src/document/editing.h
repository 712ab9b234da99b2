#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "document/document.h"

namespace kelvara {

// Editing commands of the plates and the pattern. Each one changes the document only; the
// window redraws afterwards and shows any message. Indices outside their arrays (possible only
// with a document read from a file or the device) make a command do nothing rather than reach
// outside the document.

// ---- Plates ----

// Cycles condition cell c (0..8) of plate NowPlate: OFF -> ON -> any -> OFF; any other value
// becomes OFF.
void CycleCondition(Document& doc, int c);

// Sets the change method of plate NowPlate to m when m is 0..3; other values are ignored.
void SetMethod(Document& doc, std::int16_t m);

// "→": the next plate, adding one at the end when NowPlate is the last plate. The added plate
// keeps what its slot holds. At plate 50 (or above) NowPlate becomes 50 and nothing else changes.
void NextPlate(Document& doc);

// "←": the previous plate; at plate 1 (or below) NowPlate becomes 1.
void PreviousPlate(Document& doc);

// Deletes plate NowPlate: the plates after it move down one slot and the vacated slot
// PlateCount gets the defaults (nine any, method ON). NowPlate stays, showing the plate that
// followed, unless the last plate was deleted. Returns false, changing nothing, when there is
// no plate to spare (PlateCount <= 1).
bool DeletePlate(Document& doc);

// ---- Pattern ----

// Toggles pattern cell i (0..63) between 0 and 1; any other value stays.
void TogglePattern(Document& doc, int i);

// Sets every pattern cell to v when v is 0 or 1; other values are ignored.
void FillPattern(Document& doc, std::int16_t v);

// Turns every 0 into 1 and every 1 into 0; other values stay.
void InvertPattern(Document& doc);

// ---- The plate number box ----

// Reads the text of the plate number box and returns its integer part rounded down ("2.7" -> 2,
// "-0.5" -> -1, "-3" -> -3), saturated to the range of int32_t, which keeps every comparison
// with a 16-bit value exact however many digits the text has. nullopt when the text is not a
// number.
//
// Accepted: optional blanks (spaces, tabs) around, an optional sign '+' or '-', decimal digits,
// and an optional decimal point with digits after it; at least one digit in all, so "5.", ".5"
// and "-.5" are numbers while "", " ", "-", ".", "1e3", "0x10", "1 2" and "- 1" are not. What a
// Japanese input method types counts as its ASCII counterpart (HalfWidthNumberText): "１２" is
// 12.
std::optional<std::int32_t> ReadPlateNumberFloor(std::string_view text);

// The UTF-8 text with the full-width digits ０..９, the full-width plus, minus and full stop
// (＋ － ．) and the ideographic space turned into their ASCII counterparts; everything else as
// it is.
std::string HalfWidthNumberText(std::string_view text);

enum class PlateNumberAction {
    Nothing,  // empty text: nothing to do
    NotMade,  // not a number, or above PlateCount: the document is unchanged and the window
              // reports that the plate has not been made
    Go,       // NowPlate was set; the window redraws everything (SetAll)
};

// Handles one change of the text of the plate number box. For Go, NowPlate takes the integer
// part when it fits 16 bits (otherwise it keeps its value) and is then brought into 1..50.
PlateNumberAction PlateNumberChanged(Document& doc, std::string_view text);

}  // namespace kelvara

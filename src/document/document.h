#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kelvara {

constexpr int kCells = 64;          // pattern cells, index = row * 8 + column
constexpr int kConditionCells = 9;  // 3 x 3 neighbourhood, index = row * 3 + column
constexpr int kMaxPlates = 50;      // plates 1..50; slot 0 exists but is not a plate
constexpr int kPlateSlots = kMaxPlates + 1;

// Cell values.
constexpr std::int16_t kOff = 0;
constexpr std::int16_t kOn = 1;
constexpr std::int16_t kAny = 2;  // condition cells only

// Change methods, equal to the index of their option button.
constexpr std::int16_t kMethodOff = 0;
constexpr std::int16_t kMethodOn = 1;
constexpr std::int16_t kMethodInvert = 2;
constexpr std::int16_t kMethodRandom = 3;

using Pattern = std::array<std::int16_t, kCells>;
using Condition = std::array<std::int16_t, kConditionCells>;

// The one document the editor holds. Every value is a 16-bit signed integer, as the
// device and the data files know them; values outside the usual ranges can only come
// from a hand-edited file or from the device and are kept as they are.
struct Document {
    Pattern MaData{};    // the pattern: 0 = OFF, 1 = ON
    Pattern MaBackup{};  // the pattern before the last trial run or read (undo copy)
    std::array<Condition, kPlateSlots> IfData{};     // per plate: 0 OFF, 1 ON, 2 any
    std::array<std::int16_t, kPlateSlots> AcData{};  // per plate: change method 0..3
    std::int16_t NowPlate = 1;                       // plate shown and edited, 1..PlateCount
    std::int16_t PlateCount = 1;                     // plates in use, 1..50
    std::int16_t GameMode = 0;                       // 0 normal, 1 life game
    std::int16_t ComPort = 1;                        // serial port number, 1..9
    std::string FileName;                            // path of the data file last opened or saved
};

// Sets all nine condition cells of plate NowPlate to value (0, 1 or 2). Any other value
// does nothing; returns whether the cells were set (and so need redrawing).
bool AllData(Document& doc, std::int16_t value);

// Start-up defaults: port 1, normal mode, every plate 1..50 all any with method ON, an empty
// pattern, plate 1 of 1. Slot 0, MaBackup and FileName are left as constructed (all 0, empty).
void InitDocument(Document& doc);

// New: one plate, normal mode, plates 1..50 back to their defaults, empty pattern, plate 1.
// Keeps ComPort, FileName, MaBackup and plate slot 0.
void NewDocument(Document& doc);

// True when every index the editor derives from the document stays inside its array:
// 1 <= PlateCount <= 50 and 1 <= NowPlate <= PlateCount.
bool PlateIndicesValid(const Document& doc);

}  // namespace kelvara

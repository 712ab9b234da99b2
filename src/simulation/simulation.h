#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "document/document.h"
#include "simulation/random.h"

namespace kelvara {

// Work areas of one step; they carry no meaning between steps and are never saved.
struct SimulationWork {
    static constexpr std::int16_t kMatched = -1;    // 16-bit boolean true
    static constexpr std::int16_t kNotMatched = 0;  // 16-bit boolean false
    static constexpr std::int16_t kUnchanged = -1;  // NextData: the cell keeps its value

    std::array<std::int16_t, kConditionCells> NearData{};  // neighbourhood of the cell under test
    std::array<std::int16_t, kCells> NextData{};  // per cell: -1 unchanged, 0 becomes OFF, 1 ON
    std::int16_t MatchFlag = kNotMatched;         // result of the latest Check
};

// One step of the plates on doc.MaData. The pattern before the step goes to MaBackup; plates
// 1..PlateCount (at most 50, none when PlateCount < 1) are laid in turn, as NowPlate, over every
// cell 0..63 with its wrap-around 3 x 3 neighbourhood. OFF, ON and invert changes land together
// at the end; a random change lands in the pattern at once. NowPlate is 1 afterwards. Every
// match appends a blank and the cell index in decimal to LabelMes (" 9"); the caller redraws
// the pattern.
void SerchData(Document& doc, SimulationWork& work, RandomSource& random, std::string& LabelMes);

// Tests work.NearData against the condition of plate NowPlate by exact equality (2 accepts
// anything) and sets MatchFlag; on a match reports the cell to LabelMes and calls change.
// A NowPlate outside 0..50 matches nothing.
void Check(Document& doc, SimulationWork& work, RandomSource& random, std::string& LabelMes,
           std::int16_t cell);

// Passes the cell, as row and column put back together, on to Changedata.
void change(Document& doc, SimulationWork& work, RandomSource& random, std::int16_t cell);

// Applies the method of plate NowPlate to the cell: 0 and 1 record NextData, invert records the
// opposite of the cell's present value (other values stay), random reseeds, draws and writes
// MaData at once. Any other method, a cell outside 0..63 or a NowPlate outside 0..50 does
// nothing.
void Changedata(Document& doc, SimulationWork& work, RandomSource& random, std::int16_t cell);

// One life game generation on doc.MaData (birth on 3, survival on 2 or 3 ON neighbours, wrap-
// around). A value other than 0 and 1 never counts as an ON neighbour. No undo copy is taken.
void LifeGame(Document& doc, SimulationWork& work);

// Random fill: kind 0 the 64 pattern cells (0 or 1), kind 1 the nine condition cells of plate
// NowPlate (0, 1 or 2), one reseed per call and one fresh draw per cell. Returns what the caller
// must redraw with RefreshData (0 or 1), or -1 when nothing changed: a kind other than 0 and 1,
// or kind 1 with a NowPlate outside 0..50.
int RandomData(Document& doc, RandomSource& random, std::int16_t kind);

}  // namespace kelvara

#include "simulation/simulation.h"

#include <algorithm>
#include <charconv>

namespace kelvara {

namespace {

constexpr int kSide = 8;

// Offsets of the neighbourhood positions 0..8 (row * 3 + column of the 3 x 3 square).
constexpr std::array<int, kConditionCells> kRowsDown{-1, -1, -1, 0, 0, 0, 1, 1, 1};
constexpr std::array<int, kConditionCells> kColumnsRight{-1, 0, 1, -1, 0, 1, -1, 0, 1};
constexpr int kSelf = 4;

// For every cell, the pattern index of each neighbourhood position on the torus.
using NeighbourTable = std::array<std::array<std::int8_t, kConditionCells>, kCells>;
constexpr NeighbourTable kNeighbours = [] {
    NeighbourTable table{};
    for (int row = 0; row < kSide; ++row) {
        for (int column = 0; column < kSide; ++column) {
            for (int c = 0; c < kConditionCells; ++c) {
                const int r = (row + kRowsDown[c] + kSide) % kSide;
                const int q = (column + kColumnsRight[c] + kSide) % kSide;
                table[row * kSide + column][c] = static_cast<std::int8_t>(r * kSide + q);
            }
        }
    }
    return table;
}();

bool IsSlot(int plate) { return plate >= 0 && plate <= kMaxPlates; }
bool IsCell(int cell) { return cell >= 0 && cell < kCells; }

// The changes recorded in NextData land in the pattern, all cells at once.
void ApplyNextData(Document& doc, const SimulationWork& work) {
    for (int k = 0; k < kCells; ++k) {
        if (work.NextData[k] == kOff) {
            doc.MaData[k] = kOff;
        } else if (work.NextData[k] == kOn) {
            doc.MaData[k] = kOn;
        }
    }
}

}  // namespace

void SerchData(Document& doc, SimulationWork& work, RandomSource& random, std::string& LabelMes) {
    for (int k = 0; k < kCells; ++k) {
        work.NextData[k] = SimulationWork::kUnchanged;
        doc.MaBackup[k] = doc.MaData[k];
    }
    // The count is taken once; only the 50 plates that exist can be laid.
    const int plates = std::min<int>(doc.PlateCount, kMaxPlates);
    for (int p = 1; p <= plates; ++p) {
        doc.NowPlate = static_cast<std::int16_t>(p);
        for (int k = 0; k < kCells; ++k) {
            // Read afresh for every cell: a random change earlier in the scan is seen here.
            for (int c = 0; c < kConditionCells; ++c) {
                work.NearData[c] = doc.MaData[kNeighbours[k][c]];
            }
            Check(doc, work, random, LabelMes, static_cast<std::int16_t>(k));
        }
    }
    doc.NowPlate = 1;
    ApplyNextData(doc, work);
}

void Check(Document& doc, SimulationWork& work, RandomSource& random, std::string& LabelMes,
           std::int16_t cell) {
    work.MatchFlag = SimulationWork::kMatched;
    if (!IsSlot(doc.NowPlate)) {
        work.MatchFlag = SimulationWork::kNotMatched;
        return;
    }
    const Condition& condition = doc.IfData[doc.NowPlate];
    for (int c = 0; c < kConditionCells; ++c) {
        if (condition[c] != kAny && work.NearData[c] != condition[c]) {
            work.MatchFlag = SimulationWork::kNotMatched;
        }
    }
    if (work.MatchFlag != SimulationWork::kMatched) return;

    char digits[8];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), cell).ptr;
    LabelMes += ' ';
    LabelMes.append(digits, end);
    change(doc, work, random, cell);
}

void change(Document& doc, SimulationWork& work, RandomSource& random, std::int16_t cell) {
    if (!IsCell(cell)) return;
    const int row = cell / kSide;
    const int column = cell % kSide;
    Changedata(doc, work, random, static_cast<std::int16_t>(row * kSide + column));
}

void Changedata(Document& doc, SimulationWork& work, RandomSource& random, std::int16_t cell) {
    if (!IsCell(cell) || !IsSlot(doc.NowPlate)) return;
    switch (doc.AcData[doc.NowPlate]) {
        case kMethodOff:
            work.NextData[cell] = kOff;
            break;
        case kMethodOn:
            work.NextData[cell] = kOn;
            break;
        case kMethodInvert:
            // Decided from the value the cell holds now, which an earlier random change may
            // already have altered.
            if (doc.MaData[cell] == kOff) {
                work.NextData[cell] = kOn;
            } else if (doc.MaData[cell] == kOn) {
                work.NextData[cell] = kOff;
            }
            break;
        case kMethodRandom:
            // Lands in the pattern at once, so later cells and plates of the step see it.
            random.Reseed();
            doc.MaData[cell] = RandomInt(random, 2);
            break;
        default:
            break;
    }
}

void LifeGame(Document& doc, SimulationWork& work) {
    work.NextData.fill(SimulationWork::kUnchanged);
    for (int k = 0; k < kCells; ++k) {
        int on = 0;
        for (int c = 0; c < kConditionCells; ++c) {
            if (c == kSelf) continue;
            work.NearData[c] = doc.MaData[kNeighbours[k][c]];
            if (work.NearData[c] == kOn) ++on;
        }
        if (on == 3) {
            work.NextData[k] = kOn;
        } else if (on == 2) {
            // Survival keeps 0 and 1; any other value is left as it is.
            if (doc.MaData[k] == kOff) {
                work.NextData[k] = kOff;
            } else if (doc.MaData[k] == kOn) {
                work.NextData[k] = kOn;
            }
        } else {
            work.NextData[k] = kOff;
        }
    }
    ApplyNextData(doc, work);
}

int RandomData(Document& doc, RandomSource& random, std::int16_t kind) {
    if (kind == 0) {
        random.Reseed();
        for (auto& cell : doc.MaData) cell = RandomInt(random, 2);
        return 0;
    }
    if (kind == 1 && IsSlot(doc.NowPlate)) {
        random.Reseed();
        for (auto& cell : doc.IfData[doc.NowPlate]) cell = RandomInt(random, 3);
        return 1;
    }
    return -1;
}

}  // namespace kelvara

#include "simulation/simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvara {
namespace {

// Plays a fixed list of draws round and round and logs each call: 'R' reseed, 'N' draw.
struct ScriptedRandom final : RandomSource {
    explicit ScriptedRandom(std::vector<double> d) : draws(std::move(d)) {}
    void Reseed() override { log += 'R'; }
    double Next() override {
        log += 'N';
        return draws[next++ % draws.size()];
    }
    std::vector<double> draws;
    std::size_t next = 0;
    std::string log;
};

// A pattern row by row from the top: '.' is 0, a digit that value; blanks are skipped and the
// cells not given are 0.
Pattern Rows(std::string_view text) {
    Pattern p{};
    int k = 0;
    for (char ch : text) {
        if (ch != ' ') p.at(k++) = ch == '.' ? 0 : ch - '0';
    }
    return p;
}

Condition AnyBut(int position, std::int16_t value) {
    Condition c{2, 2, 2, 2, 2, 2, 2, 2, 2};
    if (position >= 0) c.at(position) = value;
    return c;
}
const Condition kAllAny = AnyBut(-1, 0);

// The report of the cells from, from + step, ... below 64: " 0 2 4 ...".
std::string Cells(int from, int step = 1) {
    std::string s;
    for (int k = from; k < kCells; k += step) s += " " + std::to_string(k);
    return s;
}

const Pattern kChecker =
    Rows("1.1.1.1. .1.1.1.1 1.1.1.1. .1.1.1.1 1.1.1.1. .1.1.1.1 1.1.1.1. .1.1.1.1");
const Pattern kFull = Rows(std::string(kCells, '1'));

struct Step {
    Document doc;
    SimulationWork work;
    ScriptedRandom random{{0.0}};
    std::string label;

    Step() { InitDocument(doc); }
    void Plate(int p, Condition condition, std::int16_t method) {
        doc.IfData.at(p) = condition;
        doc.AcData.at(p) = method;
        doc.PlateCount = std::max<std::int16_t>(doc.PlateCount, static_cast<std::int16_t>(p));
    }
    Step& Run() {
        SerchData(doc, work, random, label);
        return *this;
    }
};

TEST(SerchDataTest, AllAnyPlateChangesEveryCellAtOnce) {
    Step invert;
    invert.doc.MaData = kChecker;
    invert.Plate(1, kAllAny, kMethodInvert);
    Pattern complement = kChecker;
    for (auto& v : complement) v = 1 - v;
    EXPECT_EQ(invert.Run().doc.MaData, complement);
    EXPECT_EQ(invert.doc.MaBackup, kChecker);
    EXPECT_EQ(invert.label, Cells(0));

    Step fill;  // the default plate: all any, method ON
    EXPECT_EQ(fill.Run().doc.MaData, kFull);
}

TEST(SerchDataTest, NeighbourhoodWrapsAroundBothAxes) {
    // Only cell 0 is ON; for each position exactly the cell that has cell 0 there matches.
    const int expected[kConditionCells] = {9, 8, 15, 1, 0, 7, 57, 56, 63};
    for (int c = 0; c < kConditionCells; ++c) {
        Step step;
        step.doc.MaData[0] = kOn;
        step.Plate(1, AnyBut(c, kOn), kMethodOn);
        EXPECT_EQ(step.Run().label, " " + std::to_string(expected[c])) << "position " << c;
    }
}

TEST(SerchDataTest, LaterPlatesDecideAndRecordedChangesBeatRandom) {
    Step on_off;
    on_off.doc.MaData[27] = kOn;
    on_off.Plate(1, AnyBut(4, kOn), kMethodOn);
    on_off.Plate(2, AnyBut(4, kOn), kMethodOff);
    EXPECT_EQ(on_off.Run().label, " 27 27");
    EXPECT_EQ(on_off.doc.MaData, Pattern{});

    // Random draws 0 for every cell; ON is recorded and lands last, whichever plate it is.
    for (const int random_plate : {1, 2}) {
        Step step;
        step.Plate(random_plate, kAllAny, kMethodRandom);
        step.Plate(3 - random_plate, kAllAny, kMethodOn);
        EXPECT_EQ(step.Run().doc.MaData, kFull) << random_plate;
        std::string once_per_change;
        for (int k = 0; k < kCells; ++k) once_per_change += "RN";
        EXPECT_EQ(step.random.log, once_per_change);
    }
}

TEST(SerchDataTest, RandomChangeIsSeenByLaterCellsAndPlates) {
    Step step;
    Condition left_and_self_off = AnyBut(3, kOff);
    left_and_self_off[4] = kOff;
    step.Plate(1, left_and_self_off, kMethodRandom);
    step.Plate(2, kAllAny, kMethodInvert);
    step.random = ScriptedRandom({0.75});
    // Cell 0 turns ON at once, so cell 1 has an ON left neighbour and does not match: only the
    // even columns do. The invert plate then decides from those new values.
    EXPECT_EQ(step.Run().label, Cells(0, 2) + Cells(0));
    Pattern odd_columns{};
    for (int k = 1; k < kCells; k += 2) odd_columns[k] = kOn;
    EXPECT_EQ(step.doc.MaData, odd_columns);
    EXPECT_EQ(step.random.log.size(), 2u * 32);  // a reseed and a draw per even-column cell
}

TEST(SerchDataTest, StepWithoutMatchChangesNothingButTakesTheBackup) {
    Step step;
    step.doc.MaData = kChecker;
    step.doc.MaBackup.fill(5);
    step.Plate(1, Condition{5, 5, 5, 5, 5, 5, 5, 5, 5}, kMethodOn);
    step.Plate(2, AnyBut(1, kOn), kMethodInvert);
    step.doc.IfData[2][4] = kOn;  // an ON cell never has an ON cell above it
    step.doc.NowPlate = 2;
    step.work.NextData.fill(kOn);  // left over from an earlier step
    EXPECT_EQ(step.Run().label, "");
    EXPECT_EQ(step.doc.MaData, kChecker);
    EXPECT_EQ(step.doc.MaBackup, kChecker);
    EXPECT_EQ(step.doc.NowPlate, 1);
}

TEST(SerchDataTest, OutOfRangeValuesMatchOnlyByEquality) {
    Step step;
    step.doc.MaData[9] = 7;
    step.Plate(1, AnyBut(4, 7), kMethodOn);     // only cell 9
    step.Plate(2, AnyBut(4, kOn), kMethodOn);   // nothing: 7 is not ON
    step.Plate(3, AnyBut(4, kOff), kMethodOn);  // every cell but 9
    step.Plate(4, AnyBut(4, 7), 9);             // an unknown method is reported and does nothing
    std::string expected = " 9" + Cells(0);
    expected.erase(expected.find(" 9", 2), 2);
    EXPECT_EQ(step.Run().label, expected + " 9");
    EXPECT_EQ(step.doc.MaData, kFull);

    Step invert;
    invert.doc.MaData[9] = 7;
    invert.Plate(1, kAllAny, kMethodInvert);
    EXPECT_EQ(invert.Run().doc.MaData[9], 7);

    for (const std::int16_t count : {0, -32768, 32767}) {
        Step hostile;
        hostile.doc.PlateCount = count;
        hostile.doc.NowPlate = 4;
        // No plate when the count is below 1; never more than the 50 that exist.
        EXPECT_EQ(hostile.Run().label.size(), count < 1 ? 0u : 50 * Cells(0).size()) << count;
        EXPECT_EQ(hostile.doc.NowPlate, 1);
    }
}

TEST(RandomDataTest, EachKindFillsOnlyItsTargetOnOneReseed) {
    const double almost_one = std::nextafter(1.0, 0.0);
    Step s;
    s.doc.NowPlate = 2;
    s.random = ScriptedRandom({0.0, 0.5, almost_one, 0.4999});
    EXPECT_EQ(RandomData(s.doc, s.random, 0), 0);
    const Pattern drawn = s.doc.MaData;
    EXPECT_EQ(drawn, Rows(".11..11..11..11..11..11..11..11..11..11..11..11..11..11..11..11."));
    EXPECT_EQ(s.random.log, "R" + std::string(kCells, 'N'));

    s.random = ScriptedRandom({0.0, 0.3333, 0.3334, 0.6666, 0.6667, almost_one});
    EXPECT_EQ(RandomData(s.doc, s.random, 1), 1);
    EXPECT_EQ(s.doc.IfData[2], (Condition{0, 0, 1, 1, 2, 2, 0, 0, 1}));
    EXPECT_EQ(s.random.log, "RNNNNNNNNN");

    s.random = ScriptedRandom({0.5});
    EXPECT_EQ(RandomData(s.doc, s.random, 2), -1);
    s.doc.NowPlate = 51;
    EXPECT_EQ(RandomData(s.doc, s.random, 1), -1);
    EXPECT_EQ(s.random.log, "");
    for (int p = 0; p <= kMaxPlates; ++p) EXPECT_EQ(s.doc.IfData[p] == kAllAny, p != 0 && p != 2);
    EXPECT_EQ(s.doc.MaData, drawn);
}

Pattern Life(Pattern p, int generations = 1) {
    Document doc;
    doc.MaData = p;
    SimulationWork work;
    for (int g = 0; g < generations; ++g) LifeGame(doc, work);
    return doc.MaData;
}

TEST(LifeGameTest, ClassicShapesOnTheTorus) {
    EXPECT_EQ(Life(kFull), Pattern{});
    // A block on the four corners, joined across both edges, stays.
    const Pattern corners = Rows("1......1" + std::string(48, '.') + "1......1");
    EXPECT_EQ(Life(corners), corners);
    // A blinker across the side edge turns into a column across the top and bottom edge.
    const Pattern across = Rows("11.....1");
    EXPECT_EQ(Life(across), Rows("1....... 1......." + std::string(40, '.') + "1"));
    EXPECT_EQ(Life(across, 2), across);
    // A glider moves one cell down and right every 4 generations and is home after 32.
    const Pattern glider = Rows(".1...... ..1..... 111.....");
    EXPECT_EQ(Life(glider, 4), Rows("........ ..1..... ...1.... .111...."));
    EXPECT_EQ(Life(glider, 32), glider);
}

TEST(LifeGameTest, OtherValuesAreNeverOnNeighbours) {
    // Cell 9 has two ON neighbours and a 7: it stays OFF, and the 7 (two ON neighbours) stays.
    const Pattern mixed = Rows("17...... 1.......");
    EXPECT_EQ(Life(mixed)[9], kOff);
    EXPECT_EQ(Life(mixed)[1], 7);
    // A 7 with three ON neighbours is born ON; with one it becomes OFF.
    EXPECT_EQ(Life(Rows("111..... .7"))[9], kOn);
    EXPECT_EQ(Life(Rows("1....... .7"))[9], kOff);
}

}  // namespace
}  // namespace kelvara

// The example files that ship with the editor do what the help page says they do: each one is
// opened as "開く" opens it and stepped as "試しに動かす" steps it.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "device/transfer.h"
#include "document/document.h"
#include "files/datafile.h"
#include "files/utf8_path.h"
#include "simulation/random.h"
#include "simulation/simulation.h"

namespace kelvara {
namespace {

const std::string kFolder = KELVARA_EXAMPLES_DIR;

// A pattern row by row from the top, 'O' ON and '.' OFF; blanks are skipped.
Pattern Cells(std::string_view text) {
    Pattern p{};
    std::size_t k = 0;
    for (char ch : text) {
        if (ch != ' ') p.at(k++) = ch == 'O' ? kOn : kOff;
    }
    return p;
}

std::int16_t& At(Pattern& p, int row, int column) {
    return p.at(static_cast<std::size_t>((row + 8) % 8 * 8 + (column + 8) % 8));
}

// The pattern moved down and right, around the edges.
Pattern Moved(Pattern p, int rows, int columns) {
    Pattern moved{};
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) At(moved, r + rows, c + columns) = At(p, r, c);
    }
    return moved;
}

// One example opened with the editor's reader, stepped with the trial run's simulation.
struct Trial {
    Document doc;
    SimulationWork work;
    SeededRandom random;

    explicit Trial(const std::string& path, std::uint64_t seed = 1) : random(seed) {
        InitDocument(doc);
        EXPECT_EQ(LoadDataFile(path, doc), LoadStatus::Loaded);
    }
    // One press of "試しに動かす": every plate once in normal mode, one generation in life game
    // mode. Returns the match report, empty when no plate matched.
    std::string Step() {
        std::string matches;
        if (doc.GameMode == 0) SerchData(doc, work, random, matches);
        if (doc.GameMode == 1) LifeGame(doc, work);
        return matches;
    }
    void Steps(int n) {
        for (int i = 0; i < n; ++i) Step();
    }
};

// A rule that has done its work: another step matches nothing and changes nothing.
void ExpectSettled(Trial& t) {
    const Pattern before = t.doc.MaData;
    EXPECT_EQ(t.Step(), "");
    EXPECT_EQ(t.doc.MaData, before);
}

void Glider(const std::string& path) {
    Trial t(path);
    const Pattern start = t.doc.MaData;
    t.Steps(4);
    EXPECT_EQ(t.doc.MaData, Moved(start, 1, 1));
    t.Steps(28);
    EXPECT_EQ(t.doc.MaData, start);
}

void BlinkerAndBlock(const std::string& path) {
    Trial t(path);
    const Pattern start = t.doc.MaData;
    t.Step();
    EXPECT_EQ(t.doc.MaData,
              Cells("........ ..O..... ..O..... ..O..... ........ .....OO. .....OO. ........"));
    t.Step();
    EXPECT_EQ(t.doc.MaData, start);
}

void ShiftRight(const std::string& path) {
    Trial t(path);
    const Pattern start = t.doc.MaData;
    for (int step = 1; step <= 8; ++step) {
        const Pattern before = t.doc.MaData;
        t.Step();
        EXPECT_EQ(t.doc.MaData, Moved(before, 0, 1)) << "step " << step;
    }
    EXPECT_EQ(t.doc.MaData, start);
}

void GrowCross(const std::string& path) {
    Trial t(path);
    Pattern cross = t.doc.MaData;
    ASSERT_EQ(cross, Cells("........ ........ ........ ...O...."
                           "........ ........ ........ ........"));
    for (int arm = 1; arm <= 4; ++arm) {
        for (const int sign : {-1, 1}) {
            At(cross, 3, 3 + sign * arm) = kOn;
            At(cross, 3 + sign * arm, 3) = kOn;
        }
        t.Step();
        EXPECT_EQ(t.doc.MaData, cross) << "step " << arm;
    }
    ExpectSettled(t);
}

void InvertBlink(const std::string& path) {
    Trial t(path);
    const Pattern start = t.doc.MaData;
    Pattern complement = start;
    for (auto& cell : complement) cell = 1 - cell;
    t.Step();
    EXPECT_EQ(t.doc.MaData, complement);
    t.Step();
    EXPECT_EQ(t.doc.MaData, start);
}

// The cloud stays, every drop falls one row, and the random plate only ever lights a cell of
// the row under the cloud that was dark and has no drop beside it.
void Rain(const std::string& path) {
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        Trial t(path, seed);
        int newDrops = 0;
        for (int step = 1; step <= 20 && !::testing::Test::HasFailure(); ++step) {
            Pattern before = t.doc.MaData;
            t.Step();
            Pattern& after = t.doc.MaData;
            Pattern fallen = Moved(before, 1, 0);
            for (int c = 0; c < 8; ++c) {
                At(fallen, 0, c) = kOn;
                At(fallen, 1, c) = At(after, 1, c);
                if (At(after, 1, c) == kOn) {
                    ++newDrops;
                    EXPECT_TRUE(At(before, 1, c) == kOff && At(after, 1, c - 1) == kOff &&
                                At(after, 1, c + 1) == kOff)
                        << "seed " << seed << ", step " << step << ", column " << c;
                }
            }
            EXPECT_EQ(after, fallen) << "seed " << seed << ", step " << step;
        }
        EXPECT_GT(newDrops, 0) << "seed " << seed;
    }
}

void Outline(const std::string& path) {
    Trial t(path);
    t.Step();
    EXPECT_EQ(t.doc.MaData,
              Cells("........ .OOOOOO. .O....O. .O....O. .O....O. .O....O. .OOOOOO. ........"));
    ExpectSettled(t);
}

// Row r holds the binomial coefficients C(r, c) modulo 2 once step r has run.
void Sierpinski(const std::string& path) {
    Trial t(path);
    Pattern triangle{};
    At(triangle, 0, 0) = kOn;
    ASSERT_EQ(t.doc.MaData, triangle);
    for (int row = 1; row < 8; ++row) {
        for (int c = 0; c <= row; ++c) At(triangle, row, c) = (row & c) == c ? kOn : kOff;
        t.Step();
        EXPECT_EQ(t.doc.MaData, triangle) << "step " << row;
    }
    ExpectSettled(t);
}

void MazeDeadEnds(const std::string& path) {
    Trial t(path);
    t.Steps(4);
    EXPECT_EQ(t.doc.MaData,
              Cells("OOO.OOOO O...OOOO O.OOOOOO O...OOOO OOO.OOOO OOO.OOOO OOO.OOOO OOO.OOOO"));
    ExpectSettled(t);
}

// Each of the 50 plates names all nine cells and matches one cell of its own, one that is wrong
// for "OK" until it has changed it; so a plate whose condition went wrong on the way to the
// machine leaves its cell wrong.
void FiftyPlatesOk(const std::string& path) {
    Trial t(path);
    const Pattern ok =
        Cells("........ .OOO.O.O .O.O.O.O .O.O.OO. .O.O.O.O .OOO.O.O ........ ........");
    std::set<int> wrong;
    for (int k = 0; k < kCells; ++k) {
        if (t.doc.MaData.at(static_cast<std::size_t>(k)) != ok.at(static_cast<std::size_t>(k))) {
            wrong.insert(k);
        }
    }
    for (int p = 1; p <= 50; ++p) {
        for (const std::int16_t cell : t.doc.IfData.at(static_cast<std::size_t>(p))) {
            EXPECT_NE(cell, kAny) << "plate " << p;
        }
    }
    std::istringstream report(t.Step());
    const std::vector<int> cells{std::istream_iterator<int>(report), {}};
    EXPECT_EQ(cells.size(), 50u);
    EXPECT_EQ(std::set<int>(cells.begin(), cells.end()), wrong);
    EXPECT_EQ(t.doc.MaData, ok);
    ExpectSettled(t);
}

// The examples as the help page lists them: file, mode (0 normal, 1 life game), plate count,
// and what the page says to watch.
struct Example {
    std::string name;
    std::int16_t mode;
    std::int16_t plates;
    void (*check)(const std::string& path);
};
const Example kExamples[] = {
    {"グライダー.dat", 1, 1, Glider},
    {"ブリンカーとブロック.dat", 1, 1, BlinkerAndBlock},
    {"右へずらす.dat", 0, 2, ShiftRight},
    {"十字に育つ.dat", 0, 4, GrowCross},
    {"反転で点滅.dat", 0, 1, InvertBlink},
    {"雨.dat", 0, 3, Rain},
    {"輪郭.dat", 0, 1, Outline},
    {"シェルピンスキーの三角形.dat", 0, 2, Sierpinski},
    {"迷路の行き止まり.dat", 0, 4, MazeDeadEnds},
    {"50枚でOK.dat", 0, 50, FiftyPlatesOk},
};

TEST(ExamplesTest, EveryFileInTheFolderIsInTheTableAndBack) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(*PathFromUtf8(kFolder))) {
        files.insert(Utf8FromPath(entry.path().filename()));
    }
    std::set<std::string> listed;
    for (const Example& example : kExamples) listed.insert(example.name);
    EXPECT_EQ(files, listed);
}

TEST(ExamplesTest, EachOpensAsSavedAndDoesWhatItsDescriptionSays) {
    for (const Example& example : kExamples) {
        SCOPED_TRACE(example.name);
        const std::string path = kFolder + "/" + example.name;
        EXPECT_TRUE(HasDataFileName(path));
        Document doc;
        InitDocument(doc);
        ASSERT_EQ(LoadDataFile(path, doc), LoadStatus::Loaded);
        EXPECT_EQ(doc.GameMode, example.mode);
        EXPECT_EQ(doc.ComPort, 1);
        EXPECT_EQ(doc.PlateCount, example.plates);
        // Byte for byte what "名前を付けて保存" writes for that document.
        std::ifstream file(*PathFromUtf8(path), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        EXPECT_EQ(bytes, FormatDataFile(doc));
        // "データ転送" sends it as it is.
        EXPECT_EQ(UnsendableReason(doc, doc.GameMode == 1 ? kTransferLifeGame : kTransferWrite),
                  std::nullopt);
        example.check(path);
    }
}

}  // namespace
}  // namespace kelvara

#include "files/datafile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>
#include <vector>

#include "datafile_test_support.h"

namespace kelvara::files_test {
namespace {

std::string Line(const std::vector<int>& values) {
    std::string out;
    for (int v : values) out += (out.empty() ? "" : ",") + std::to_string(v);
    return out + "\r\n";
}

TEST(DataFileFormat, StartUpDocumentAndACountBeyondTheArrays) {
    const std::string zeros = Line(std::vector<int>(16, 0));
    const std::string any = "2,2,2,2,2,2,2,2,2\r\n1\r\n";
    const std::string body = zeros + zeros + zeros + zeros + "0,0,0,0,0,0,0,0,0\r\n0\r\n" + any;
    EXPECT_EQ(FormatDataFile(StartUp()), "0,1,1\r\n" + body);

    Document doc = StartUp();
    doc.PlateCount = 60;  // only the 51 slots that exist are written
    std::string expected = "0,1,60\r\n" + body;
    for (int p = 2; p <= kMaxPlates; ++p) expected += any;
    EXPECT_EQ(FormatDataFile(doc), expected);
}

TEST(DataFileFormat, FiftyPlatesRoundTripExactly) {
    std::string expected = Line({1, 7, 50});
    for (int row = 0; row < 4; ++row) {
        std::vector<int> line;
        for (int i = 0; i < 16; ++i) line.push_back(CellAt(row * 16 + i));
        expected += Line(line);
    }
    for (int p = 0; p <= 50; ++p) {
        std::vector<int> line;
        for (int c = 0; c < 9; ++c) line.push_back(ConditionAt(p, c));
        expected += Line(line) + Line({MethodAt(p)});
    }
    ASSERT_EQ(FormatDataFile(FiftyPlates()), expected);

    // The same values in other layouts: one line, bare LF or CR, blank lines, blanks around.
    std::string oneLine = expected, lf = expected, padded = "\xEF\xBB\xBF \r\n";
    std::replace(oneLine.begin(), oneLine.end(), '\r', ',');
    std::erase(oneLine, '\n');
    std::erase(lf, '\r');
    for (char c : expected) padded += c == ',' ? std::string(" ,\t") : std::string(1, c);
    std::string cr = expected;
    std::erase(cr, '\n');
    for (const std::string& text : {expected, oneLine, lf, cr, padded + "\n\r\n"}) {
        Document read = StartUp();
        ASSERT_EQ(ReadDataFile(text, read), LoadStatus::Loaded) << text;
        EXPECT_EQ(Fields(read), Fields(FiftyPlates())) << text;
        // Nothing here for a strict reading to find fault with.
        EXPECT_THAT(FindDataFileFaults(text, 1), ::testing::IsEmpty()) << text;
    }
}

// A fault in a few letters: kind, line:position, value, count, expected, 'found'.
std::string Brief(const DataFileFault& f) {
    return std::string("UMLE").substr(static_cast<std::size_t>(f.kind), 1) + " " +
           std::to_string(f.line) + ":" + std::to_string(f.position) + " v" +
           std::to_string(f.value) + " c" + std::to_string(f.count) + " e" +
           std::to_string(f.expected) + " '" + f.found + "'";
}

TEST(DataFileFaults, EveryValueMissingUnreadableOrOutOfPlace) {
    // The start-up file: the header, four pattern lines, records 0 and 1: 87 values on 9 lines.
    const std::string base = FormatDataFile(StartUp());
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < base.size(); at = base.find('\n', at) + 1) {
        lines.push_back(base.substr(at, base.find('\r', at) - at));
    }
    const auto with = [&](std::size_t n, const std::string& text) {  // line n (from 1) changed
        std::string changed;
        for (std::size_t i = 1; i <= lines.size(); ++i)
            changed += (i == n ? text : lines[i - 1]) + "\r\n";
        return changed;
    };
    Document three = StartUp();
    three.PlateCount = 3;
    std::string threeFile = FormatDataFile(three);
    threeFile.replace(0, 1, "x");
    const std::string zeros15 = "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0";
    const std::string longValue(100, '7');
    const struct {
        std::string name, text;
        std::vector<std::string> faults;
    } cases[] = {
        {"empty", "", {"M 0:0 v0 c87 e0 ''"}},
        {"blank lines only", "\r\n \r\n\t\n", {"M 0:0 v0 c87 e0 ''"}},
        // Cut in the middle of the second pattern line: no line fault, the values are missing.
        {"cut off",
         base.substr(0, base.find("\n", base.find("\n") + 1) + 10),
         {"M 3:0 v24 c63 e0 ''"}},
        {"typo in a plate", with(8, "x,2,2,2,2,2,2,2,2"), {"U 8:1 v77 c8 e0 'x'"}},
        {"letter O in the count", with(1, "0,1,5O"), {"U 1:3 v2 c0 e0 '5O'"}},
        {"two in one group",
         with(6, "0,,0,0,y,0,0,0,0"),
         {"U 6:2 v68 c7 e0 ''", "U 6:5 v71 c0 e0 'y'"}},
        // The mode cannot be read, so the count (3) is passed over and the kept one (1) bounds
        // the plates: the records of plates 2 and 3 are left over.
        {"unreadable header", threeFile, {"U 1:1 v0 c2 e0 'x'", "E 10:1 v0 c20 e0 '2'"}},
        // A value lost: the line is short, every later value moves up one, one is missing.
        {"short line", with(2, zeros15), {"L 2:0 v3 c15 e16 ''", "M 9:0 v86 c1 e0 ''"}},
        {"long header", with(1, "0,1,1,0"), {"L 1:0 v0 c4 e3 ''", "E 9:1 v0 c1 e0 '1'"}},
        // A value moved to the line before: one line fault, every value where it belongs.
        {"value moved",
         with(3, zeros15).replace(base.find("\r\n", 8), 0, ",0"),
         {"L 2:0 v3 c17 e16 ''"}},
        {"something after the end", base + "\r\njunk\r\n", {"E 11:1 v0 c1 e0 'junk'"}},
        {"a long value is cut",
         with(9, longValue),
         {"U 9:1 v86 c0 e0 '" + longValue.substr(0, 64) + "'"}},
        // The reader refuses a count outside 1..50; nothing is said past the header.
        {"count refused", "0,1,60\r\nx", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> faults;
        for (const DataFileFault& f : FindDataFileFaults(c.text, 1)) faults.push_back(Brief(f));
        EXPECT_EQ(faults, c.faults) << c.name;
    }

    // Where each value goes.
    using Part = ValuePlace::Part;
    const auto place = [](int n) {
        const ValuePlace p = PlaceOfValue(n);
        return std::tuple(p.part, p.plate, p.index);
    };
    EXPECT_EQ(place(2), std::tuple(Part::kHeader, 0, 2));
    EXPECT_EQ(place(66), std::tuple(Part::kPattern, 0, 63));
    EXPECT_EQ(place(76), std::tuple(Part::kMethod, 0, 0));
    EXPECT_EQ(place(85), std::tuple(Part::kCondition, 1, 8));
    EXPECT_EQ(place(67 + 10 * 50 + 9), std::tuple(Part::kMethod, 50, 0));
}

TEST(DataFileRead, ValuesNotReadKeepTheirVariablesAndLaterGroupsStayInPlace) {
    const Document before = FiftyPlates();
    Document doc = before;
    // Ends after the header, one pattern line and five cells of the next.
    ASSERT_EQ(ReadDataFile("0,3,2\r\n" + Line(std::vector<int>(16, 1)) + "1,1,1,1,1", doc),
              LoadStatus::Loaded);
    EXPECT_EQ(std::tie(doc.GameMode, doc.ComPort, doc.PlateCount), std::tuple(0, 3, 2));
    for (int i = 0; i < kCells; ++i) EXPECT_EQ(doc.MaData[i], i < 21 ? 1 : CellAt(i)) << i;
    EXPECT_EQ(std::tie(doc.IfData, doc.AcData), std::tie(before.IfData, before.AcData));

    std::string text = FormatDataFile(StartUp());            // one plate
    text.replace(text.find("\r\n0,0,0,0") + 2 + 6, 1, "x");  // 4th cell of pattern line 1
    text.replace(text.find("2,2,2,2,2") + 8, 1, "70000");    // 5th cell of plate 1
    doc = before;
    ASSERT_EQ(ReadDataFile(text, doc), LoadStatus::Loaded);
    for (int i = 0; i < kCells; ++i) EXPECT_EQ(doc.MaData[i], i > 2 && i < 16 ? CellAt(i) : 0);
    Condition plate1 = before.IfData[1];
    std::fill_n(plate1.begin(), 4, kAny);
    EXPECT_EQ(doc.IfData[1], plate1);
    EXPECT_EQ(std::tie(doc.IfData[0], doc.AcData[1], doc.IfData[2]),
              std::tuple(Condition{}, 1, before.IfData[2]));

    // What one value may look like; 77 is the value kept when it cannot be read.
    text.resize(text.size() - 3);  // without the method of plate 1
    const std::pair<std::string, int> spellings[] = {
        {" 5", 5},   {"\t-7 ", -7}, {"+3", 3},      {"-32768", -32768}, {"", 77},    {"x", 77},
        {"1.5", 77}, {"70000", 77}, {"-32769", 77}, {"5x", 77},         {"+-5", 77}, {"1 2", 77}};
    for (const auto& [spelling, expected] : spellings) {
        doc.AcData[1] = 77;
        ASSERT_EQ(ReadDataFile(text + spelling + "\r\n", doc), LoadStatus::Loaded);
        EXPECT_EQ(doc.AcData[1], expected) << '"' << spelling << '"';
    }
}

TEST(DataFileRead, PlateCountBoundsThePlatesAndIsItselfBounded) {
    Document doc = FiftyPlates();
    std::tie(doc.PlateCount, doc.NowPlate, doc.FileName) = std::tuple(10, 8, "/home/u/old.dat");
    doc.MaBackup.fill(1);
    const Document before = doc;
    Document three = StartUp();
    three.PlateCount = 3;
    ASSERT_EQ(ReadDataFile(FormatDataFile(three), doc), LoadStatus::Loaded);
    EXPECT_EQ(doc.PlateCount, 3);
    for (int p = 0; p <= kMaxPlates; ++p) {
        EXPECT_EQ(doc.IfData[p], (p <= 3 ? three : before).IfData[p]) << p;
        EXPECT_EQ(doc.AcData[p], (p <= 3 ? three : before).AcData[p]) << p;
    }
    EXPECT_EQ(std::tie(doc.NowPlate, doc.FileName, doc.MaBackup),
              std::tie(before.NowPlate, before.FileName, before.MaBackup));

    std::string rest = FormatDataFile(before);
    rest.erase(0, rest.find('\n') + 1);
    for (const std::string count : {"0", "51", "-1"}) {
        doc = before;
        std::int16_t refused = 0;
        EXPECT_EQ(ReadDataFile("0,2," + count + "\r\n" + rest, doc, &refused),
                  LoadStatus::BadPlateCount);
        EXPECT_EQ(refused, std::stoi(count));  // the count as the file states it
        EXPECT_EQ(Fields(doc), Fields(before)) << count;
    }
    // An unreadable count keeps the document's own, which then bounds the plates read.
    doc = StartUp();
    doc.PlateCount = 4;
    ASSERT_EQ(ReadDataFile("1,2,x\r\n" + rest, doc), LoadStatus::Loaded);
    EXPECT_EQ(std::tie(doc.GameMode, doc.ComPort, doc.PlateCount), std::tuple(1, 2, 4));
    EXPECT_EQ(std::tie(doc.IfData[4], doc.IfData[5]),
              std::tie(before.IfData[4], StartUp().IfData[5]));
    doc.PlateCount = 0;
    EXPECT_EQ(ReadDataFile("", doc), LoadStatus::BadPlateCount);
}

TEST(DataFileRead, OnlyNamesWithDotDatAreDataFiles) {
    EXPECT_TRUE(HasDataFileName("plate.dat"));
    EXPECT_TRUE(HasDataFileName("/home/u/plate.dat.txt"));
    EXPECT_TRUE(HasDataFileName("C:\\ケルバラ\\パターン.dat"));
    EXPECT_FALSE(HasDataFileName("PLATE.DAT"));
    EXPECT_FALSE(HasDataFileName("/home/u/old.dat/plate"));  // a folder's name does not count
    EXPECT_FALSE(HasDataFileName("C:\\x.dat\\plate"));
}

// The names Windows gives its devices in every folder, whatever follows them.
TEST(DataFileRead, WindowsDeviceNames) {
    for (const char* device : {"COM3.dat", "C:\\授業\\com1.dat", "CON", "nul.tar.gz", "Aux.dat",
                               "LPT9.txt", "PRN .dat", "conout$", "COM\xC2\xB9.dat", "a/COM0"}) {
        EXPECT_TRUE(IsWindowsDeviceName(device)) << device;
    }
    for (const char* file : {"COM10.dat", "lesson-COM3.dat", "COM3_.dat", "CONSOLE.dat", "COM.dat",
                             "C:\\COM3\\a.dat", "LPTX.dat", "nul-x.dat", ""}) {
        EXPECT_FALSE(IsWindowsDeviceName(file)) << file;
    }
}

TEST(DataFileRead, RandomInputNeverBreaksTheDocument) {
    std::mt19937 random(20240611);
    const std::string valid = FormatDataFile(FiftyPlates()), alphabet = "0123456789,,\r\n-+ x";
    auto byte = [&] {
        return random() % 3 ? alphabet[random() % alphabet.size()] : char(random());
    };
    Document doc = FiftyPlates();
    for (int round = 0; round < 6000; ++round) {
        std::string text = round % 2 ? valid : std::string(random() % 700, ' ');
        for (char& c : text) c = round % 2 && random() % 200 ? c : byte();  // or a mutated file
        if (round % 3 == 0) text.erase(random() % (text.size() + 1), random() % 50);
        const Document before = doc;
        if (ReadDataFile(text, doc) == LoadStatus::Loaded) {
            ASSERT_TRUE(doc.PlateCount >= 1 && doc.PlateCount <= 50) << text;
            // A text without faults gives every value the file carries from itself, whatever
            // the document held before.
            if (FindDataFileFaults(text, before.PlateCount).empty()) {
                Document fresh = StartUp();
                ASSERT_EQ(ReadDataFile(text, fresh), LoadStatus::Loaded) << text;
                ASSERT_EQ(FormatDataFile(fresh), FormatDataFile(doc)) << text;
            }
        } else {
            ASSERT_EQ(Fields(doc), Fields(before)) << text;
        }
    }
}

TEST_F(DataFileDisk, NamesInAnyScriptSaveAndOpen) {
    // The names as the window passes them, UTF-8; the file must appear under the very same
    // name, so no conversion through a legacy code page happened on the way.
    const fs::path folder = dir_ / u8"ケルバラ", file = folder / u8"パターン.dat";
    fs::create_directory(folder);
    ASSERT_TRUE(SaveDataFile(U8(dir_) + "/ケルバラ/パターン.dat", StartUp()));
    ASSERT_TRUE(SaveDataFile(U8(file), FiftyPlates()));
    EXPECT_EQ(Contents(file), FormatDataFile(FiftyPlates()));
    ASSERT_EQ(Entries(folder), 1);
    EXPECT_EQ(U8(fs::directory_iterator(folder)->path().filename()), "パターン.dat");
    Document doc = StartUp();
    ASSERT_EQ(LoadDataFile(U8(dir_) + "/ケルバラ/パターン.dat", doc), LoadStatus::Loaded);
    EXPECT_EQ(Fields(doc), Fields(FiftyPlates()));
}

TEST_F(DataFileDisk, SaveWritesAFileWithHardLinksInPlace) {
    // Both names see the new content, also a shorter one.
    const fs::path file = dir_ / "plates.dat", other = dir_ / "other.dat";
    ASSERT_TRUE(SaveDataFile(U8(file), FiftyPlates()));
    fs::create_hard_link(file, other);
    ASSERT_TRUE(SaveDataFile(U8(other), StartUp()));
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    EXPECT_TRUE(fs::equivalent(file, other));
    EXPECT_EQ(Entries(), 2);
}

TEST_F(DataFileDisk, LoadRefusesALargeFileWithoutReadingIt) {
    // A data file padded with blank lines up to the limit still loads; one byte more does not.
    const fs::path file = dir_ / "padded.dat";
    std::string text = FormatDataFile(FiftyPlates());
    text.resize(kMaxDataFileSize, '\n');
    std::ofstream(file, std::ios::binary) << text;
    Document doc = StartUp();
    ASSERT_EQ(LoadDataFile(U8(file), doc), LoadStatus::Loaded);
    EXPECT_EQ(Fields(doc), Fields(FiftyPlates()));
    std::ofstream(file, std::ios::binary | std::ios::app) << '\n';
    doc = StartUp();
    EXPECT_EQ(LoadDataFile(U8(file), doc), LoadStatus::TooLarge);
    EXPECT_EQ(Fields(doc), Fields(StartUp()));
    fs::resize_file(file, std::uintmax_t{2} << 30);  // 2 GB of nothing, on disk only as a size
    EXPECT_EQ(LoadDataFile(U8(file), doc), LoadStatus::TooLarge);
    EXPECT_EQ(Fields(doc), Fields(StartUp()));
}

TEST_F(DataFileDisk, NoFileWhereNoneCanBeLeavesFolderAndDocumentAsTheyWere) {
    const fs::path file = dir_ / "plates.dat";
    ASSERT_TRUE(SaveDataFile(U8(file), StartUp()));
    // Each says why, also when asked before anything is written.
    const std::pair<fs::path, SaveError> failures[] = {
        {dir_ / "missing" / "plates.dat", SaveError::kNoFolder},
        {file / "plates.dat", SaveError::kNoFolder},  // a file for a folder
        {dir_, SaveError::kIsDirectory},
        {file / "", SaveError::kBadName},
    };
    for (const auto& [target, error] : failures) {
        SaveResult result;
        EXPECT_FALSE(SaveDataFile(U8(target), FiftyPlates(), &result)) << target;
        EXPECT_EQ(result.error, error) << target;
        EXPECT_EQ(CheckSaveTarget(U8(target)).error, error) << target;
    }
    for (const fs::path& target : {file, dir_ / "new.dat"}) {
        bool stream = true;
        EXPECT_TRUE(CheckSaveTarget(U8(target), &stream).Ok()) << target;
        EXPECT_FALSE(stream) << target;
    }
    // A name that is not UTF-8, which Windows cannot take, in a folder that does not exist.
    const std::string broken = U8(dir_) + "/\xff/plates.dat";
    EXPECT_FALSE(SaveDataFile(broken, FiftyPlates()));
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    EXPECT_EQ(Entries(), 1);
    const Document before = FiftyPlates();
    for (const std::string& path : {U8(dir_ / "missing.dat"), U8(dir_), broken}) {
        Document doc = before;
        EXPECT_EQ(LoadDataFile(path, doc), LoadStatus::CannotOpen) << path;
        EXPECT_EQ(Fields(doc), Fields(before));
    }
}

}  // namespace
}  // namespace kelvara::files_test

#include "files/datafile.h"

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
    for (const std::string& text : {expected, oneLine, lf, padded + "\n\r\n"}) {
        Document read = StartUp();
        ASSERT_EQ(ReadDataFile(text, read), LoadStatus::Loaded) << text;
        EXPECT_EQ(Fields(read), Fields(FiftyPlates())) << text;
    }
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
    for (const fs::path& target : {dir_ / "missing" / "plates.dat", dir_, file / ""}) {
        EXPECT_FALSE(SaveDataFile(U8(target), FiftyPlates())) << target;
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

#include "files/datafile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>
#include <vector>

namespace kelvara {
namespace {

namespace fs = std::filesystem;

auto Fields(const Document& d) {
    return std::tie(d.MaData, d.MaBackup, d.IfData, d.AcData, d.NowPlate, d.PlateCount, d.GameMode,
                    d.ComPort, d.FileName);
}

std::string Line(const std::vector<int>& values) {
    std::string out;
    for (int v : values) out += (out.empty() ? "" : ",") + std::to_string(v);
    return out + "\r\n";
}

Document StartUp() {
    Document doc;
    InitDocument(doc);
    return doc;
}

// Values unlike the defaults and unlike their neighbours, the 16-bit extremes included.
int CellAt(int i) { return i == 5 ? -32768 : i == 6 ? 32767 : i % 3 - 1; }
int ConditionAt(int p, int c) { return p == 0 ? -(c + 1) : (p + c) % 3; }
int MethodAt(int p) { return p == 0 ? 99 : p % 4; }

Document FiftyPlates() {
    Document doc = StartUp();
    std::tie(doc.GameMode, doc.ComPort, doc.PlateCount) = std::tuple(1, 7, 50);
    for (int i = 0; i < kCells; ++i) doc.MaData[i] = static_cast<std::int16_t>(CellAt(i));
    for (int p = 0; p <= kMaxPlates; ++p) {
        for (int c = 0; c < 9; ++c) doc.IfData[p][c] = static_cast<std::int16_t>(ConditionAt(p, c));
        doc.AcData[p] = static_cast<std::int16_t>(MethodAt(p));
    }
    return doc;
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
        EXPECT_EQ(ReadDataFile("0,2," + count + "\r\n" + rest, doc), LoadStatus::BadPlateCount);
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

class DataFileDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "datafile-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr);
        dir_ = name;
    }
    void TearDown() override { fs::remove_all(dir_); }
    static std::string Contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // No temporary file may be left behind.
    long Entries() const { return Entries(dir_); }
    static long Entries(const fs::path& dir) {
        return std::distance(fs::directory_iterator(dir), {});
    }
    static ino_t Inode(const fs::path& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    }
    // Saves as a user who neither owns the files nor is privileged: as nobody in a child
    // process when the test runs as root, as the test's own user otherwise.
    static bool SaveAsUnprivileged(const fs::path& path, const Document& doc) {
        if (::geteuid() != 0) return SaveDataFile(path, doc);
        const pid_t child = ::fork();
        if (child == 0) {
            const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(dropped && SaveDataFile(path, doc) ? 0 : 1);
        }
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }

    fs::path dir_;
};

TEST_F(DataFileDisk, SaveReplacesKeepingModeAndLinkAndLoadReadsItBack) {
    const fs::path file = dir_ / "plates.dat", link = dir_ / "link.dat";
    fs::create_symlink("plates.dat", link);  // dangling until the first save
    ASSERT_TRUE(SaveDataFile(link, StartUp()));
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);

    ASSERT_TRUE(SaveDataFile(link, FiftyPlates()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(file), FormatDataFile(FiftyPlates()));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(), 2);
    Document doc = StartUp();
    ASSERT_EQ(LoadDataFile(file, doc), LoadStatus::Loaded);
    EXPECT_EQ(Fields(doc), Fields(FiftyPlates()));
}

TEST_F(DataFileDisk, SaveWritesInPlaceWhereReplacingWouldCutLinksOrCannotMakeATemporaryFile) {
    // Both names of a file with a hard link see the new content, also a shorter one.
    const fs::path file = dir_ / "plates.dat", other = dir_ / "other.dat";
    ASSERT_TRUE(SaveDataFile(file, FiftyPlates()));
    fs::create_hard_link(file, other);
    ASSERT_TRUE(SaveDataFile(other, StartUp()));
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    EXPECT_EQ(Inode(file), Inode(other));
    EXPECT_EQ(Entries(), 2);

    // A file anyone may write, in a folder the user may not write: saved in place.
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    const fs::path closed = dir_ / "closed", shared = closed / "plates.dat";
    fs::create_directory(closed);
    ASSERT_TRUE(SaveDataFile(shared, StartUp()));
    const ino_t inode = Inode(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(closed.c_str(), 0555), 0);
    EXPECT_TRUE(SaveAsUnprivileged(shared, FiftyPlates()));
    EXPECT_EQ(Contents(shared), FormatDataFile(FiftyPlates()));
    EXPECT_EQ(std::tuple(Inode(shared), Entries(closed)), std::tuple(inode, 1));

    // A file the user may not write, in a folder anyone may write: not replaced.
    const fs::path open = dir_ / "open", kept = open / "plates.dat";
    fs::create_directory(open);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    ASSERT_TRUE(SaveDataFile(kept, StartUp()));
    ASSERT_EQ(::chmod(kept.c_str(), 0444), 0);
    EXPECT_FALSE(SaveAsUnprivileged(kept, FiftyPlates()));
    EXPECT_EQ(Contents(kept), FormatDataFile(StartUp()));
    EXPECT_EQ(Entries(open), 1);
    ::chmod(closed.c_str(), 0755);
}

TEST_F(DataFileDisk, LoadRefusesALargeFileWithoutReadingIt) {
    // A data file padded with blank lines up to the limit still loads; one byte more does not.
    const fs::path file = dir_ / "padded.dat";
    std::string text = FormatDataFile(FiftyPlates());
    text.resize(kMaxDataFileSize, '\n');
    std::ofstream(file, std::ios::binary) << text;
    Document doc = StartUp();
    ASSERT_EQ(LoadDataFile(file, doc), LoadStatus::Loaded);
    EXPECT_EQ(Fields(doc), Fields(FiftyPlates()));
    std::ofstream(file, std::ios::binary | std::ios::app) << '\n';
    doc = StartUp();
    EXPECT_EQ(LoadDataFile(file, doc), LoadStatus::TooLarge);
    EXPECT_EQ(Fields(doc), Fields(StartUp()));

    // 2 GB of nothing, and a file that says it is empty but never ends (a kernel file the
    // size of the address space), stand for a file that grows while it is read.
    fs::resize_file(file, std::uintmax_t{2} << 30);
    for (const fs::path& path : {file, fs::path("/proc/self/pagemap")}) {
        if (!fs::exists(path)) continue;
        EXPECT_EQ(LoadDataFile(path, doc), LoadStatus::TooLarge) << path;
        EXPECT_EQ(Fields(doc), Fields(StartUp()));
    }
}

TEST_F(DataFileDisk, FailuresLeaveFilesAndDocumentAsTheyWere) {
    const fs::path file = dir_ / "plates.dat", fifo = dir_ / "fifo.dat";
    ASSERT_TRUE(SaveDataFile(file, StartUp()));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Failures that hold for root too: no such directory, a directory, a full device, a FIFO
    // nobody reads (which must fail rather than hang).
    for (const fs::path& target :
         {dir_ / "missing" / "plates.dat", dir_, file / "", fifo, fs::path("/dev/full")}) {
        EXPECT_FALSE(SaveDataFile(target, FiftyPlates())) << target;
    }
    // A full disk: the file size limit makes a write of the temporary file itself fail.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = limit;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveDataFile(file, FiftyPlates());
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    EXPECT_EQ(Entries(), 2);

    const Document before = FiftyPlates();
    for (const fs::path& path : {dir_ / "missing.dat", dir_, fifo}) {
        Document doc = before;
        EXPECT_EQ(LoadDataFile(path, doc), LoadStatus::CannotOpen) << path;
        EXPECT_EQ(Fields(doc), Fields(before));
    }
}

}  // namespace
}  // namespace kelvara

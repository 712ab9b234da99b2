// The command-line client's own logic: what it makes of a command line, how it names outputs,
// what it writes while transfers run, and what check reports of a file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>
#include <vector>

#include "cli_options.h"
#include "file_commands.h"
#include "files/datafile.h"
#include "progress.h"

namespace kelvara::cli {
namespace {

using ::testing::HasSubstr;

std::vector<std::string> Args(std::initializer_list<std::string> words) {
    std::vector<std::string> args{"kelvara"};
    args.insert(args.end(), words);
    return args;
}

TEST(CliOptions, CommandLinesThatWork) {
    std::string error;
    auto send =
        ParseOptions(Args({"send", "--port", "com3", "a.dat", "--port=/dev/ttyUSB0"}), &error);
    ASSERT_TRUE(send) << error;
    EXPECT_EQ(send->command, Command::kSend);
    EXPECT_EQ(send->file, "a.dat");
    EXPECT_FALSE(send->lenient);
    EXPECT_TRUE(ParseOptions(Args({"send", "a.dat", "--lenient"}), &error)->lenient);
    EXPECT_THAT(send->ports, ::testing::ElementsAre(PortChoice{"COM3", 3, {}},
                                                    PortChoice{"/dev/ttyUSB0", 0, "/dev/ttyUSB0"}));

    auto read = ParseOptions(Args({"read"}), &error);
    ASSERT_TRUE(read) << error;
    EXPECT_THAT(read->ports, ::testing::ElementsAre(PortChoice{"COM1", 1, {}}));  // the default
    EXPECT_FALSE(read->output);

    read = ParseOptions(Args({"read", "-o", "k-{port}.dat", "--port", "COM1", "--port", "COM2"}),
                        &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->output, "k-{port}.dat");

    auto run = ParseOptions(Args({"run", "--every", "--seed=18446744073709551615", "--steps",
                                  "1000000", "--", "--odd name.dat"}),
                            &error);
    ASSERT_TRUE(run) << error;
    EXPECT_EQ(run->file, "--odd name.dat");
    EXPECT_EQ(run->steps, 1000000);
    EXPECT_EQ(run->seed, 18446744073709551615u);
    EXPECT_TRUE(run->every);

    auto probe = ParseOptions(Args({"ports", "--probe", "--port", "COM2"}), &error);
    ASSERT_TRUE(probe) << error;
    EXPECT_TRUE(probe->probe);
    EXPECT_THAT(probe->ports, ::testing::ElementsAre(PortChoice{"COM2", 2, {}}));
    EXPECT_TRUE(ParseOptions(Args({"send", "a.dat", "--keep-going"}), &error)->keepGoing);
    EXPECT_FALSE(send->keepGoing);
    auto help = ParseOptions(Args({"help", "read"}), &error);
    ASSERT_TRUE(help) << error;
    EXPECT_TRUE(help->help);
    EXPECT_EQ(help->command, Command::kRead);

    // --help wins wherever it stands, even beside a mistake.
    help = ParseOptions(Args({"send", "--bogus", "-h"}), &error);
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->help);
    EXPECT_EQ(help->command, Command::kSend);
}

TEST(CliOptions, MistakesAreNamed) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {Args({}), "コマンドを指定"},
        {Args({"sned", "a.dat"}), "不明なコマンドです: sned"},
        {Args({"send"}), "FILE.dat"},
        {Args({"send", "a.dat", "b.dat"}), "余分な引数があります: b.dat"},
        {Args({"ports", "x"}), "余分な引数があります: x"},
        {Args({"send", "a.dat", "--port"}), "--port の値がありません"},
        {Args({"send", "a.dat", "--port", "COM0"}), "COM1〜COM9"},
        {Args({"send", "a.dat", "--port="}), "空の値"},
        {Args({"send", "a.dat", "--port", "COM2", "--port", "com2"}), "COM2 が二度"},
        {Args({"send", "a.dat", "-o", "x.dat"}), "--output は kelvara send では使えません"},
        {Args({"check", "a.dat", "--steps", "2"}), "--steps は kelvara check では使えません"},
        {Args({"run", "a.dat", "--frobnicate"}), "不明なオプションです: --frobnicate"},
        {Args({"run", "a.dat", "--steps", "-1"}), "0〜1000000"},
        {Args({"run", "a.dat", "--steps", "1000001"}), "0〜1000000"},
        {Args({"run", "a.dat", "--steps", "3x"}), "0〜1000000"},
        {Args({"run", "a.dat", "--seed", "18446744073709551616"}), "--seed"},
        {Args({"run", "a.dat", "--every=yes"}), "--every は値をとりません"},
        {Args({"check", "a.dat", "--lenient"}), "--lenient は kelvara check では使えません"},
        {Args({"read", "-o", "a.dat", "-o", "b.dat"}), "一度だけ"},
        {Args({"ports", "--port", "COM1"}), "--probe"},
        {Args({"read", "--keep-going"}), "--keep-going は kelvara read では使えません"},
        {Args({"help", "frob"}), "不明なコマンドです: frob"},
        {Args({"read", "--port", "COM1", "--port", "COM2"}), "{port}"},
        {Args({"read", "-o", "a.dat", "--port", "COM1", "--port", "COM2"}), "{port}"},
        {Args({"read", "-o", "{port}.dat", "--port", "/a/tty0", "--port", "/b/tty0"}),
         "保存先 tty0.dat が二つのポートで同じ"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseOptions(c.args, &error)) << c.message;
        EXPECT_THAT(error, HasSubstr(c.message));
    }
    EXPECT_EQ(HelpHint(Command::kRead), "詳しくは kelvara read --help を見てください。");
    EXPECT_EQ(HelpHint(Command::kNone), "詳しくは kelvara --help を見てください。");
}

TEST(CliOptions, OutputNamesPerPort) {
    std::string error;
    const PortChoice com = *ParsePortChoice("COM4", &error);
    const PortChoice usb = *ParsePortChoice("/dev/serial/by-id/usb-FTDI_1-if00/", &error);
    const PortChoice relative = *ParsePortChoice("tty-a", &error);
    constexpr PortSystem kLinux = PortSystem::kLinux, kWindows = PortSystem::kWindows;
    const struct {
        std::string_view pattern;
        PortChoice port;
        PortSystem system;
        std::string name;
    } names[] = {
        {"room2/{port}-x.dat", com, kLinux, "room2/COM4-x.dat"},
        {"room2/{port}.dat", com, kLinux, "room2/COM4.dat"},
        {"{port}-{port}.dat", usb, kLinux, "usb-FTDI_1-if00-usb-FTDI_1-if00.dat"},
        {"{port}.dat", relative, kLinux, "tty-a.dat"},
        {"plain.dat", com, kLinux, "plain.dat"},
        // On Windows COM4.dat is the port itself, in every folder; lesson-COM4.dat is a file.
        {"room2\\{port}.dat", com, kWindows, "room2\\COM4_.dat"},
        {"lesson-{port}.dat", com, kWindows, "lesson-COM4.dat"},
        {"lesson-{port}.dat", *ParsePortChoice("\\\\.\\COM12", &error, kWindows), kWindows,
         "lesson-COM12.dat"},
        {"{port}.dat", *ParsePortChoice("com12", &error, kWindows), kWindows, "COM12.dat"},
        {"{port}.dat", *ParsePortChoice("C:\\ports\\tty0\\", &error, kWindows), kWindows,
         "tty0.dat"},
    };
    for (const auto& n : names) {
        EXPECT_EQ(ExpandPortName(n.pattern, n.port, n.system), n.name) << n.pattern;
    }
    // COM10 and above are ports of Windows' own; elsewhere no COM number reaches them.
    EXPECT_EQ(ParsePortChoice("COM12", &error, kWindows)->device, "COM12");
    EXPECT_FALSE(ParsePortChoice("COM12", &error, kLinux));
    EXPECT_FALSE(ParsePortChoice("COM0", &error, kWindows));
#if defined(_WIN32)
    // Windows has three spellings of one port; two of them on one command line are one device.
    const auto noPorts = [] { return std::vector<PortInfo>{}; };
    const PortChoice namespaced = *ParsePortChoice("\\\\.\\com4", &error);
    EXPECT_TRUE(SameDeviceTwice({com, namespaced}, noPorts).has_value());
    EXPECT_FALSE(SameDeviceTwice({com, *ParsePortChoice("COM5", &error)}, noPorts).has_value());
#endif
}

TEST(ProgressDisplay, LinesOffATerminalAndBarsRedrawnOnOne) {
    ProgressBoard lines({"COM1", "/dev/ttyUSB0"}, false);
    lines.Stage(1, "書き込みデータ送信中");
    lines.Progress(1, 10, 159);  // no line of its own
    lines.Note(0, "通信エラー: フレーミングエラー");
    EXPECT_EQ(lines.Flush({80, 24}),
              "/dev/ttyUSB0: 書き込みデータ送信中\nCOM1: 通信エラー: フレーミングエラー\n");
    EXPECT_EQ(lines.Flush({80, 24}), "");

    ProgressBoard bars({"COM1", "/dev/ttyUSB0"}, true);
    bars.Progress(0, 0, 159);
    bars.Stage(1, "データ読み出し中");
    const std::string first = bars.Flush({});
    EXPECT_EQ(first,
              "COM1          [------------------------] 0/159\n"
              "/dev/ttyUSB0  [------------------------] 0/?  データ読み出し中\n");
    EXPECT_EQ(bars.Flush({}), "");  // nothing changed, nothing drawn
    bars.Progress(0, 159, 159);
    bars.Line("result\n  reason");
    // Back up over the bars and clear below (the second, drawn for a width not known, is 62
    // columns wide and took two rows of 54), a result of two rows where they were, then both
    // bars again, each cut to the terminal's width less one column (the Japanese stage text
    // takes two columns a character).
    EXPECT_EQ(bars.Flush({54, 24}),
              "\r\x1b[3A\x1b[Jresult\n  reason\n"
              "COM1          [########################] 159/159\n"
              "/dev/ttyUSB0  [------------------------] 0/?  データ\n");
    // Taken down before data goes out; drawn again below it.
    EXPECT_EQ(bars.TakeDown({54, 24}), "\r\x1b[2A\x1b[J");
    EXPECT_EQ(bars.TakeDown({54, 24}), "");
    EXPECT_THAT(bars.Flush({54, 24}), ::testing::StartsWith("COM1  "));
    // Made narrower, the terminal rewraps each 48-column bar onto two rows of 30.
    EXPECT_THAT(bars.Flush({30, 24}), ::testing::StartsWith("\r\x1b[4A\x1b[J"));
    // A port whose result line is written has no bar any more.
    bars.TakeDown({54, 24});
    bars.Ended(0);
    bars.Line("COM1: データ書き込み完了 159/159");
    EXPECT_EQ(bars.Flush({54, 24}),
              "COM1: データ書き込み完了 159/159\n"
              "/dev/ttyUSB0  [------------------------] 0/?  データ\n");

    EXPECT_EQ(DisplayWidth("COM1 データ"), 11u);
    EXPECT_EQ(CutToWidth("ab読み出し", 5), "ab読");
    EXPECT_EQ(CutToWidth("ab読み出し", 3), "ab");
    EXPECT_EQ(ShortenMiddle("abcdefghij", 9), "abc...hij");
    EXPECT_EQ(ShortenMiddle("abcdefghij", 10), "abcdefghij");
    EXPECT_EQ(ShortenMiddle("読み出し中です", 8), "読...す");
}

// The display never wraps, never loses the count and never moves above the screen's top.
TEST(ProgressDisplay, FitsTheTerminalOrFallsBackToLines) {
    const std::string longLabel =
        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0....";
    ASSERT_EQ(longLabel.size(), 66u);
    ProgressBoard wide({longLabel, "COM2"}, true);
    wide.Progress(0, 12, 159);
    wide.Progress(1, 159, 159);
    wide.Stage(0, "書き込みデータ送信中");
    const std::string drawn = wide.Flush({80, 24});
    std::size_t at = 0;
    for (const char* row : {"12/159", "159/159"}) {
        const std::size_t end = drawn.find('\n', at);
        const std::string line = drawn.substr(at, end - at);
        EXPECT_THAT(line, HasSubstr(row));
        EXPECT_LE(DisplayWidth(line), 79u) << line;
        EXPECT_NE(line.back(), ' ');
        at = end + 1;
    }
    EXPECT_THAT(drawn, ::testing::StartsWith("/dev/serial/by-id/us...285BI-if00-port0....  [#---"));

    // 21 ports and 12 rows: the bars would not fit, so one line per stage and no escapes.
    std::vector<std::string> labels;
    for (int i = 1; i <= 21; ++i) labels.push_back("/tmp/m" + std::to_string(i));
    ProgressBoard many(labels, true);
    many.Stage(20, "書き込みデータ送信中");
    many.Progress(20, 3, 159);
    many.Line("/tmp/m3: データ書き込み完了 159/159");
    EXPECT_EQ(many.Flush({60, 12}),
              "/tmp/m21: 書き込みデータ送信中\n/tmp/m3: データ書き込み完了 159/159\n");
    // Too narrow for a label, a bar and the count: lines as well.
    ProgressBoard narrow({"COM1"}, true);
    narrow.Stage(0, "データ読み出し中");
    EXPECT_EQ(narrow.Flush({20, 24}), "COM1: データ読み出し中\n");
}

// check and the other file commands read files as "開く" does.
class FileCommands : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = dir_.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string Write(const std::string& name, const Document& doc) {
        return Write(name, FormatDataFile(doc));
    }
    static Document Start() {
        Document doc;
        InitDocument(doc);
        return doc;
    }

    QTemporaryDir dir_;
};

TEST_F(FileCommands, CheckNamesEveryProblemWithItsPlateAndValue) {
    Document doc = Start();
    doc.PlateCount = 9;
    doc.IfData[7][5] = 7;
    doc.IfData[7][8] = -1;
    doc.AcData[9] = 4;
    doc.MaData[11] = 2;
    doc.IfData[10][0] = 9;  // above the count: never sent
    CheckReport report = CheckDataFile(Write("bad.dat", doc));
    EXPECT_FALSE(report.sound);
    EXPECT_THAT(report.text,
                HasSubstr("パターンに送信できない値があります。ファイルを確認してください。\n"
                          "  パターンのセル 11（2 行目 4 列目）: 値 2（0 か 1 のみ）\n"
                          "  プレート 7 の条件セル 5（2 行目 3 列目）: 値 7（0〜2 のみ）\n"
                          "  プレート 7 の条件セル 8（3 行目 3 列目）: 値 -1（0〜2 のみ）\n"
                          "  プレート 9 の変化方法: 値 4（0〜3 のみ）\n"));
    EXPECT_THAT(report.text, ::testing::Not(HasSubstr("プレート 10")));

    // In life game mode only the pattern goes out.
    doc.GameMode = 1;
    doc.MaData[11] = 0;
    report = CheckDataFile(Write("life.dat", doc));
    EXPECT_TRUE(report.sound) << report.text;
    EXPECT_THAT(report.text, HasSubstr("life.dat: 問題ありません（ライフゲームモード）\n"));

    // A mode the editor has no button for is worth a note, not a refusal.
    doc.GameMode = 5;
    doc.PlateCount = 2;
    report = CheckDataFile(Write("five.dat", doc));
    EXPECT_TRUE(report.sound) << report.text;
    EXPECT_THAT(report.text, HasSubstr("問題ありません（通常モード、プレート 2 枚）\n  注意: "
                                       "ゲームモード 5"));
}

TEST_F(FileCommands, ValuesMissingOrUnreadableAreToldWhereTheyAreAndStopSendAndRun) {
    using Kind = DataFileFault::Kind;
    // Each kind of fault, and what was found shown safely: UTF-8 as it is, a backslash, control
    // characters, C1 controls and stray bytes escaped, long text cut.
    const std::vector<std::string> lines = DescribeFaults({
        {.kind = Kind::kUnreadable,
         .line = 8,
         .position = 1,
         .value = 77,
         .count = 8,
         .found = "x"},
        {.kind = Kind::kUnreadable, .line = 2, .position = 4, .value = 6, .found = " "},
        {.kind = Kind::kUnreadable,
         .line = 1,
         .position = 3,
         .value = 2,
         .found = "５\\\x1b[2J\xc2\x9b\xff"},
        {.kind = Kind::kMissing, .line = 12, .value = 86, .count = 1},
        {.kind = Kind::kMissing, .value = 0, .count = 87},
        {.kind = Kind::kLineLength, .line = 2, .value = 3, .count = 15, .expected = 16},
        {.kind = Kind::kExtra,
         .line = 10,
         .position = 1,
         .count = 20,
         .found = std::string(30, '7')},
    });
    EXPECT_THAT(lines, ::testing::ElementsAre(
                           "8 行目 1 個目（プレート 1 の条件セル 0（1 行目 1 列目））: 「x」は "
                           "-32768〜32767 の整数"
                           "ではありません。このまとまりの残り 8 個も読まれません",
                           "2 行目 4 個目（パターンのセル 3（1 行目 4 列目））: 値が空です",
                           "1 行目 3 個目（プレート数）: 「５\\\\\\x1B[2J\\xC2\\x9B\\xFF」は "
                           "-32768〜32767 の整数ではありません",
                           "12 行目でファイルが終わっています: プレート 1 の変化方法 から後の 1 "
                           "個の値がありません",
                           "値がひとつもありません: ゲームモード から後の 87 個の値がありません",
                           "2 行目: 値が 15 個あります（パターンのセル 0（1 行目 1 列目） "
                           "からのこの行は 16 個のはず）。"
                           "後の値は本来の場所からずれて読まれます",
                           "10 行目 1 個目から後の 20 個の値は読まれません（最初は「" +
                               std::string(24, '7') + "…」）"));

    // A file with a typo and a value the machine cannot take: check tells both; send refuses it
    // also with --lenient, run only without.
    Document doc = Start();
    doc.MaData[0] = kOn;
    doc.AcData[1] = 5;
    std::string text = FormatDataFile(doc);
    text.replace(text.find("\r\n") + 2, 1, "o");  // the first cell of the pattern
    const std::string path = Write("typo.dat", text);
    const CheckReport report = CheckDataFile(path);
    EXPECT_FALSE(report.sound);
    EXPECT_THAT(report.text, HasSubstr(": 読めない値や足りない値があります"));
    EXPECT_THAT(report.text,
                HasSubstr("\n  2 行目 1 個目（パターンのセル 0（1 行目 1 列目））: 「o」は"));
    EXPECT_THAT(report.text, HasSubstr("\n  プレート 1 の変化方法: 値 5（0〜3 のみ）\n"));
    const struct {
        FileUse use;
        bool lenient, usable;
        std::string headline;
    } uses[] = {
        {FileUse::kSend, false, false, "kelvara: " + path + ": 読めない値や"},
        {FileUse::kSend, true, false, "kelvara: " + path + ": 注意: 読めない値や"},
        {FileUse::kRun, false, false, "kelvara: " + path + ": 読めない値や"},
        {FileUse::kRun, true, true, "kelvara: " + path + ": 注意: 読めない値や"},
    };
    for (const auto& u : uses) {
        const FileVerdict verdict = JudgeDataFile(path, u.use, u.lenient);
        EXPECT_EQ(verdict.usable, u.usable) << u.headline;
        EXPECT_TRUE(verdict.text.starts_with(u.headline)) << verdict.text;
        // run does not care what the machine could take.
        EXPECT_EQ(verdict.text.find("変化方法: 値 5") == std::string::npos, u.use == FileUse::kRun);
    }
    // What --lenient uses is what "開く" reads: the cell keeps the new document's value.
    EXPECT_EQ(JudgeDataFile(path, FileUse::kRun, true).doc.MaData[0], kOff);
}

TEST_F(FileCommands, FilesTheEditorRefusesToOpen) {
    const std::string sound = FormatDataFile(Start());
    const struct {
        std::string name;
        std::string text;
        std::string reason;
    } cases[] = {
        {"plain.txt", sound, "ファイル名に「.dat」が含まれていません"},
        {"upper.DAT", sound, "ファイル名に「.dat」が含まれていません"},
        {"sixty.dat", "0,1,60\r\n" + sound.substr(sound.find('\n') + 1), "プレート数 60 が"},
        {"zero.dat", "1,2,0\r\n", "プレート数 0 が"},
    };
    for (const auto& c : cases) {
        const CheckReport report = CheckDataFile(Write(c.name, c.text));
        EXPECT_FALSE(report.sound) << c.name;
        EXPECT_THAT(report.text, HasSubstr(": 不明なファイルです。\n  " + c.reason)) << c.name;
    }
    const CheckReport missing = CheckDataFile(dir_.filePath("none.dat").toStdString());
    EXPECT_THAT(missing.text, HasSubstr("ファイルを開けません"));
    // ".dat" anywhere in the file's own name will do, as for the editor.
    EXPECT_TRUE(CheckDataFile(Write("room.dat.bak", sound)).sound);
}

TEST_F(FileCommands, RunPrintsPlainTextCells) {
    Document doc = Start();
    doc.GameMode = 1;
    doc.MaData[0] = kOn;
    doc.MaData[63] = 3;  // a hand-edited value
    SeededRandom random(1);
    EXPECT_EQ(RunSteps(doc, 0, false, random),
              "O.......\n........\n........\n........\n........\n........\n........\n.......?\n");
    // Every generation, separated by a blank line: the lone cell dies.
    doc.MaData[63] = kOff;
    EXPECT_EQ(RunSteps(doc, 1, true, random),
              "O.......\n........\n........\n........\n........\n........\n........\n........\n"
              "\n"
              "........\n........\n........\n........\n........\n........\n........\n........\n");
    // Handed out pattern by pattern as they are made, and ended by the first that cannot go.
    int pieces = 0;
    EXPECT_FALSE(RunSteps(doc, 1000000, true, random, [&](const std::string& piece) {
        EXPECT_EQ(piece.size(), pieces == 0 ? 72u : 73u);
        return ++pieces < 3;
    }));
    EXPECT_EQ(pieces, 3);
}

}  // namespace
}  // namespace kelvara::cli

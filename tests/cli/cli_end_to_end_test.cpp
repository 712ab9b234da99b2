// The kelvara program against the real kelvara-sim: what is sent comes back byte for byte,
// side by side on several machines, and every way a command can fail ends in its exit code
// with nothing half-written.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../support/varied_document.h"
#include "files/datafile.h"

namespace kelvara {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A simulated machine holding still (--period 0), reached through a link in dir.
class Simulator {
  public:
    Simulator(const QTemporaryDir& dir, const QString& name, QStringList flags = {})
        : link_(dir.filePath(name)) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(KELVARA_SIM_PROGRAM),
                       QStringList{"--quiet", "--period", "0", "--link", link_} + flags);
        if (process_.waitForStarted(10000)) {
            while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
            }
        }
    }
    ~Simulator() {
        process_.terminate();
        if (!process_.waitForFinished(10000)) process_.kill();
        process_.waitForFinished();
    }
    bool Ready() const { return QFile::exists(link_); }
    const QString& Link() const { return link_; }

  private:
    QString link_;
    QProcess process_;
};

struct Ran {
    int code = -1;
    QByteArray out;
    std::string err;
};

QProcessEnvironment Environment(const std::vector<std::pair<QString, QString>>& set = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (int n = 1; n <= 9; ++n) env.remove(QStringLiteral("KELVARA_COM%1").arg(n));
    for (const auto& [name, value] : set) env.insert(name, value);
    return env;
}

void Start(QProcess& process, const QStringList& args, const QProcessEnvironment& env) {
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KELVARA_CLI_PROGRAM), args);
    process.waitForStarted(10000);
}

Ran Finish(QProcess& process) {
    Ran ran;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return ran;
    }
    ran.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.out = process.readAllStandardOutput();
    ran.err = process.readAllStandardError().toStdString();
    return ran;
}

Ran Kelvara(const QStringList& args, const QProcessEnvironment& env = Environment(),
            const std::function<void(QProcess&)>& prepare = {}) {
    QProcess process;
    if (prepare) prepare(process);
    Start(process, args, env);
    return Finish(process);
}

// Standard output into a full disk, closed, or a pipe whose reader has gone ("| head -1").
void IntoFullDisk(QProcess& process) { process.setStandardOutputFile("/dev/full"); }
void StdoutClosed(QProcess& process) {
    process.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
}
void IntoBrokenPipe(QProcess& process, int stream) {
    process.setChildProcessModifier([stream] {
        int ends[2];
        if (::pipe(ends) == 0) {
            ::close(ends[0]);
            ::dup2(ends[1], stream);
        }
    });
}
void StdoutBrokenPipe(QProcess& process) { IntoBrokenPipe(process, STDOUT_FILENO); }

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using test::Varied;

// A glider in the top left corner, heading down and right.
Document Glider() {
    Document doc;
    InitDocument(doc);
    doc.GameMode = 1;
    for (const int cell : {1, 8 + 2, 16, 16 + 1, 16 + 2}) doc.MaData[cell] = kOn;
    return doc;
}

// The data file a machine holding doc gives when read through COM number port.
QByteArray FileOf(Document doc, int port = 1) {
    doc.ComPort = static_cast<std::int16_t>(port);
    return QByteArray::fromStdString(FormatDataFile(doc));
}

class CliTest : public ::testing::Test {
  protected:
    QString Save(const QString& name, const Document& doc) {
        const QString path = dir_.filePath(name);
        EXPECT_TRUE(SaveDataFile(path.toStdString(), doc));
        return path;
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
};

TEST_F(CliTest, FiftyPlatesSentAreReadBackByteForByte) {
    Simulator sim(dir_, "machine");
    ASSERT_TRUE(sim.Ready());
    const QString file = Save("fifty.dat", Varied(50));

    Ran sent = Kelvara({"send", file, "--port", sim.Link()});
    EXPECT_EQ(sent.code, 0) << sent.err;
    EXPECT_TRUE(sent.out.isEmpty());
    const std::string link = sim.Link().toStdString();
    EXPECT_EQ(sent.err,
              link + ": 書き込みデータ送信中\n" + link + ": データ書き込み完了 159/159\n");

    Ran saved = Kelvara({"read", "-o", Path("back.dat"), "--port", sim.Link()});
    EXPECT_EQ(saved.code, 0) << saved.err;
    EXPECT_EQ(Contents(Path("back.dat")), Contents(file));
    EXPECT_THAT(saved.err, HasSubstr(": データ読み出し完了 320 文字 → " +
                                     Path("back.dat").toStdString() + "\n"));

    // Without -o the file's bytes go to standard output and nothing else does.
    Ran printed = Kelvara({"read", "--port", sim.Link()});
    EXPECT_EQ(printed.code, 0) << printed.err;
    EXPECT_EQ(printed.out, Contents(file));

    // A COM number reaches the machine through its override, and the file records the port.
    Ran com = Kelvara({"read", "--port", "COM3"},
                      Environment({{QStringLiteral("KELVARA_COM3"), sim.Link()}}));
    EXPECT_EQ(com.code, 0) << com.err;
    EXPECT_EQ(com.out, FileOf(Varied(50), 3));
    EXPECT_THAT(com.err, HasSubstr("COM3 (" + link + "): データ読み出し完了"));
}

TEST_F(CliTest, LifeGameModeFilesSendTheModeAndPattern) {
    Simulator sim(dir_, "machine", {"--baud", "9600"});
    ASSERT_TRUE(sim.Ready());
    Ran sent = Kelvara({"send", Save("glider.dat", Glider()), "--port", sim.Link()});
    EXPECT_EQ(sent.code, 0) << sent.err;
    EXPECT_THAT(sent.err, HasSubstr(": ライフゲームモードデータ送信中\n"));
    EXPECT_THAT(sent.err, HasSubstr(": ライフゲームモード送信完了 9/9\n"));

    // The machine answers with the marker and the pattern; the count stays the editor's own.
    Ran read = Kelvara({"read", "--port", sim.Link()});
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_EQ(read.out, FileOf(Glider()));
}

TEST_F(CliTest, RunStepsAGliderAndRepeatsSeededPlates) {
    const QString glider = Save("glider.dat", Glider());
    Ran four = Kelvara({"run", glider, "--steps", "4"});
    EXPECT_EQ(four.code, 0) << four.err;
    EXPECT_EQ(four.out.toStdString(),
              "........\n"
              "..O.....\n"
              "...O....\n"
              ".OOO....\n"
              "........\n"
              "........\n"
              "........\n"
              "........\n");
    Ran every = Kelvara({"run", glider, "--steps", "4", "--every"});
    const QList<QByteArray> generations = every.out.split('\n');
    ASSERT_EQ(generations.size(), 5 * 9);  // five blocks of eight rows, blank lines between
    EXPECT_TRUE(every.out.startsWith(".O......\n..O.....\nOOO.....\n"));
    EXPECT_TRUE(every.out.endsWith("\n\n" + four.out));

    // Random plates: the same seed gives the same pattern, another seed another one.
    Document plates;
    InitDocument(plates);
    plates.PlateCount = 2;
    plates.AcData[1] = kMethodRandom;  // every cell drawn afresh
    plates.IfData[2] = {0, 0, 0, 0, 1, 0, 0, 0, 0};
    plates.AcData[2] = kMethodOff;  // then lone cells die
    const QString file = Save("random.dat", plates);
    const Ran a = Kelvara({"run", file, "--steps", "3", "--seed", "42"});
    const Ran b = Kelvara({"run", file, "--seed=42", "--steps=3"});
    EXPECT_EQ(a.code, 0) << a.err;
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.out.count('\n'), 8);
    bool differs = false;
    for (const char* seed : {"1", "2", "3"}) {
        differs = differs || Kelvara({"run", file, "--steps", "3", "--seed", seed}).out != a.out;
    }
    EXPECT_TRUE(differs);
}

TEST_F(CliTest, ExitCodesOfPortsMachinesFilesAndUsage) {
    Simulator silent(dir_, "silent", {"--silent"});
    Simulator sim(dir_, "machine");
    ASSERT_TRUE(silent.Ready() && sim.Ready());
    const QString file = Save("fifty.dat", Varied(50));

    // No such port.
    Ran missing = Kelvara({"send", file, "--port", Path("nothing-here")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_THAT(missing.err, HasSubstr("nothing-here: ポートオープンエラー発生\n    ポート: " +
                                       Path("nothing-here").toStdString() + "\n    理由: "));

    // A silent machine: one wait runs out; the old file stays as it was and no new one appears.
    QFile old(Path("old.dat"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("kept");
    old.close();
    // Nothing on standard error claims a completion.
    Ran quiet = Kelvara({"read", "-o", Path("old.dat"), "--port", silent.Link()});
    EXPECT_EQ(quiet.code, 1);
    EXPECT_THAT(
        quiet.err,
        HasSubstr(": 通信エラーもう一度やってください。（応答がありません: 受信 0 文字）\n"));
    EXPECT_THAT(quiet.err, Not(HasSubstr("完了")));
    EXPECT_EQ(Contents(Path("old.dat")), "kept");
    EXPECT_TRUE(quiet.out.isEmpty());
    // A write to it ends at the first unit it leaves unanswered, unless told to go on as the
    // editor does (three seconds a unit: only the first two are waited for here).
    Ran given = Kelvara({"send", file, "--port", silent.Link()});
    EXPECT_EQ(given.code, 1);
    EXPECT_THAT(given.err, HasSubstr("1 番目の単位に確認がありません: 確認 0/159）\n"));
    EXPECT_THAT(given.err, Not(HasSubstr("完了")));
    Ran onwards =
        Kelvara({"send", Save("glider.dat", Glider()), "--port", silent.Link(), "--keep-going"});
    EXPECT_EQ(onwards.code, 1);
    EXPECT_THAT(onwards.err, HasSubstr("ください。（確認 0/9）\n"));

    // Files the editor refuses, or could not send, or of which values are missing or cannot be
    // read (which "開く" would pass over): nothing reaches the machine.
    Document unsendable = Varied(3);
    unsendable.IfData[2][4] = 5;
    unsendable.AcData[3] = 7;
    const auto write = [&](const QString& name, const QByteArray& text) {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return Path(name);
    };
    const QByteArray fifty = FileOf(Varied(50));
    Document marked = Varied(50);
    marked.IfData[1][0] = 12345;
    QByteArray typo = FileOf(marked), header = fifty;
    typo.replace("12345", "x");
    header.replace(0, header.indexOf('\r'), "0,1,5O");
    QByteArray utf16("\xff\xfe");
    for (const char c : fifty) utf16 += QByteArray(1, c) + '\0';
    const std::string faults = "読めない値や足りない値があります";
    const struct {
        QString file;
        std::string message;
    } refused[] = {
        {Save("fifty.txt", Varied(50)), "不明なファイルです。\n  ファイル名に「.dat」"},
        {write("sixty.dat", "0,1,60\r\n"),
         "不明なファイルです。\n  プレート数 60 が 1〜50 の範囲外です\n"},
        {Path("absent.dat"), "不明なファイルです。\n  ファイルを開けません"},
        {write("huge.dat", QByteArray(2 << 20, '\n')),
         "不明なファイルです。\n  ファイルが大きすぎます"},
        {Save("values.dat", unsendable),
         "プレート2に送信できない値があります。ファイルを確認してください。\n"
         "  プレート 2 の条件セル 4（2 行目 2 列目）: 値 5（0〜2 のみ）\n"
         "  プレート 3 の変化方法: 値 7（0〜3 のみ）\n"},
        {write("empty.dat", ""), faults + "（エディタの「開く」は、その値を前のままにします）\n"
                                          "  値がひとつもありません: ゲームモード から後の 87 個"},
        {write("cut.dat", fifty.left(600)), faults},
        {write("typo.dat", typo), "（プレート 1 の条件セル 0（1 行目 1 列目））: 「x」は"},
        {write("header.dat", header), "  1 行目 3 個目（プレート数）: 「5O」は"},
        {write("utf16.dat", utf16), faults + "（エディタの「開く」は、その値を前のままにします）\n"
                                             "  UTF-16 のテキストです。"},
    };
    for (const auto& r : refused) {
        Ran ran = Kelvara({"send", r.file, "--port", sim.Link()});
        EXPECT_EQ(ran.code, 2) << r.message;
        EXPECT_THAT(ran.err, HasSubstr(r.message));
        EXPECT_THAT(ran.err, Not(HasSubstr("送信中")));
        Ran checked = Kelvara({"check", r.file});
        EXPECT_EQ(checked.code, 2) << r.message;
        EXPECT_THAT(checked.out.toStdString(), HasSubstr(r.message));
    }
    Document start;
    InitDocument(start);
    EXPECT_EQ(Kelvara({"read", "--port", sim.Link()}).out, FileOf(start));
    Ran sound = Kelvara({"check", file});
    EXPECT_EQ(sound.code, 0);
    EXPECT_EQ(sound.out.toStdString(),
              file.toStdString() + ": 問題ありません（通常モード、プレート 50 枚）\n");
    EXPECT_EQ(Kelvara({"check", Path("utf16.dat")}).out.count('\n'), 2);  // not a line a value
    // The editor's port menu reaches COM1 to COM9 only.
    Document far = Varied(50);
    far.ComPort = 12;
    Ran port = Kelvara({"check", Save("com12.dat", far)});
    EXPECT_EQ(port.code, 2);
    EXPECT_THAT(port.out.toStdString(), HasSubstr(": ポート番号 12 が 1〜9 の範囲外です"));

    // run follows check for what the file holds, and --lenient sends and runs such a file as
    // "開く" reads it: here the plates the file lost are the new document's.
    EXPECT_EQ(Kelvara({"run", Path("cut.dat")}).code, 2);
    EXPECT_EQ(Kelvara({"run", Path("cut.dat"), "--lenient"}).code, 0);
    Ran lenient = Kelvara({"send", Path("cut.dat"), "--lenient", "--port", sim.Link()});
    EXPECT_EQ(lenient.code, 0) << lenient.err;
    EXPECT_THAT(lenient.err, HasSubstr("注意: " + faults));
    Document opened;
    InitDocument(opened);
    ASSERT_EQ(ReadDataFile(fifty.left(600).toStdString(), opened), LoadStatus::Loaded);
    EXPECT_EQ(Kelvara({"read", "--port", sim.Link()}).out, FileOf(opened));

    // Usage: the reason and where to read more, exit 2; --help is no mistake.
    Ran usage = Kelvara({"read", "--port", "COM1", "--port", Path("a")});
    EXPECT_EQ(usage.code, 2);
    EXPECT_THAT(usage.err, HasSubstr("{port}"));
    EXPECT_THAT(usage.err, HasSubstr("詳しくは kelvara read --help を見てください。"));
    Ran bare = Kelvara({});
    EXPECT_EQ(bare.code, 2);
    EXPECT_TRUE(bare.out.startsWith("使い方: kelvara コマンド")) << bare.out.data();
    EXPECT_EQ(Kelvara({"help"}).out, bare.out);
    EXPECT_EQ(Kelvara({"help"}).code, 0);
    EXPECT_TRUE(Kelvara({"help", "read"}).out.startsWith("使い方: kelvara read"));
    for (const char* command : {"send", "read", "run", "check", "ports"}) {
        Ran help = Kelvara({command, "--help"});
        EXPECT_EQ(help.code, 0) << command;
        EXPECT_TRUE(help.out.startsWith(QByteArray("使い方: kelvara ") + command)) << command;
    }
    EXPECT_EQ(Kelvara({"--help"}).code, 0);
    EXPECT_TRUE(Kelvara({"--version"}).out.startsWith("kelvara " KELVARA_VERSION "\n"));
}

TEST_F(CliTest, ReadSavesThroughStandardOutputAndLooksAtEveryOutputFirst) {
    Simulator sim(dir_, "machine");
    ASSERT_TRUE(sim.Ready());
    Document start;
    InitDocument(start);
    // Through a pipe, and into a file the shell opened for appending (">> log.dat"), which
    // keeps what it held.
    Ran piped = Kelvara({"read", "-o", "/dev/stdout", "--port", sim.Link()});
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out, FileOf(start));
    QFile log(Path("log.dat"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("earlier\n");
    log.close();
    for (int i = 0; i < 2; ++i) {
        QProcess process;
        process.setStandardOutputFile(Path("log.dat"), QIODevice::Append);
        Start(process, {"read", "-o", "/dev/stdout", "--port", sim.Link()}, Environment());
        EXPECT_EQ(Finish(process).code, 0);
    }
    EXPECT_EQ(Contents(Path("log.dat")), "earlier\n" + FileOf(start) + FileOf(start));

    // Outputs that cannot be saved are refused before the port is opened (which would fail).
    ASSERT_TRUE(QDir(dir_.path()).mkdir("folder.dat"));
    const std::pair<QString, std::string> refused[] = {
        {Path("back"), "ファイル名に「.dat」が含まれていません"},
        {Path("missing/back.dat"), "保存できません: フォルダがありません"},
        {Path("folder.dat"), "保存できません: フォルダです"},
    };
    for (const auto& [output, message] : refused) {
        Ran ran = Kelvara({"read", "-o", output, "--port", Path("no-port")});
        EXPECT_EQ(ran.code, 2) << message;
        EXPECT_THAT(ran.err, HasSubstr(output.toStdString() + ": " + message));
        EXPECT_THAT(ran.err, Not(HasSubstr("ポートオープンエラー")));
    }
    // A save that fails says why, after the editor's text.
    Ran full = Kelvara({"read", "-o", "/dev/full", "--port", sim.Link()});
    EXPECT_EQ(full.code, 2);
    EXPECT_THAT(full.err,
                HasSubstr("ファイルを保存できませんでした。 /dev/full: ディスクがいっぱいです"));
}

TEST_F(CliTest, OneFileToFiveMachinesAtOnce) {
    std::vector<std::unique_ptr<Simulator>> sims;
    for (int i = 1; i <= 5; ++i) {
        sims.push_back(std::make_unique<Simulator>(dir_, QStringLiteral("m%1").arg(i),
                                                   QStringList{"--baud", "9600"}));
        ASSERT_TRUE(sims.back()->Ready());
    }
    // Three machines behind COM numbers, two named by their device.
    const QProcessEnvironment env = Environment({{"KELVARA_COM1", sims[0]->Link()},
                                                 {"KELVARA_COM2", sims[1]->Link()},
                                                 {"KELVARA_COM3", sims[2]->Link()}});
    const QStringList ports{"--port", "COM1",   "--port",        "COM2",   "--port",
                            "COM3",   "--port", sims[3]->Link(), "--port", sims[4]->Link()};
    const QString file = Save("fifty.dat", Varied(50));

    Ran sent = Kelvara(QStringList{"send", file} + ports, env);
    EXPECT_EQ(sent.code, 0) << sent.err;
    for (int n = 1; n <= 3; ++n) {
        EXPECT_THAT(sent.err,
                    HasSubstr("COM" + std::to_string(n) + " (" + sims[n - 1]->Link().toStdString() +
                              "): データ書き込み完了 159/159\n"));
    }
    EXPECT_THAT(sent.err, HasSubstr("/m4: データ書き込み完了 159/159\n"));
    EXPECT_THAT(sent.err, HasSubstr("/m5: データ書き込み完了 159/159\n"));

    Ran read = Kelvara(QStringList{"read", "-o", Path("back-{port}.dat")} + ports, env);
    EXPECT_EQ(read.code, 0) << read.err;
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(Contents(Path(QStringLiteral("back-COM%1.dat").arg(n))), FileOf(Varied(50), n));
    }
    EXPECT_EQ(Contents(Path("back-m4.dat")), Contents(file));
    EXPECT_EQ(Contents(Path("back-m5.dat")), Contents(file));

    // One port that does not open: the others still finish, the exit code is the worst.
    Ran mixed = Kelvara(
        {"send", file, "--port", sims[0]->Link(), "--port", Path("gone"), "--port", "COM2"}, env);
    EXPECT_EQ(mixed.code, 1);
    EXPECT_THAT(mixed.err, HasSubstr("/m1: データ書き込み完了 159/159\n"));
    EXPECT_THAT(mixed.err, HasSubstr("/gone: ポートオープンエラー発生\n"));
    EXPECT_THAT(mixed.err, HasSubstr("COM2 (" + sims[1]->Link().toStdString() +
                                     "): データ書き込み完了 159/159\n"));
}

// Both ports run on one loop: at 1200 baud each write takes about two seconds, and neither
// holds the other up long enough for its machine to drop the write (it would after 500 ms).
TEST_F(CliTest, TwoSlowMachinesEachGetTheWholeDocument) {
    Simulator first(dir_, "slow1", {"--baud", "1200"});
    Simulator second(dir_, "slow2", {"--baud", "1200"});
    ASSERT_TRUE(first.Ready() && second.Ready());
    const QString file = Save("fifty.dat", Varied(50));
    const QStringList ports{"--port", first.Link(), "--port", second.Link()};
    Ran sent = Kelvara(QStringList{"send", file} + ports);
    EXPECT_EQ(sent.code, 0) << sent.err;
    Ran read = Kelvara(QStringList{"read", "-o", Path("slow-{port}.dat")} + ports);
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_EQ(Contents(Path("slow-slow1.dat")), Contents(file));
    EXPECT_EQ(Contents(Path("slow-slow2.dat")), Contents(file));
}

TEST_F(CliTest, EachPortReportsWhenDoneAndSignalsStopTheRest) {
    Simulator silent(dir_, "silent", {"--silent"});
    Simulator sim(dir_, "machine");
    ASSERT_TRUE(silent.Ready() && sim.Ready());
    const QString file = Save("fifty.dat", Varied(50));
    const std::string done = "/machine: データ書き込み完了 159/159\n";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // Unanswered, the write would wait about three seconds for each of its 159 units.
        QProcess process;
        Start(process,
              {"send", file, "--port", silent.Link(), "--port", sim.Link(), "--keep-going"},
              Environment());
        process.setReadChannel(QProcess::StandardError);
        std::string err;
        while (err.find(done) == std::string::npos && process.waitForReadyRead(10000)) {
            err += process.readAllStandardError().toStdString();
        }
        ASSERT_THAT(err, HasSubstr(done)) << signal;
        EXPECT_EQ(process.state(), QProcess::Running) << signal;
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(10000)) << signal;
        err += process.readAllStandardError().toStdString();
        // Having cleaned up, it ends by the signal, so that a shell loop around it stops too
        // ($? is 128 + the signal).
        EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << signal;
        EXPECT_EQ(process.exitCode(), signal);
        EXPECT_THAT(err,
                    HasSubstr("/silent: 通信エラーもう一度やってください。（中断: 確認 0/159）\n"));
    }
}

TEST_F(CliTest, PortsListsTheComTable) {
    Ran ports = Kelvara({"ports"}, Environment({{"KELVARA_COM2", Path("ttyRoom2")}}));
    EXPECT_EQ(ports.code, 0);
    const QList<QByteArray> lines = ports.out.split('\n');
    ASSERT_EQ(lines.size(), 10);
    EXPECT_TRUE(lines[1].startsWith("COM2  " + Path("ttyRoom2").toUtf8())) << lines[1].data();
    EXPECT_TRUE(lines[1].endsWith("KELVARA_COM2（見つかりません）")) << lines[1].data();
    EXPECT_TRUE(lines[8].startsWith("COM9  "));
}

// Probing asks each machine for what it holds, and changes nothing: a second probe finds the
// same, and no file appears.
TEST_F(CliTest, ProbeTellsWhichMachinesAnswer) {
    Simulator sim(dir_, "machine");
    Simulator silent(dir_, "silent", {"--silent"});
    ASSERT_TRUE(sim.Ready() && silent.Ready());
    ASSERT_EQ(Kelvara({"send", Save("fifty.dat", Varied(50)), "--port", sim.Link()}).code, 0);
    const QProcessEnvironment env = Environment({{"KELVARA_COM1", sim.Link()},
                                                 {"KELVARA_COM2", silent.Link()},
                                                 {"KELVARA_COM3", Path("nothing")},
                                                 {"KELVARA_COM4", sim.Link()}});
    const QStringList files = QDir(dir_.path()).entryList(QDir::Files);
    for (int round = 0; round < 2; ++round) {
        // In COM order whichever answers first; a port without an answer makes it a failure.
        Ran probe = Kelvara({"ports", "--probe"}, env);
        EXPECT_EQ(probe.code, 1) << probe.err;
        QStringList headings = QString::fromUtf8(probe.out).split('\n');  // less the details
        headings.removeIf([](const QString& line) { return line.startsWith(' '); });
        EXPECT_EQ(headings.join('\n').toStdString(),
                  "COM1 (" + sim.Link().toStdString() +
                      "): 応答あり（通常モード、プレート 50 枚）\n" + "COM2 (" +
                      silent.Link().toStdString() + "): 応答なし\n" + "COM3 (" +
                      Path("nothing").toStdString() + "): ポートオープンエラー発生\n" +
                      "COM4: COM1 と同じデバイスです\n");
    }
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), files);
    Ran one = Kelvara({"ports", "--probe", "--port", silent.Link()});
    EXPECT_EQ(one.code, 1);
    EXPECT_EQ(one.out.toStdString(), silent.Link().toStdString() + ": 応答なし\n");
    EXPECT_EQ(Kelvara({"ports", "--port", sim.Link()}).code, 2);  // --port only to probe
}

// One device under two names would get two transfers at once, their characters mixed on the
// line: refused before anything is sent, naming both.
TEST_F(CliTest, OneDeviceUnderTwoNamesIsRefused) {
    Simulator sim(dir_, "machine");
    ASSERT_TRUE(sim.Ready());
    const QString file = Save("fifty.dat", Varied(50));
    const QString target = QFile::symLinkTarget(sim.Link());
    const QString doubled = dir_.path() + "//machine";
    const struct {
        QStringList ports;
        QProcessEnvironment env;
        std::string first, second;
    } cases[] = {
        {{sim.Link(), target}, Environment(), sim.Link().toStdString(), target.toStdString()},
        {{doubled, sim.Link()}, Environment(), doubled.toStdString(), sim.Link().toStdString()},
        {{"COM1", sim.Link()},
         Environment({{"KELVARA_COM1", target}}),
         "COM1",
         sim.Link().toStdString()},
        {{"COM2", "COM5"},
         Environment({{"KELVARA_COM2", sim.Link()}, {"KELVARA_COM5", target}}),
         "COM2",
         "COM5"},
    };
    for (const auto& c : cases) {
        QStringList args{"send", file};
        for (const QString& port : c.ports) args << "--port" << port;
        Ran ran = Kelvara(args, c.env);
        EXPECT_EQ(ran.code, 2) << ran.err;
        EXPECT_THAT(ran.err, HasSubstr("ポート " + c.first + " と " + c.second +
                                       " は同じデバイス (" + target.toStdString() + ") です"));
        EXPECT_THAT(ran.err, Not(HasSubstr("送信中")));
    }
}

// Output that cannot be written is a failure, never "完了" with exit code 0.
TEST_F(CliTest, OutputThatCannotBeWrittenIsAFailure) {
    Simulator sim(dir_, "machine");
    ASSERT_TRUE(sim.Ready());
    const QString file = Save("glider.dat", Glider());
    const struct {
        QStringList args;
        std::function<void(QProcess&)> prepare;
    } cases[] = {
        {{"read", "--port", sim.Link()}, IntoFullDisk},
        {{"read", "--port", sim.Link()}, StdoutClosed},
        {{"run", file, "--steps", "1000000", "--every"}, IntoFullDisk},
        {{"run", file}, StdoutClosed},
        {{"check", file}, IntoFullDisk},
        {{"ports"}, IntoFullDisk},
        {{"ports", "--probe", "--port", sim.Link()}, StdoutClosed},
        {{"--help"}, IntoFullDisk},
        {{"run", file, "--steps", "1000000", "--every"}, StdoutBrokenPipe},
        {{"read", "--port", sim.Link()}, StdoutBrokenPipe},
    };
    for (const auto& c : cases) {
        Ran ran = Kelvara(c.args, Environment(), c.prepare);
        EXPECT_EQ(ran.code, 2) << c.args.join(' ').toStdString() << "\n" << ran.err;
        EXPECT_THAT(ran.err, HasSubstr("標準出力に書き込めませんでした: "))
            << c.args.join(' ').toStdString();
        EXPECT_THAT(ran.err, Not(HasSubstr("完了"))) << c.args.join(' ').toStdString();
    }

    // Standard error's reader gone before the first progress line: both machines still get
    // the whole document, and the exit code tells that nobody heard of it.
    Simulator other(dir_, "other");
    ASSERT_TRUE(other.Ready());
    const QString fifty = Save("fifty.dat", Varied(50));
    Ran unheard =
        Kelvara({"send", fifty, "--port", sim.Link(), "--port", other.Link()}, Environment(),
                [](QProcess& process) { IntoBrokenPipe(process, STDERR_FILENO); });
    EXPECT_EQ(unheard.code, 3);
    for (const Simulator* machine : {&sim, &other}) {
        EXPECT_EQ(Kelvara({"read", "--port", machine->Link()}).out, Contents(fifty));
    }
}

}  // namespace
}  // namespace kelvara

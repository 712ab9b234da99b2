// The editor's transfers through the real QSerialPort against the real kelvara-sim program.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <string>
#include <vector>

#include "device/qt_serial_line.h"
#include "device/transfer.h"

namespace kelvara {
namespace {

// The simulator, started for one test and stopped at its end.
class Simulator {
  public:
    explicit Simulator(QStringList arguments) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(KELVARA_SIM_PROGRAM), arguments);
        if (!process_.waitForStarted(10000)) {
            return;
        }
        while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
        }
        path_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~Simulator() { Stop(); }

    const QString& Path() const { return path_; }

    // SIGTERM, as a user or a script stops it; returns the exit code.
    int Stop() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished();
                return -1;
            }
        }
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

  private:
    QProcess process_;
    QString path_;
};

class Host : public TransferHost {
  public:
    void ProcessEvents() override { QCoreApplication::processEvents(); }
    void Sleep(int milliseconds) override { QThread::msleep(static_cast<unsigned>(milliseconds)); }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void ArmStatusTimer() override {}
    void ShowPortOpenError() override { ++portErrors; }
    void ShowTransferError(const std::string&) override { ++portErrors; }
    bool Closing() const override { return false; }

    std::vector<std::string> statuses;
    int portErrors = 0;
};

// The editor's side: COM1 pointed at the simulator.
struct Editor {
    explicit Editor(const QString& port) {
        qputenv("KELVARA_COM1", port.toUtf8());
        InitDocument(doc);
    }
    // Runs one transfer on doc and returns its last status text.
    std::string Run(std::int16_t mode, const TransferTiming& timing = {}) {
        host.statuses.clear();
        ComMain(mode, doc, line, host, timing);
        return host.statuses.empty() ? std::string() : host.statuses.back();
    }

    QtSerialLine line;
    Host host;
    Document doc;
};

// A document whose plates all differ, so that a plate in the wrong place shows.
Document Varied(int plates) {
    Document doc;
    InitDocument(doc);
    doc.PlateCount = static_cast<std::int16_t>(plates);
    for (int i = 0; i < kCells; ++i) {
        doc.MaData[i] = static_cast<std::int16_t>(i % 5 == 1 || i / 8 == 6);
    }
    for (int p = 1; p <= plates; ++p) {
        for (int c = 0; c < kConditionCells; ++c) {
            doc.IfData[p][c] = static_cast<std::int16_t>((p * 7 + c * (p % 4 + 1)) % 3);
        }
        doc.AcData[p] = static_cast<std::int16_t>((p / 3) % 4);
    }
    return doc;
}

void ExpectSameDocument(const Document& actual, const Document& expected) {
    EXPECT_EQ(actual.GameMode, expected.GameMode);
    EXPECT_EQ(actual.PlateCount, expected.PlateCount);
    EXPECT_EQ(actual.MaData, expected.MaData);
    EXPECT_EQ(actual.IfData, expected.IfData);
    EXPECT_EQ(actual.AcData, expected.AcData);
}

TransferTiming Quick() {
    TransferTiming timing;
    timing.pollLimit = 20;
    return timing;
}

TEST(SimulatorTest, WriteAndReadBackThroughTheLink) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyKelvara"));
    Simulator sim({"--period", "0", "--link", link});
    ASSERT_FALSE(sim.Path().isEmpty());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.Path());

    Editor editor(link);
    editor.doc = Varied(50);
    const Document sent = editor.doc;
    EXPECT_EQ(editor.Run(kTransferWrite), kWriteDoneText);

    Editor reader(link);
    EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);
    ExpectSameDocument(reader.doc, sent);

    // A shorter document replaces it; plates above its count stay as the editor had them.
    editor.doc = Varied(3);
    EXPECT_EQ(editor.Run(kTransferWrite), kWriteDoneText);
    EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);
    EXPECT_EQ(reader.doc.PlateCount, 3);
    for (int p = 1; p <= 3; ++p) {
        EXPECT_EQ(reader.doc.IfData[p], editor.doc.IfData[p]) << "plate " << p;
        EXPECT_EQ(reader.doc.AcData[p], editor.doc.AcData[p]) << "plate " << p;
    }
    EXPECT_EQ(reader.doc.IfData[4], sent.IfData[4]);
    EXPECT_EQ(reader.host.portErrors + editor.host.portErrors, 0);

    // Stopped with SIGTERM, it ends cleanly and takes its link away.
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(QFileInfo::exists(link) || QFileInfo(link).isSymLink());
}

TEST(SimulatorTest, LifeGameModeIsReadBackAsMarkerAndPattern) {
    Simulator sim({"--period", "0", "--baud", "9600"});  // characters paced like the line
    ASSERT_FALSE(sim.Path().isEmpty());
    Editor editor(sim.Path());
    editor.doc = Varied(2);
    EXPECT_EQ(editor.Run(kTransferLifeGame), kLifeGameDoneText);

    Editor reader(sim.Path());
    reader.doc.PlateCount = 4;
    EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);
    EXPECT_EQ(reader.doc.GameMode, 1);
    EXPECT_EQ(reader.doc.MaData, editor.doc.MaData);
    EXPECT_EQ(reader.doc.PlateCount, 4);  // the marker carries no count
}

TEST(SimulatorTest, TheRunningMachineIsReadAsItIsNow) {
    Simulator sim({"--period", "20"});
    ASSERT_FALSE(sim.Path().isEmpty());
    Editor editor(sim.Path());
    Pattern upright{};
    upright[8 * 2 + 4] = upright[8 * 3 + 4] = upright[8 * 4 + 4] = kOn;
    Pattern flat{};
    flat[8 * 3 + 3] = flat[8 * 3 + 4] = flat[8 * 3 + 5] = kOn;
    editor.doc.MaData = flat;
    EXPECT_EQ(editor.Run(kTransferLifeGame), kLifeGameDoneText);

    // Every read shows one of the blinker's two phases; both turn up while it runs.
    bool sawFlat = false;
    bool sawUpright = false;
    for (int reads = 0; reads < 200 && !(sawFlat && sawUpright); ++reads) {
        ASSERT_EQ(editor.Run(kTransferRead), kReadDoneText);
        ASSERT_TRUE(editor.doc.MaData == flat || editor.doc.MaData == upright);
        sawFlat = sawFlat || editor.doc.MaData == flat;
        sawUpright = sawUpright || editor.doc.MaData == upright;
        QThread::msleep(7);
    }
    EXPECT_TRUE(sawFlat);
    EXPECT_TRUE(sawUpright);
}

TEST(SimulatorTest, FaultyMachinesEndInTheRetryText) {
    {
        Simulator sim({"--period", "0", "--silent"});
        ASSERT_FALSE(sim.Path().isEmpty());
        Editor editor(sim.Path());
        editor.doc = Varied(2);
        const Document before = editor.doc;
        EXPECT_EQ(editor.Run(kTransferWrite, Quick()), kTransferRetryText);
        EXPECT_EQ(editor.Run(kTransferRead, Quick()), kTransferRetryText);
        ExpectSameDocument(editor.doc, before);
    }
    {
        // "**" is no acknowledgement, though the machine took every unit.
        Simulator sim({"--period", "0", "--double-ack"});
        ASSERT_FALSE(sim.Path().isEmpty());
        Editor editor(sim.Path());
        editor.doc = Varied(2);
        EXPECT_EQ(editor.Run(kTransferWrite, Quick()), kTransferRetryText);
        Editor reader(sim.Path());
        EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);
        EXPECT_EQ(reader.doc.PlateCount, 2);
    }

    // Acknowledges the count and the pattern, then falls silent: the plates time out.
    Simulator sim({"--period", "0", "--stop-after", "9"});
    ASSERT_FALSE(sim.Path().isEmpty());
    Editor editor(sim.Path());
    EXPECT_EQ(editor.Run(kTransferLifeGame, Quick()), kLifeGameDoneText);
    EXPECT_EQ(editor.Run(kTransferWrite, Quick()), kTransferRetryText);
}

TEST(SimulatorTest, AStrayStarBeforeTheReplyIsRefused) {
    Simulator sim({"--period", "0", "--stray", "*"});
    ASSERT_FALSE(sim.Path().isEmpty());
    Editor editor(sim.Path());
    editor.doc = Varied(1);
    const Document before = editor.doc;
    TransferTiming timing;
    timing.pollLimit = 300;
    EXPECT_EQ(editor.Run(kTransferRead, timing), kTransferRetryText);
    ExpectSameDocument(editor.doc, before);

    // The stray came once; the next read takes the machine's new document.
    EXPECT_EQ(editor.Run(kTransferRead, timing), kReadDoneText);
    Document fresh;
    InitDocument(fresh);
    ExpectSameDocument(editor.doc, fresh);
}

}  // namespace
}  // namespace kelvara

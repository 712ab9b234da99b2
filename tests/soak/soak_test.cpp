// Many transfers from the real window through the real serial port against the simulated
// machine, with faults mixed in: silence, stopping part way, doubled acknowledgements, stray
// text and the machine killed in the middle of a transfer so its terminal disappears. Bounded
// in count and in time; prints what it did.
#include <signal.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include "../app/fake_dialogs.h"
#include "app/appearance.h"
#include "app/formmain.h"
#include "device/qt_serial_line.h"

using kelvara::FormMain;
using kelvara::test::FakeDialogs;

namespace {

constexpr int kMaxTransfers = 60;
constexpr qint64 kMaxMilliseconds = 60'000;

enum class Fault { None, Silent, StopAfter, DoubleAck, Stray, Killed };
const char* Name(Fault f) {
    switch (f) {
        case Fault::None:
            return "none";
        case Fault::Silent:
            return "silent";
        case Fault::StopAfter:
            return "stop-after";
        case Fault::DoubleAck:
            return "double-ack";
        case Fault::Stray:
            return "stray";
        case Fault::Killed:
            return "killed";
    }
    return "?";
}

class Simulator {
  public:
    explicit Simulator(const QStringList& flags) {
        process_.start(QStringLiteral(KELVARA_SIM_PROGRAM),
                       QStringList{"--quiet", "--period", "0"} + flags);
        if (!process_.waitForStarted(10000)) return;
        while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
        }
        path_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~Simulator() {
        process_.kill();
        process_.waitForFinished(10000);
    }
    const QString& path() const { return path_; }
    void Kill() { ::kill(static_cast<pid_t>(process_.processId()), SIGKILL); }

  private:
    QProcess process_;
    QString path_;
};

}  // namespace

class SoakTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { kelvara::ApplyAppearance(*qApp); }

    void manyTransfersWithFaults() {
        const quint32 seed = 20261208;
        QRandomGenerator random(seed);
        FakeDialogs dialogs;
        kelvara::QtSerialLine line;
        FormMain w(dialogs, &line);
        kelvara::TransferTiming timing;
        timing.pollLimit = 15;  // a failed wait gives up after about 50 ms
        w.editor().setTransferTiming(timing);
        w.show();

        int counts[6] = {};
        int failed = 0;
        int lineEvents = 0;
        int ticksDuringTransfers = 0;
        QTimer ticker;  // stands for the window's own timers and repaints
        connect(&ticker, &QTimer::timeout, [&] {
            if (w.editor().transferBusy()) ++ticksDuringTransfers;
        });
        ticker.start(2);

        QElapsedTimer clock;
        clock.start();
        int done = 0;
        for (; done < kMaxTransfers && clock.elapsed() < kMaxMilliseconds; ++done) {
            const auto fault = static_cast<Fault>(random.bounded(6));
            ++counts[static_cast<int>(fault)];
            QStringList flags;
            switch (fault) {
                case Fault::Silent:
                    flags << "--silent";
                    break;
                case Fault::StopAfter:
                    flags << "--stop-after" << QString::number(random.bounded(1, 9));
                    break;
                case Fault::DoubleAck:
                    flags << "--double-ack";
                    break;
                case Fault::Stray:
                    flags << "--stray"
                          << "*";
                    break;
                default:
                    break;
            }
            Simulator sim(flags);
            QVERIFY(!sim.path().isEmpty());
            qputenv("KELVARA_COM1", sim.path().toUtf8());

            // A varied document, in the mode the transfer needs.
            const int action = random.bounded(3);  // 0 read, 1 write, 2 life game
            auto& doc = w.document();
            doc.PlateCount = static_cast<std::int16_t>(random.bounded(1, 6));
            doc.NowPlate = 1;
            for (auto& cell : doc.MaData) cell = static_cast<std::int16_t>(random.bounded(2));
            w.editor().SetAll();
            w.OptionMode[action == 2 ? 1 : 0]->click();
            const kelvara::Document before = doc;

            // A click on a pattern cell in the middle of the transfer, and perhaps the
            // machine pulled away.
            bool clicked = false;
            QTimer::singleShot(3, &w, [&] {
                if (!w.editor().transferBusy()) return;
                w.CommandMa[63]->click();
                clicked = true;
            });
            if (fault == Fault::Killed)
                QTimer::singleShot(random.bounded(2, 12), [&] { sim.Kill(); });

            (action == 0 ? w.CommandRead : w.CommandSendData)->click();
            QTRY_VERIFY_WITH_TIMEOUT(!w.editor().transferBusy(), 10000);

            QVERIFY(!line.IsOpen());
            QVERIFY(!w.editor().transferBusy());
            QVERIFY(w.CommandSendData->isEnabled());
            const bool failedNow =
                w.LabelMes->text() == QStringLiteral("通信エラーもう一度やってください。");
            failed += failedNow;
            if (fault == Fault::None) QVERIFY2(!failedNow, Name(fault));
            // Doubled acknowledgements spoil every write; a read has none to wait for.
            if (fault == Fault::Silent || (fault == Fault::DoubleAck && action != 0)) {
                QVERIFY2(failedNow, Name(fault));
            }
            if (action == 0 && failedNow) {
                // A failed read changes nothing but what the click itself does.
                kelvara::Document expected = before;
                if (clicked)
                    expected.MaData[63] = static_cast<std::int16_t>(1 - expected.MaData[63]);
                QCOMPARE(doc.MaData, expected.MaData);
                QCOMPARE(doc.PlateCount, expected.PlateCount);
                QCOMPARE(doc.GameMode, expected.GameMode);
                QCOMPARE(doc.IfData, expected.IfData);
                QCOMPARE(doc.AcData, expected.AcData);
            }
            // A machine that vanishes is reported as a line event; nothing else shows a box.
            for (const auto& box : dialogs.boxes) {
                QVERIFY2(fault == Fault::Killed, box.text.c_str());
                QCOMPARE(box.text, std::string("未定義エラー発生"));
                QCOMPARE(box.title, std::string("通信エラー"));
            }
            lineEvents += static_cast<int>(dialogs.boxes.size());
            dialogs.boxes.clear();
        }
        qputenv("KELVARA_COM1", QByteArray());
        QVERIFY(done >= 20);
        QVERIFY(ticksDuringTransfers > 0);  // events ran between the polls
        qInfo(
            "soak: %d transfers in %lld ms, %d failed as expected; faults none %d, silent %d, "
            "stop-after %d, double-ack %d, stray %d, killed %d; %d line events; %d timer ticks "
            "during transfers",
            done, static_cast<long long>(clock.elapsed()), failed, counts[0], counts[1], counts[2],
            counts[3], counts[4], counts[5], lineEvents, ticksDuringTransfers);
    }
};

QTEST_MAIN(SoakTest)
#include "soak_test.moc"

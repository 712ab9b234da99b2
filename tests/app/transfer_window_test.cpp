// Transfers in the window: they run on the window's event loop, so a click returns at once, the
// buttons wait, Esc and closing end them, and a box or a file dialog opened meanwhile holds
// nothing. What each transfer does on the line is tested without Qt in tests/editor.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "../device/fake_device.h"
#include "app/appearance.h"
#include "app/formmain.h"
#include "fake_dialogs.h"

#if !defined(_WIN32)
#include <poll.h>

#include "../device/pty_device.h"
#include "../support/varied_document.h"
#include "device/qt_serial_line.h"
#include "machine/machine_protocol.h"
#endif

using kelvara::FormMain;
using kelvara::test::FakeDialogs;

namespace {

// A machine that answers at once, through the core's line interface (no input is announced:
// every wait between polls runs its time).
class ScriptedLine final : public kelvara::SerialLine {
  public:
    kelvara::fakes::FakeDevice device;
    bool open = false;

    void SelectPort(std::int16_t) override {}
    bool Open() override { return open = true; }
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }
    void Write(std::string_view text) override { pending_ += device.Take(text); }
    std::string ReadAll() override { return std::exchange(pending_, {}); }

  private:
    std::string pending_;
};

#if !defined(_WIN32)
using Clock = std::chrono::steady_clock;

// The simulated machine on the master side of a pseudo-terminal, on a thread of its own. It
// sends its answers at the pace of a line of the given speed and notes when each unit of the
// editor's arrives.
class PacedMachine {
  public:
    explicit PacedMachine(int baud)
        : charTime_(std::chrono::microseconds(10'000'000 / baud)),
          master_(kelvara::fakes::OpenRawPty(slave_)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~PacedMachine() {
        stop_ = true;
        thread_.join();
        ::close(master_);
    }
    const std::string& SlavePath() const { return slave_; }

    // What the machine holds and did, and the longest silence between two units.
    kelvara::Document Held() {
        const std::lock_guard lock(mutex_);
        return machine_.Held();
    }
    std::vector<kelvara::machine::Event> Events() {
        const std::lock_guard lock(mutex_);
        return machine_.TakeEvents();
    }
    std::chrono::milliseconds LongestGap() {
        const std::lock_guard lock(mutex_);
        return std::chrono::duration_cast<std::chrono::milliseconds>(longestGap_);
    }

  private:
    static std::int64_t NowMs() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   Clock::now().time_since_epoch())
            .count();
    }

    void Run() {
        std::optional<Clock::time_point> lastUnit;
        int half = 0;
        while (!stop_) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 1) <= 0 || (fd.revents & POLLIN) == 0) {
                if (fd.revents != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            char buffer[64];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                std::string answer;
                {
                    const std::lock_guard lock(mutex_);
                    answer = machine_.Take(std::string_view(&buffer[i], 1), NowMs());
                    if (++half == 2) {
                        half = 0;
                        const Clock::time_point now = Clock::now();
                        if (lastUnit) longestGap_ = std::max(longestGap_, now - *lastUnit);
                        lastUnit = now;
                    }
                }
                for (const char c : answer) {
                    std::this_thread::sleep_for(charTime_);
                    static_cast<void>(::write(master_, &c, 1));
                }
            }
        }
    }

    std::chrono::microseconds charTime_;
    std::string slave_;
    int master_ = -1;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    kelvara::machine::MachineProtocol machine_;
    Clock::duration longestGap_{};
    std::thread thread_;
};

// Closes each modal box or dialog that opens, after holding it open for a while as a user reads
// it; the titles in the order they came.
class ModalCloser {
  public:
    explicit ModalCloser(int holdMs) : holdMs_(holdMs) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
        timer_.start(10);
    }
    QStringList titles;

  private:
    void Check() {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (modal == nullptr || modal == open_) return;
        open_ = modal;
        titles << modal->windowTitle();
        QTimer::singleShot(holdMs_, modal, [modal] {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                box->button(QMessageBox::Ok)->click();
            } else {
                modal->reject();
            }
        });
    }

    int holdMs_;
    QDialog* open_ = nullptr;
    QTimer timer_;
};
#endif

}  // namespace

class TransferWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { kelvara::ApplyAppearance(*qApp); }

    void aTransferRunsOnTheEventLoopWhileTheButtonsWait() {
        FakeDialogs dialogs;
        ScriptedLine line;
        FormMain w(dialogs, &line);
        w.CommandSendData->click();  // returns at once: the exchange goes on from the loop
        QVERIFY(!w.CommandSendData->isEnabled());
        QVERIFY(!w.CommandRead->isEnabled());
        QVERIFY(w.editor().transferBusy());
        w.CommandMa[0]->click();  // editing stays possible
        QTRY_COMPARE(w.LabelMes->text(), QStringLiteral("データ書き込み完了"));
        QCOMPARE(line.device.received.substr(0, 4), std::string("0180"));
        QVERIFY(w.CommandSendData->isEnabled());
        QVERIFY(w.CommandRead->isEnabled());
        QVERIFY(!line.open);
    }

    void escStopsATransferAndKeepsTheDocument() {
#if defined(_WIN32)
        QSKIP(
            "the Windows build runs its window tests headless under Wine: no window is activated");
#endif
        FakeDialogs dialogs;
        ScriptedLine line;
        FormMain w(dialogs, &line);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Escape);  // nothing to stop: nothing happens
        QCOMPARE(w.LabelMes->text(), QStringLiteral("KelvaraEditor"));

        w.TextPlateNum->setFocus();
        line.device.answers = [](int unit) { return unit < 3; };  // then silent
        const kelvara::Document before = w.document();
        w.CommandSendData->click();
        QTRY_COMPARE(line.device.received.size(), size_t(6));  // the third unit waits
        QTest::keyClick(w.TextPlateNum, Qt::Key_Escape);
        QTRY_VERIFY(!w.editor().transferBusy());
        QCOMPARE(line.device.received.size(), size_t(6));  // nothing more went out
        QVERIFY(!line.open);
        QCOMPARE(w.LabelMes->text(), QStringLiteral("通信エラーもう一度やってください。"));
        QCOMPARE(w.document().MaData, before.MaData);
        QVERIFY(w.CommandSendData->isEnabled());
        QVERIFY(dialogs.boxes.empty());
    }

    void closingDuringATransferEndsAtOnce() {
#if defined(_WIN32)
        QSKIP(
            "the Windows build runs its window tests headless under Wine: no window is activated");
#endif
        FakeDialogs dialogs;
        ScriptedLine line;
        FormMain w(dialogs, &line);
        w.show();
        line.device.answers = [](int unit) { return unit < 3; };  // then silent
        w.CommandSendData->click();
        QTRY_COMPARE(line.device.received.size(), size_t(6));
        w.close();  // waits for the transfer's next poll
        QTRY_VERIFY(!w.isVisible());
        QVERIFY(!line.open);
        QCOMPARE(line.device.received.size(), size_t(6));  // nothing more was sent
        QVERIFY(dialogs.boxes.empty());
    }

    // A box and a file dialog, each held open longer than the machine waits before it drops a
    // write, in the middle of a write of 50 plates to a machine at 600 baud: the units keep
    // coming at the line's pace and the machine stores the whole document.
    void boxesAndDialogsOpenedDuringAWriteHoldNothing() {
#if defined(_WIN32)
        QSKIP("the machine is simulated on a pseudo-terminal");
#else
        PacedMachine machine(600);  // the write takes about 3.2 s
        qputenv("KELVARA_COM1", QByteArray::fromStdString(machine.SlavePath()));
        kelvara::QtDialogs dialogs;
        kelvara::QtSerialLine line(nullptr, [] { return std::vector<kelvara::PortInfo>{}; });
        FormMain w(dialogs, &line);
        w.show();
        const kelvara::Document sent = kelvara::test::Varied(50);
        kelvara::Document& doc = w.document();
        doc.PlateCount = sent.PlateCount;
        doc.MaData = sent.MaData;
        doc.IfData = sent.IfData;
        doc.AcData = sent.AcData;
        w.editor().SetAll();

        ModalCloser closer(static_cast<int>(kelvara::machine::kResyncPauseMs) + 300);
        w.CommandSendData->click();
        QTest::qWait(200);
        QVERIFY(w.editor().transferBusy());
        w.TextPlateNum->setText(QStringLiteral("99"));  // "現在そのプレートは作られてません"
        QVERIFY(w.editor().transferBusy());
        w.MenuNewSave->trigger();  // the save dialog, cancelled (opening waits for the transfer)
        QVERIFY(w.editor().transferBusy());
        QTRY_VERIFY_WITH_TIMEOUT(!w.editor().transferBusy(), 20000);
        qunsetenv("KELVARA_COM1");

        QCOMPARE(closer.titles, (QStringList{"エラー", "名前をつけて保存"}));
        QCOMPARE(w.LabelMes->text(), QStringLiteral("データ書き込み完了"));
        const auto events = machine.Events();
        QCOMPARE(events.size(), size_t(1));
        QVERIFY(events[0].kind == kelvara::machine::Event::Kind::kStored);
        QCOMPARE(events[0].plates, 50);
        const kelvara::Document held = machine.Held();
        QVERIFY(held.MaData == sent.MaData && held.IfData == sent.IfData &&
                held.AcData == sent.AcData);
        QVERIFY2(machine.LongestGap().count() < kelvara::machine::kResyncPauseMs,
                 qPrintable(QString::number(machine.LongestGap().count())));
#endif
    }
};

QTEST_MAIN(TransferWindowTest)
#include "transfer_window_test.moc"

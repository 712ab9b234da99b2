// The transfer buttons, the read handler around the exchange, line events and closing
// during a transfer, with a scripted device behind the line.
#include <QApplication>
#include <QtTest>
#include <functional>

#include "../device/fake_device.h"
#include "app/appearance.h"
#include "app/formmain.h"
#include "fake_dialogs.h"

using kelvara::FormMain;
using kelvara::test::FakeDialogs;

namespace {

class ScriptedLine final : public kelvara::SerialLine {
  public:
    kelvara::fakes::FakeDevice device;
    bool opens = true;
    bool open = false;
    int port = 0;
    int opened = 0;
    std::function<void(int poll)> onPoll;  // runs in every poll, before the answer is taken

    void SelectPort(std::int16_t number) override { port = number; }
    bool Open() override {
        open = opens;
        if (open) ++opened;
        return open;
    }
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }
    void Write(std::string_view text) override { pending_ += device.Take(text); }
    std::string ReadAll() override {
        if (onPoll) onPoll(polls_);
        ++polls_;
        return std::exchange(pending_, {});
    }
    void WaitForInput(int) override {}
    std::string OpenErrorDetails() const override { return details; }
    std::string details;

  private:
    std::string pending_;
    int polls_ = 0;
};

struct Window {
    FakeDialogs dialogs;
    ScriptedLine line;
    FormMain w{dialogs, &line};
    Window() {
        kelvara::TransferTiming fast;
        fast.pollLimit = 5;
        w.setTransferTiming(fast);
    }
};

}  // namespace

class TransferWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { kelvara::ApplyAppearance(*qApp); }

    void sendFollowsTheModeOptionAndThePortMenu() {
        Window t;
        t.w.menucom[2]->trigger();
        t.w.CommandSendData->click();
        QCOMPARE(t.line.port, 3);
        QCOMPARE(t.line.device.received, std::string("010000000000000000aaaa90"));
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("データ書き込み完了"));
        QVERIFY(!t.line.open);

        Window life;
        life.w.OptionMode[1]->click();
        life.w.CommandMa[0]->click();
        life.w.CommandSendData->click();
        QCOMPARE(life.line.device.received, std::string("ff8000000000000000"));
        QCOMPARE(life.w.LabelMes->text(), QStringLiteral("ライフゲームモード送信完了"));
    }

    void editsDuringATransferGoOutAndTheButtonsWait() {
        Window t;
        bool checked = false;
        t.line.onPoll = [&](int poll) {
            if (poll != 0) return;
            checked = true;
            QVERIFY(!t.w.CommandSendData->isEnabled());
            QVERIFY(!t.w.CommandRead->isEnabled());
            t.w.CommandMa[0]->click();  // editing stays possible
        };
        t.w.CommandSendData->click();
        QVERIFY(checked);
        // The count byte went out before the edit, row 0 after it.
        QCOMPARE(t.line.device.received.substr(0, 4), std::string("0180"));
        QVERIFY(t.w.CommandSendData->isEnabled());
        QVERIFY(t.w.CommandRead->isEnabled());
    }

    void readReplacesTheDocumentAndUndoBringsThePatternBack() {
        Window t;
        t.w.CommandMa[63]->click();
        t.line.device.reply = "*02f000000000000000a5a590000080*";
        t.w.CommandRead->click();
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("1/2"));
        QCOMPARE(t.w.CommandMa[0]->text(), QStringLiteral("1"));
        QCOMPARE(t.w.CommandMa[63]->text(), QStringLiteral("0"));
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("データ読み出し完了"));
        QVERIFY(t.w.OptionAc[0]->isChecked());  // plate 1 came last, method OFF(0)
        QVERIFY(t.w.CommandRe->isEnabled());
        t.w.CommandRe->click();
        QCOMPARE(t.w.CommandMa[0]->text(), QStringLiteral("0"));
        QCOMPARE(t.w.CommandMa[63]->text(), QStringLiteral("1"));
    }

    void readThatFailsStillTakesTheBackupAndShowsPlateOne() {
        Window t;
        t.w.CommandNext->click();
        t.w.CommandMa[5]->click();
        t.line.opens = false;
        t.line.details = "COM1 には何も接続されていません。";
        t.w.CommandRead->click();
        QCOMPARE(t.dialogs.boxes.size(), size_t(1));
        QCOMPARE(t.dialogs.boxes[0].text, QStringLiteral("ポートオープンエラー発生"));
        QCOMPARE(t.dialogs.boxes[0].title, QStringLiteral("通信エラー"));
        QCOMPARE(t.dialogs.boxes[0].details, QStringLiteral("COM1 には何も接続されていません。"));
        QVERIFY(t.dialogs.boxes[0].icon == kelvara::Dialogs::Icon::None);
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("KelvaraEditor"));
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("1/2"));
        QVERIFY(t.w.CommandRe->isEnabled());
        QCOMPARE(t.w.document().MaBackup[5], std::int16_t(1));

        // A silent device: the wait gives up and nothing of the document changes.
        t.line.opens = true;
        t.line.device.answers = [](int) { return false; };
        t.w.CommandRead->click();
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("通信エラーもう一度やってください。"));
        QCOMPARE(t.w.LabelPlate->text(), QStringLiteral("1/2"));
    }

    void unsendableDocumentNeverReachesTheLine() {
        Window t;
        t.w.document().IfData[1][0] = 7;  // as a hand-edited file can bring
        t.w.CommandSendData->click();
        QCOMPARE(t.dialogs.boxes.size(), size_t(1));
        QCOMPARE(t.dialogs.boxes[0].title, QStringLiteral("通信エラー"));
        QVERIFY(t.dialogs.boxes[0].icon == kelvara::Dialogs::Icon::Exclamation);
        QCOMPARE(t.line.opened, 0);
        QVERIFY(t.line.device.received.empty());

        // A file opened during the write brings a value without a character: the write stops
        // at that unit, the port closes and the same box tells why.
        Window mid;
        mid.line.onPoll = [&](int poll) {
            if (poll == 0) mid.w.document().MaData[20] = 2;  // row 2, not sent yet
        };
        mid.w.CommandSendData->click();
        QCOMPARE(mid.dialogs.boxes.size(), size_t(1));
        QCOMPARE(mid.dialogs.boxes[0].title, QStringLiteral("通信エラー"));
        QCOMPARE(mid.line.device.received, std::string("010000"));
        QVERIFY(!mid.line.open);
        QVERIFY(mid.w.CommandSendData->isEnabled());
    }

    void escStopsATransferAndKeepsTheDocument() {
#if defined(_WIN32)
        QSKIP(
            "the Windows build runs its window tests headless under Wine: no window is activated");
#endif
        Window t;
        t.w.show();
        t.w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        QTest::keyClick(&t.w, Qt::Key_Escape);  // nothing to stop: nothing happens
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("KelvaraEditor"));

        t.w.TextPlateNum->setFocus();
        t.line.device.answers = [](int unit) { return unit < 3; };  // then silent
        t.line.device.reply = "*01" + std::string(16, 'f') + "aaaa90*";
        t.w.CommandMa[9]->click();
        const kelvara::Document before = t.w.document();
        std::size_t sentAtEsc = 0;
        t.line.onPoll = [&](int poll) {
            if (poll != 6) return;
            sentAtEsc = t.line.device.received.size();
            QTest::keyClick(t.w.TextPlateNum, Qt::Key_Escape);
        };
        t.w.CommandSendData->click();
        QCOMPARE(t.line.device.received.size(), sentAtEsc);  // nothing more went out
        QVERIFY(!t.line.open);
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("通信エラーもう一度やってください。"));
        QCOMPARE(t.w.document().MaData, before.MaData);
        QCOMPARE(t.w.document().PlateCount, before.PlateCount);
        QVERIFY(t.w.CommandSendData->isEnabled());
        QVERIFY(t.dialogs.boxes.empty());
        // The next transfer is not stopped by the Esc of the last.
        t.line.device = {};
        t.line.onPoll = nullptr;
        t.w.CommandSendData->click();
        QCOMPARE(t.w.LabelMes->text(), QStringLiteral("データ書き込み完了"));
    }

    void lineEventsShowTheirMessage() {
        Window t;
        t.w.LineEvent(2);  // characters received: ignored
        QVERIFY(t.dialogs.boxes.empty());
        t.w.LineEvent(1004);
        t.w.LineEvent(1002);
        QCOMPARE(t.dialogs.boxes.size(), size_t(2));
        QCOMPARE(t.dialogs.boxes[0].text, QStringLiteral("フレームエラー"));
        QCOMPARE(t.dialogs.boxes[0].title, QStringLiteral("通信エラー"));
        QVERIFY(t.dialogs.boxes[0].icon == kelvara::Dialogs::Icon::Exclamation);
        QCOMPARE(t.dialogs.boxes[1].text, QStringLiteral("未定義エラー発生"));
    }

    void closingDuringATransferEndsAtOnce() {
#if defined(_WIN32)
        QSKIP(
            "the Windows build runs its window tests headless under Wine: no window is activated");
#endif
        Window t;
        t.w.show();
        std::size_t sentAtClose = 0;
        t.line.onPoll = [&](int poll) {
            if (poll != 2) return;
            // The click on the close box arrives with the window's next events.
            QTimer::singleShot(0, &t.w, [&] {
                sentAtClose = t.line.device.received.size();
                t.w.close();
            });
        };
        t.w.CommandSendData->click();
        QVERIFY(!t.line.open);
        QVERIFY(sentAtClose > 0);
        QCOMPARE(t.line.device.received.size(), sentAtClose);  // nothing more was sent
        QVERIFY(t.dialogs.boxes.empty());
        QTRY_VERIFY(!t.w.isVisible());
    }
};

QTEST_MAIN(TransferWindowTest)
#include "transfer_window_test.moc"

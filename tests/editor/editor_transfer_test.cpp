// The transfer buttons, the read around the exchange, stopping and closing during a transfer,
// with a scripted machine behind the line and the waits run as the window's event loop runs
// them.
#include <gtest/gtest.h>

#include "editor_fakes.h"

namespace kelvara {
namespace {

using test::ScriptedLine;
using test::Window;

TEST(EditorTransferTest, SendFollowsTheModeOptionAndThePortMenu) {
    ScriptedLine line;
    Window t(&line);
    t.editor.menucomClick(2);
    t.editor.CommandSendDataClick();
    // One transfer and one document at a time: editing stays possible.
    for (const Control c : {Control::kSendData, Control::kRead, Control::kNew, Control::kOpen}) {
        EXPECT_FALSE(t.view.Enabled(c));
    }
    EXPECT_TRUE(t.view.Enabled(Control::kStopKey));
    EXPECT_TRUE(t.editor.transferBusy());
    t.editor.MenuNewClick();  // as a key or a menu still might
    t.editor.MenuOpenClick();
    EXPECT_TRUE(t.view.openRequests.empty());
    t.Settle();
    EXPECT_EQ(line.port, 3);
    EXPECT_EQ(line.device.received, "010000000000000000aaaa90");
    EXPECT_EQ(t.view.status, "データ書き込み完了");
    EXPECT_EQ(t.view.announced,
              (std::vector<std::string>{"書き込みデータ送信中", "データ書き込み完了"}));
    EXPECT_FALSE(line.open);
    for (const Control c : {Control::kSendData, Control::kRead, Control::kNew, Control::kOpen}) {
        EXPECT_TRUE(t.view.Enabled(c));
    }
    EXPECT_FALSE(t.view.Enabled(Control::kStopKey));
    EXPECT_FALSE(t.editor.transferBusy());

    ScriptedLine lifeLine;
    Window life(&lifeLine);
    life.editor.OptionModeClick(1);
    life.editor.CommandMaClick(0);
    life.editor.CommandSendDataClick();
    life.Settle();
    EXPECT_EQ(lifeLine.device.received, "ff8000000000000000");
    EXPECT_EQ(life.view.status, "ライフゲームモード送信完了");

    // A window without a line sends nothing and stays as it was.
    Window none;
    none.editor.CommandSendDataClick();
    EXPECT_FALSE(none.view.scheduled);
    EXPECT_EQ(none.view.status, "KelvaraEditor");
}

TEST(EditorTransferTest, EditsDuringATransferGoOutAndASecondTransferWaits) {
    ScriptedLine line;
    Window t(&line);
    t.editor.CommandSendDataClick();
    bool edited = false;
    t.Settle([&] {
        if (edited) return;
        edited = true;
        t.editor.CommandMaClick(0);   // editing stays possible
        t.editor.CommandReadClick();  // the port has one transfer at a time
    });
    // The count byte went out before the edit, row 0 after it; no read request came between.
    EXPECT_EQ(line.device.received.substr(0, 4), "0180");
    EXPECT_EQ(line.device.received.size(), 24u);
    EXPECT_EQ(line.opened, 1);
    EXPECT_EQ(t.view.status, "データ書き込み完了");
}

TEST(EditorTransferTest, ReadReplacesTheDocumentAndUndoBringsThePatternBack) {
    ScriptedLine line;
    Window t(&line);
    t.editor.CommandMaClick(63);
    line.device.reply = "*02f000000000000000a5a590000080*";
    t.editor.CommandReadClick();
    EXPECT_TRUE(t.view.Enabled(Control::kUndo));
    t.Settle();
    EXPECT_EQ(t.view.plateLabel, "1/2");
    EXPECT_EQ(t.view.pattern[0], "1");
    EXPECT_EQ(t.view.pattern[63], "0");
    EXPECT_EQ(t.view.status, "データ読み出し完了");
    EXPECT_EQ(t.view.method, 0);  // plate 1 came last, method OFF(0)
    t.editor.CommandReClick();
    EXPECT_EQ(t.view.pattern[0], "0");
    EXPECT_EQ(t.view.pattern[63], "1");
}

TEST(EditorTransferTest, ReadThatFailsStillTakesTheBackupAndShowsPlateOne) {
    ScriptedLine line;
    Window t(&line);
    t.editor.CommandNextClick();
    t.editor.CommandMaClick(5);
    line.opens = false;
    line.details = "COM1 には何も接続されていません。";
    t.editor.CommandReadClick();
    EXPECT_FALSE(t.view.scheduled);
    ASSERT_EQ(t.view.boxes.size(), 1u);
    EXPECT_EQ(t.view.boxes[0].text, "ポートオープンエラー発生");
    EXPECT_EQ(t.view.boxes[0].title, "通信エラー");
    EXPECT_EQ(t.view.boxes[0].details, "COM1 には何も接続されていません。");
    EXPECT_EQ(t.view.boxes[0].icon, Box::Icon::kNone);
    EXPECT_EQ(t.view.status, "KelvaraEditor");
    EXPECT_EQ(t.view.plateLabel, "1/2");
    EXPECT_TRUE(t.view.Enabled(Control::kUndo));
    EXPECT_TRUE(t.view.Enabled(Control::kRead));
    EXPECT_EQ(t.doc().MaBackup[5], 1);

    // A silent machine: the wait gives up and nothing of the document changes.
    line.opens = true;
    line.device.answers = [](int) { return false; };
    t.editor.CommandNextClick();
    t.editor.CommandReadClick();
    t.Settle();
    EXPECT_EQ(t.view.status, "通信エラーもう一度やってください。");
    EXPECT_EQ(t.view.plateLabel, "1/2");
}

TEST(EditorTransferTest, UnsendableDocumentNeverReachesTheLine) {
    ScriptedLine line;
    Window t(&line);
    t.doc().IfData[1][0] = 7;  // as a hand-edited file can bring
    t.editor.CommandSendDataClick();
    ASSERT_EQ(t.view.boxes.size(), 1u);
    EXPECT_EQ(t.view.boxes[0].title, "通信エラー");
    EXPECT_EQ(t.view.boxes[0].icon, Box::Icon::kExclamation);
    EXPECT_EQ(line.opened, 0);
    EXPECT_TRUE(line.device.received.empty());
    EXPECT_TRUE(t.view.Enabled(Control::kSendData));

    // A value without a character arrives during the write: the write stops at that unit, the
    // port closes and the same box tells why.
    ScriptedLine midLine;
    Window mid(&midLine);
    mid.editor.CommandSendDataClick();
    bool edited = false;
    mid.Settle([&] {
        if (!std::exchange(edited, true)) mid.doc().MaData[20] = 2;  // row 2, not sent yet
    });
    ASSERT_EQ(mid.view.boxes.size(), 1u);
    EXPECT_EQ(mid.view.boxes[0].title, "通信エラー");
    EXPECT_EQ(midLine.device.received, "010000");
    EXPECT_FALSE(midLine.open);
    EXPECT_TRUE(mid.view.Enabled(Control::kSendData));
}

// Esc and closing the window end the transfer at its next poll: nothing more is sent and the
// port is closed; a close then goes ahead, and the next transfer is not stopped by the last Esc.
TEST(EditorTransferTest, StopAndCloseEndTheTransferAtItsNextPoll) {
    ScriptedLine line;
    Window t(&line);
    t.editor.StopTransfer();  // nothing to stop: nothing happens
    EXPECT_EQ(t.view.status, "KelvaraEditor");
    line.device.answers = [](int unit) { return unit < 3; };  // then silent
    t.editor.CommandMaClick(9);
    const Document before = t.doc();
    t.editor.CommandSendDataClick();
    int polls = 0;
    std::size_t sentAtStop = 0;
    t.Settle([&] {
        if (++polls != 6) return;
        sentAtStop = line.device.received.size();
        t.editor.StopTransfer();
    });
    EXPECT_EQ(line.device.received.size(), sentAtStop);
    EXPECT_FALSE(line.open);
    EXPECT_EQ(t.view.status, "通信エラーもう一度やってください。");
    EXPECT_EQ(t.doc().MaData, before.MaData);
    EXPECT_TRUE(t.view.boxes.empty());
    line.device = {};
    t.editor.CommandSendDataClick();
    t.Settle();
    EXPECT_EQ(t.view.status, "データ書き込み完了");

    EXPECT_TRUE(t.editor.CloseRequested());  // no transfer: at once
    line.device = {};
    t.editor.CommandSendDataClick();
    polls = 0;
    std::size_t sentAtClose = 0;
    t.Settle([&] {
        if (++polls != 2) return;
        sentAtClose = line.device.received.size();
        EXPECT_FALSE(t.editor.CloseRequested());
    });
    EXPECT_GT(sentAtClose, 0u);
    EXPECT_EQ(line.device.received.size(), sentAtClose);
    EXPECT_FALSE(line.open);
    EXPECT_TRUE(t.view.closed);
    EXPECT_TRUE(t.view.boxes.empty());
}

// After a transfer that ended in the middle, the next one lets the line rest until the machine
// has dropped the unfinished write (it does after half a second of silence) before its first
// character; after a whole one, or once the line has rested, none.
TEST(EditorTransferTest, TheLineRestsAfterATransferThatEndedInTheMiddle) {
    ScriptedLine line;
    Window t(&line);
    std::int64_t now = 0;
    t.editor.setClock([&] { return now; });
    // The first wait of a transfer started at `at`: a rest when nothing has gone out before it.
    const auto rest = [&](std::int64_t at, const std::function<void()>& click) {
        now = at;
        line.device = {};
        click();
        const bool silent = line.device.received.empty() && t.view.scheduled;
        const int ms = silent ? t.view.scheduled->milliseconds : 0;
        t.Settle();
        return ms;
    };
    const auto send = [&] { t.editor.CommandSendDataClick(); };
    const auto read = [&] { t.editor.CommandReadClick(); };
    TransferTiming timing;
    timing.pollLimit = 5;
    timing.endAtFirstTimeOut = true;
    t.editor.setTransferTiming(timing);
    line.device.answers = [](int unit) { return unit != 4; };  // stops answering at unit 4
    now = 1000;
    send();
    t.Settle();
    EXPECT_EQ(t.view.status, "通信エラーもう一度やってください。");
    EXPECT_EQ(rest(1200, send), 400);  // 600 ms after the broken one ended
    EXPECT_EQ(t.view.status, "データ書き込み完了");
    EXPECT_EQ(rest(1300, send), 0);  // that one was whole
    // A read that got no whole reply is broken too; one that never opened leaves the line as
    // it was.
    now = 5000;
    line.device = {};
    line.device.answers = [](int) { return false; };
    read();
    t.Settle();
    line.opens = false;
    rest(5100, send);
    line.opens = true;
    EXPECT_EQ(rest(5200, send), 400);
    EXPECT_EQ(rest(7000, read), 0);
}

}  // namespace
}  // namespace kelvara

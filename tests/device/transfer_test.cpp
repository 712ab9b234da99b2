#include "device/transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <utility>
#include <vector>

#include "fake_device.h"

namespace kelvara {
namespace {

using Trace = std::vector<std::string>;
const std::string kRetry = std::string("status:") + kTransferRetryText;

// The line (to a FakeDevice whose answers wait as soon as it is written to) and the window,
// recording everything in one trace.
struct Rig : SerialLine, TransferHost {
    Rig() { InitDocument(doc); }

    void SelectPort(std::int16_t number) override { Log("port:" + std::to_string(number)); }
    bool Open() override {
        Log("open");
        if (opensLater) {
            opening = true;
            return false;
        }
        open = !openFails;
        return open;
    }
    bool Opening() const override { return opening; }
    bool NoPortChosen() const override { return noneChosen; }
    bool IsOpen() const override { return open; }
    void Close() override {
        Log("close");
        open = opening = false;
    }
    void Write(std::string_view text) override {
        EXPECT_TRUE(open);
        Log("w:" + std::string(text));
        pending += device.Take(text);
    }
    std::string ReadAll() override { return std::exchange(pending, {}); }

    void SetStatus(const std::string& text) override { Log("status:" + text); }
    void ArmStatusTimer() override { Log("arm"); }
    void ShowPortOpenError() override { Log("portError"); }
    void ShowTransferError(const std::string& text) override { Log("refused:" + text); }
    bool Closing() const override { return closing; }
    bool StopRequested() const override { return stopping; }
    void Progress(int done, int total) override {
        progress.push_back(std::to_string(done) + "/" + std::to_string(total));
    }

    void Log(std::string entry) { trace.push_back(std::move(entry)); }

    // Runs the transfer as the window's event loop does, each wait in the trace: "p" for the
    // events before a poll, "i3" for the wait after an unanswered one, "s10" for a pause.
    // Returns the trace with each run of polls as "wait:<polls>".
    Trace Run(std::int16_t mode) {
        ComMain transfer(mode, doc, *this, *this, timing);
        for (TransferWait wait = transfer.Resume(); wait.kind != TransferWait::Kind::kDone;
             wait = transfer.Resume()) {
            switch (wait.kind) {
                case TransferWait::Kind::kEvents:
                    Log("p");
                    if (onPoll) onPoll(++polls);
                    break;
                case TransferWait::Kind::kInput:
                    Log("i" + std::to_string(wait.milliseconds));
                    if (opening && onOpening) onOpening();
                    break;
                default:
                    Log("s" + std::to_string(wait.milliseconds));
                    break;
            }
        }
        EXPECT_TRUE(transfer.Finished());
        result = transfer.Result();
        Trace out;
        for (std::size_t i = 0; i < trace.size();) {
            int n = 0;
            for (; i < trace.size() && (trace[i] == "p" || (n > 0 && trace[i] == "i3")); ++i) {
                n += trace[i] == "p";
            }
            out.push_back(n > 0 ? "wait:" + std::to_string(n) : trace[i++]);
        }
        return out;
    }
    static long Count(const Trace& compact, const std::string& entry) {
        return std::count(compact.begin(), compact.end(), entry);
    }

    Document doc;
    TransferTiming timing;
    fakes::FakeDevice device;
    Trace trace;
    std::string pending;
    bool open = false, openFails = false, closing = false, stopping = false;
    bool opensLater = false, opening = false, noneChosen = false;
    std::function<void()> onOpening;  // at each wait while the line opens
    int polls = 0;
    TransferResult result = TransferResult::kDone;
    std::vector<std::string> progress;
    std::function<void(int poll)> onPoll;
};

Trace Tail(const Trace& trace, int n) { return Trace(trace.end() - n, trace.end()); }

TEST(WriteTransferTest, NewDocumentGoesOutUnitByUnit) {
    Rig rig;
    rig.doc.ComPort = 3;
    Trace expected{"port:3", "open", "status:書き込みデータ送信中", "w:01", "s10"};
    for (int row = 0; row < 8; ++row) {
        expected.insert(expected.end(), {"wait:1", "w:00"});
    }
    expected.insert(expected.end(),
                    {"s10", "wait:1", "w:a", "w:a", "wait:1", "w:a", "w:a", "wait:1", "w:9", "w:0",
                     "s10", "wait:1", "status:データ書き込み完了", "arm", "close"});
    EXPECT_EQ(rig.Run(kTransferWrite), expected);
    EXPECT_EQ(rig.device.received, "010000000000000000aaaa90");
    EXPECT_EQ(rig.result, TransferResult::kDone);
    EXPECT_EQ(rig.progress.front(), "1/12");
    EXPECT_EQ(rig.progress.back(), "12/12");
    EXPECT_EQ(rig.progress.size(), 12u);
}

TEST(WriteTransferTest, FiftyPlatesAndARowGoOutInOrder) {
    Rig rig;
    rig.doc.PlateCount = 50;
    std::copy_n(Pattern{1, 0, 1, 1, 0, 0, 0, 1}.begin(), 8, rig.doc.MaData.begin() + 16);
    // Plates cycle through four whose text is known.
    const std::int16_t cell[] = {kOff, kOn, kAny, kAny};
    const std::int16_t method[] = {kMethodOff, kMethodRandom, kMethodInvert, kMethodOff};
    const char* const text[] = {"000000", "555570", "aaaaa0", "aaaa80"};
    std::string plates;
    for (int p = 1; p <= 50; ++p) {
        rig.doc.IfData[p].fill(cell[p % 4]);
        rig.doc.AcData[p] = method[p % 4];
        plates += text[p % 4];
    }
    const Trace trace = rig.Run(kTransferWrite);
    EXPECT_EQ(rig.device.received, "320000B10000000000" + plates);
    EXPECT_EQ(rig.Count(trace, "wait:1"), 159);
    EXPECT_EQ(rig.Count(trace, "s10"), 52);
    EXPECT_EQ(Tail(trace, 3)[0], "status:データ書き込み完了");
}

TEST(LifeGameTransferTest, SendsMarkerAndRowsAndNoPlates) {
    Rig rig;
    rig.doc.PlateCount = 50;
    std::copy_n(Pattern{1, 0, 1, 1, 0, 0, 0, 1}.begin(), 8, rig.doc.MaData.begin());
    Trace expected{"port:1", "open", "status:ライフゲームモードデータ送信中", "w:ff", "s10",
                   "wait:1", "w:B1"};
    for (int row = 1; row < 8; ++row) {
        expected.insert(expected.end(), {"wait:1", "w:00"});
    }
    // No 10 ms sleep before the last wait.
    expected.insert(expected.end(),
                    {"wait:1", "status:ライフゲームモード送信完了", "arm", "close"});
    EXPECT_EQ(rig.Run(kTransferLifeGame), expected);
    EXPECT_EQ(rig.device.received, "ffB100000000000000");
}

TEST(WriteTransferTest, OnlyASingleStarAcknowledgesAndEveryByteStillGoesOut) {
    for (const char* ack : {"**", "*x", "x*", ""}) {
        Rig rig;
        rig.device.ack = ack;
        const Trace trace = rig.Run(kTransferLifeGame);
        EXPECT_EQ(rig.Count(trace, "wait:1002"), 9) << ack;
        EXPECT_EQ(rig.device.received, "ff0000000000000000") << ack;
        EXPECT_EQ(Tail(trace, 4),
                  (Trace{"status:ライフゲームモード送信完了", "arm", "close", kRetry}));
    }
    Rig stops;  // a device that stops after the pattern
    stops.device.answers = [](int unit) { return unit <= 9; };
    stops.doc.PlateCount = 2;
    Trace trace = stops.Run(kTransferWrite);
    EXPECT_EQ(stops.device.received, "02" + std::string(16, '0') + "aaaa90aaaa90");
    EXPECT_EQ(stops.Count(trace, "wait:1002"), 6);
    EXPECT_EQ(Tail(trace, 4), (Trace{"status:データ書き込み完了", "arm", "close", kRetry}));

    // Told to end at the first wait that gives up: nothing goes out after the unanswered unit,
    // and a read that gets no reply never shows its completion text.
    Rig first;
    first.timing.endAtFirstTimeOut = true;
    first.device.answers = [](int unit) { return unit <= 9; };
    first.doc.PlateCount = 2;
    trace = first.Run(kTransferWrite);
    EXPECT_EQ(first.device.received, "02" + std::string(16, '0') + "aa");
    EXPECT_EQ(Tail(trace, 3), (Trace{"wait:1002", "close", kRetry}));
    EXPECT_EQ(first.result, TransferResult::kGaveUp);
    EXPECT_EQ(first.progress.back(), "9/15");
    Rig silent;
    silent.timing.endAtFirstTimeOut = true;
    silent.device.answers = [](int) { return false; };
    EXPECT_EQ(silent.Run(kTransferRead), (Trace{"port:1", "open", "status:データ読み出し中", "w:00",
                                                "s30", "wait:1002", "close", kRetry}));

    Rig late;  // later good waits do not clear the flag
    late.device.answers = [](int unit) { return unit != 1; };
    trace = late.Run(kTransferWrite);
    EXPECT_EQ(late.Count(trace, "wait:1002"), 1);
    EXPECT_EQ(trace.back(), kRetry);
}

TEST(WriteTransferTest, EditsDuringWaitsGoOutWithTheFollowingUnits) {
    Rig rig;
    // Poll k (k = 1..8) comes before row k - 1 goes out; after poll 9 the plate loop reads the
    // count; poll 11 comes after plate 1's pairs, before its last byte.
    rig.onPoll = [&](int poll) {
        if (poll == 3) {
            rig.doc.MaData[16] = kOn;  // row 2
            rig.doc.MaData[0] = kOn;   // row 0 has gone already
        } else if (poll == 9) {
            rig.doc.PlateCount = 2;
            rig.doc.IfData[2].fill(kOff);
        } else if (poll == 11) {
            rig.doc.AcData[1] = kMethodRandom;
        }
    };
    rig.Run(kTransferWrite);
    EXPECT_EQ(rig.device.received, "010000800000000000aaaab0000010");
}

TEST(TransferTest, ClosingTheWindowStopsAtOnceAndClosesThePort) {
    Rig rig;
    rig.onPoll = [&](int poll) { rig.closing = poll == 4; };
    EXPECT_EQ(Tail(rig.Run(kTransferWrite), 3), (Trace{"w:00", "wait:1", "close"}));
    EXPECT_EQ(rig.device.received, "01000000");  // the count and rows 0..2

    Rig read;
    read.device.answers = [](int) { return false; };
    read.onPoll = [&](int poll) { read.closing = poll == 500; };
    EXPECT_EQ(read.Run(kTransferRead), (Trace{"port:1", "open", "status:データ読み出し中", "w:00",
                                              "s30", "wait:500", "close"}));

    Rig closed;
    closed.closing = true;
    EXPECT_TRUE(closed.Run(kTransferWrite).empty());
}

TEST(TransferTest, OtherModesOpenAndCloseOnlyAndAFailedOpenShowsOnlyTheBox) {
    for (const std::int16_t mode : {3, 7, -1}) {
        EXPECT_EQ(Rig().Run(mode), (Trace{"port:1", "open", "close"})) << mode;
    }
    for (const std::int16_t mode : {kTransferRead, kTransferWrite, kTransferLifeGame}) {
        Rig rig;
        rig.openFails = true;
        EXPECT_EQ(rig.Run(mode), (Trace{"port:1", "open", "portError"})) << mode;
        EXPECT_EQ(rig.result, TransferResult::kPortOpenFailed);
    }
}

// A line that opens in the background (a browser asking the user for a port): the routine waits
// for it, then goes on as after any open; a port not chosen is told on the status label, and Esc
// or closing the window while the line opens gives the opening up.
TEST(TransferTest, ALineThatOpensLaterIsWaitedFor) {
    const std::string wait = "i" + std::to_string(TransferWait::kOpeningCheckMs);
    const struct {
        const char* name;
        std::function<void(Rig&)> whileOpening;
        Trace tail;
        TransferResult result;
    } cases[] = {
        {"opened",
         [](Rig& r) { r.opening = false, r.open = true; },
         {"status:ライフゲームモード送信完了", "arm", "close"},
         TransferResult::kDone},
        {"not chosen",
         [](Rig& r) { r.opening = false, r.noneChosen = true; },
         {"open", wait, wait, std::string("status:") + kNoPortChosenText},
         TransferResult::kNotChosen},
        {"failed",
         [](Rig& r) { r.opening = false; },
         {"open", wait, wait, "portError"},
         TransferResult::kPortOpenFailed},
        {"stopped",
         [](Rig& r) { r.stopping = true; },
         {"open", wait, wait, "close", kRetry},
         TransferResult::kStopped},
        {"closing",
         [](Rig& r) { r.closing = true; },
         {"open", wait, wait, "close"},
         TransferResult::kClosing},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.opensLater = true;
        int waits = 0;
        rig.onOpening = [&] {
            if (++waits == 2) c.whileOpening(rig);
        };
        const Trace trace = rig.Run(kTransferLifeGame);
        EXPECT_EQ(Tail(trace, static_cast<int>(c.tail.size())), c.tail) << c.name;
        EXPECT_EQ(rig.result, c.result) << c.name;
        EXPECT_EQ(rig.device.received,
                  c.result == TransferResult::kDone ? "ff" + std::string(16, '0') : std::string())
            << c.name;
    }
}

// Esc and a line that goes away end the exchange at the poll that notices them: nothing more is
// sent, the port closes, and the label asks to try again; the document keeps what it had.
TEST(TransferTest, AStopOrALostLineEndsAtTheNextPollLikeATimeOut) {
    for (const bool lost : {false, true}) {
        Rig rig;
        rig.onPoll = [&](int poll) {
            if (poll != 4) return;
            (lost ? rig.open : rig.stopping) = !lost;
        };
        const Trace trace = rig.Run(kTransferWrite);
        EXPECT_EQ(Tail(trace, 3), (Trace{"wait:1", "close", kRetry})) << lost;
        EXPECT_EQ(rig.device.received, "01000000") << lost;  // the count and rows 0..2
        EXPECT_EQ(rig.result, lost ? TransferResult::kLineLost : TransferResult::kStopped);

        Rig read;
        read.device.answers = [](int) { return false; };
        read.doc.MaData[9] = kOn;
        const Document before = read.doc;
        read.onPoll = [&](int poll) {
            if (poll == 7) (lost ? read.open : read.stopping) = !lost;
        };
        EXPECT_EQ(read.Run(kTransferRead), (Trace{"port:1", "open", "status:データ読み出し中",
                                                  "w:00", "s30", "wait:7", "close", kRetry}));
        EXPECT_EQ(read.doc.MaData, before.MaData);
        EXPECT_EQ(read.doc.PlateCount, before.PlateCount);
    }
}

// A value edited in while the write runs that has no character stops the write at that unit:
// nothing is sent in its place or after it, and the box names what cannot go.
TEST(WriteTransferTest, AnUnsendableValueEditedInStopsTheWriteAtItsUnit) {
    Rig rig;
    rig.doc.PlateCount = 2;
    rig.onPoll = [&](int poll) {
        if (poll == 10) rig.doc.IfData[2][4] = 7;  // while plate 1 goes out
    };
    Trace trace = rig.Run(kTransferWrite);
    // Plate 2's first unit went; its second would carry the 7 in its first character, so
    // neither of its characters goes.
    EXPECT_EQ(rig.device.received, "02" + std::string(16, '0') + "aaaa90" + "aa");
    EXPECT_EQ(Tail(trace, 3),
              (Trace{"wait:1", "close",
                     "refused:プレート2に送信できない値があります。ファイルを確認してください。"}));
    EXPECT_EQ(rig.result, TransferResult::kRefused);

    Rig row;
    row.onPoll = [&](int poll) {
        if (poll == 2) row.doc.MaData[8 + 3] = 2;  // row 1, before it goes out
    };
    trace = row.Run(kTransferLifeGame);
    EXPECT_EQ(row.device.received, "ff00");
    EXPECT_EQ(trace.back(),
              "refused:パターンに送信できない値があります。ファイルを確認してください。");
}

TEST(TransferTest, ValuesWithoutACharacterAreRefusedBeforeThePortOpens) {
    const auto refused = [](const std::function<void(Document&)>& edit, std::int16_t mode) {
        Rig rig;
        edit(rig.doc);
        const bool hasReason = UnsendableReason(rig.doc, mode).has_value();
        const Trace trace = rig.Run(mode);
        const bool refusedOnly = trace.size() == 1 && trace[0].starts_with("refused:");
        EXPECT_EQ(hasReason, refusedOnly);
        return refusedOnly;
    };
    EXPECT_TRUE(refused([](Document& d) { d.MaData[63] = 2; }, kTransferWrite));
    EXPECT_TRUE(refused([](Document& d) { d.MaData[0] = -1; }, kTransferLifeGame));
    EXPECT_TRUE(refused([](Document& d) { d.PlateCount = 0; }, kTransferWrite));
    EXPECT_TRUE(refused([](Document& d) { d.PlateCount = 51; }, kTransferWrite));
    EXPECT_TRUE(refused([](Document& d) { d.IfData[1][8] = 3; }, kTransferWrite));
    EXPECT_TRUE(refused([](Document& d) { d.AcData[5] = d.PlateCount = 5; }, kTransferWrite));
    // Only what goes out matters.
    EXPECT_FALSE(refused([](Document& d) { d.IfData[1][0] = 7; }, kTransferLifeGame));
    EXPECT_FALSE(refused([](Document& d) { d.PlateCount = 60; }, kTransferLifeGame));
    EXPECT_FALSE(refused([](Document& d) { d.AcData[2] = 9; }, kTransferWrite));
    EXPECT_FALSE(refused([](Document& d) { d.MaData[0] = 5; }, kTransferRead));

    // Every value that cannot go, in the order it would be sent, with its place.
    Rig rig;
    rig.doc.PlateCount = 3;
    rig.doc.MaData[63] = -1;
    rig.doc.IfData[2][4] = 3;
    rig.doc.AcData[3] = 4;
    rig.doc.IfData[4][0] = 9;  // beyond the count: never sent
    using Kind = UnsendableValue::Kind;
    const auto values = UnsendableValues(rig.doc, kTransferWrite);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(std::tie(values[0].kind, values[0].plate, values[0].index, values[0].value),
              std::tuple(Kind::kPatternCell, 0, 63, -1));
    EXPECT_EQ(std::tie(values[1].kind, values[1].plate, values[1].index, values[1].value),
              std::tuple(Kind::kConditionCell, 2, 4, 3));
    EXPECT_EQ(std::tie(values[2].kind, values[2].plate, values[2].index, values[2].value),
              std::tuple(Kind::kMethod, 3, -1, 4));
    EXPECT_EQ(UnsendableValues(rig.doc, kTransferLifeGame).size(), 1u);
    rig.doc.PlateCount = 0;
    EXPECT_EQ(UnsendableValues(rig.doc, kTransferWrite).front().kind, Kind::kPlateCount);
}

TEST(ReadTransferTest, AWholeReplyIsDecodedIntoTheDocument) {
    Rig rig;
    rig.device.reply = "*02" + std::string(16, 'f') + "a5a590000080*";
    EXPECT_EQ(rig.Run(kTransferRead),
              (Trace{"port:1", "open", "status:データ読み出し中", "w:00", "s30", "wait:1",
                     "status:データ読み出し完了", "arm", "close"}));
    EXPECT_EQ(rig.doc.PlateCount, 2);
    EXPECT_TRUE(std::all_of(rig.doc.MaData.begin(), rig.doc.MaData.end(),
                            [](std::int16_t cell) { return cell == kOn; }));
    EXPECT_EQ(rig.doc.IfData[2], (Condition{2, 2, 1, 1, 2, 2, 1, 1, 2}));
    EXPECT_EQ(rig.doc.AcData[1], kMethodOff);
    EXPECT_EQ(rig.progress, (std::vector<std::string>{"32/32"}));

    // An unreadable count with a reply as long as the kept count asks for is taken.
    Rig kept;
    kept.device.reply = "*0A" + std::string(16, 'f') + "555570*";
    EXPECT_EQ(kept.Run(kTransferRead).back(), "close");
    EXPECT_EQ(kept.doc.IfData[1], (Condition{1, 1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(ReadTransferTest, FaultyRepliesChangeNothingAndReportTheError) {
    const std::string pattern(16, 'f');
    for (const std::string& reply :
         {std::string("**"), "*00" + pattern + "*", "*33" + pattern + std::string(306, '0') + "*",
          "*02" + pattern + "aaaa90*", "**01" + pattern + "aaaa90*", "*01" + pattern + "aaaa90",
          "x*01" + pattern + "aaaa90*", std::string()}) {
        Rig rig;
        rig.device.reply = reply;
        rig.device.answers = [](int) { return false; };
        const Trace trace = rig.Run(kTransferRead);
        EXPECT_EQ(rig.doc.MaData, Pattern{}) << reply;
        EXPECT_EQ(rig.doc.IfData[1][0], kAny) << reply;
        EXPECT_EQ(Tail(trace, 4), (Trace{"status:データ読み出し完了", "arm", "close", kRetry}))
            << reply;
    }
    Rig kept;  // the kept count 2 asks for 32 characters
    kept.doc.PlateCount = 2;
    kept.device.reply = "*0A" + pattern + "555570*";
    EXPECT_EQ(kept.Run(kTransferRead).back(), kRetry);
    EXPECT_EQ(kept.doc.MaData[0], kOff);
}

}  // namespace
}  // namespace kelvara

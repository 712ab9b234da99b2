#include "device/transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

    void SetPort(std::int16_t number) override { Log("port:" + std::to_string(number)); }
    bool Open() override {
        Log("open");
        open = !openFails;
        return open;
    }
    bool IsOpen() const override { return open; }
    void Close() override {
        Log("close");
        open = false;
    }
    void Write(std::string_view text) override {
        EXPECT_TRUE(open);
        Log("w:" + std::string(text));
        pending += device.Take(text);
    }
    std::string ReadAll() override { return std::exchange(pending, {}); }
    void WaitForInput(int milliseconds) override { Log("i" + std::to_string(milliseconds)); }

    void ProcessEvents() override {
        Log("p");
        if (onPoll) {
            onPoll(++polls);
        }
    }
    void Sleep(int milliseconds) override { Log("s" + std::to_string(milliseconds)); }
    void SetStatus(const std::string& text) override { Log("status:" + text); }
    void ArmStatusTimer() override { Log("arm"); }
    void ShowPortOpenError() override { Log("portError"); }
    void ShowTransferError(const std::string& text) override { Log("refused:" + text); }
    bool Closing() const override { return closing; }

    void Log(std::string entry) { trace.push_back(std::move(entry)); }

    // The trace with each run of polls ("p", "i3" after each unanswered one) as "wait:<polls>".
    Trace Run(std::int16_t mode) {
        ComMain(mode, doc, *this, *this);
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
    fakes::FakeDevice device;
    Trace trace;
    std::string pending;
    bool open = false, openFails = false, closing = false;
    int polls = 0;
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
    }
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

// The transfers through the real QSerialPort, with the device on the master side of a
// pseudo-terminal serviced from the polling thread.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <functional>
#include <vector>

#include "device/qt_serial_line.h"
#include "device/wire_codec.h"
#include "pty_device.h"

namespace kelvara {
namespace {

// The window for the transfer; each pass of events also lets the device answer.
struct PtyRig : TransferHost {
    PtyRig() {
        InitDocument(doc);
        qputenv("KELVARA_COM1", QByteArray::fromStdString(pty.SlavePath()));
        QObject::connect(&line, &QtSerialLine::lineEvent,
                         [this](int code) { events.push_back(code); });
    }
    void Run(std::int16_t mode, const TransferTiming& timing = {}) {
        ComMain(mode, doc, line, *this, timing);
        QCoreApplication::processEvents();  // line events arrive with the next pass
    }

    void ProcessEvents() override {
        pty.Service();
        QCoreApplication::processEvents();
        if (onPoll) {
            onPoll();
        }
    }
    void Sleep(int milliseconds) override { QThread::msleep(static_cast<unsigned>(milliseconds)); }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void ArmStatusTimer() override {}
    void ShowPortOpenError() override { ++portErrors; }
    void ShowTransferError(const std::string&) override {}
    bool Closing() const override { return false; }

    fakes::FakeDevice device;
    fakes::PtyDevice pty{device};
    QtSerialLine line;
    Document doc;
    std::vector<int> events;
    std::vector<std::string> statuses;
    int portErrors = 0;
    std::function<void()> onPoll;
};

void SetRow(Pattern& pattern, int row, std::initializer_list<std::int16_t> cells) {
    std::copy(cells.begin(), cells.end(), pattern.begin() + row * 8);
}

TEST(SerialLineTest, WriteAndLifeGameReachTheDeviceCharacterByCharacter) {
    PtyRig rig;
    ASSERT_TRUE(rig.pty.Ready());
    rig.doc.PlateCount = 2;
    SetRow(rig.doc.MaData, 0, {1, 0, 1, 1, 0, 0, 0, 1});
    SetRow(rig.doc.MaData, 7, {1, 1, 1, 1, 1, 1, 1, 1});
    rig.doc.IfData[1].fill(kOn);
    rig.doc.AcData[1] = kMethodRandom;
    rig.doc.IfData[2] = {0, 1, 2, 0, 1, 2, 0, 1, 2};
    rig.doc.AcData[2] = kMethodInvert;
    rig.Run(kTransferWrite);
    EXPECT_EQ(rig.device.received,
              "02"
              "B1000000000000FF"
              "555570"
              "1861a0");
    EXPECT_EQ(rig.statuses, (std::vector<std::string>{kWriteSendingText, kWriteDoneText}));
    EXPECT_FALSE(rig.line.IsOpen());
    EXPECT_TRUE(rig.events.empty());  // the pty's refusal of RTS is no line event

    rig.Run(kTransferLifeGame);
    EXPECT_EQ(rig.device.received.substr(30),
              "ff"
              "B1000000000000FF");
    EXPECT_EQ(rig.statuses.back(), kLifeGameDoneText);
    EXPECT_TRUE(rig.events.empty());
}

TEST(SerialLineTest, ReadTakesTheDevicesDocument) {
    Document held;
    InitDocument(held);
    held.PlateCount = 3;
    SetRow(held.MaData, 3, {0, 1, 1, 0, 1, 0, 0, 1});
    for (int p = 1; p <= 3; ++p) {
        held.IfData[p] = {
            kOff, kOn, kAny, kOn, kOff, kAny, kAny, kOn, static_cast<std::int16_t>(p - 1)};
        held.AcData[p] = static_cast<std::int16_t>(p);
    }
    PtyRig rig;
    rig.device.reply = ReplyText(held);
    ASSERT_TRUE(rig.pty.Ready());
    rig.Run(kTransferRead);
    EXPECT_EQ(rig.device.received, "00");
    EXPECT_EQ(rig.statuses, (std::vector<std::string>{kReadingText, kReadDoneText}));
    EXPECT_EQ(rig.doc.PlateCount, 3);
    EXPECT_EQ(rig.doc.MaData, held.MaData);
    EXPECT_EQ(rig.doc.IfData, held.IfData);
    EXPECT_EQ(rig.doc.AcData, held.AcData);
}

TEST(SerialLineTest, APortThatDoesNotExistShowsOnlyTheOpenError) {
    PtyRig rig;
    qputenv("KELVARA_COM3", "/nonexistent");
    rig.doc.ComPort = 3;
    rig.Run(kTransferWrite);
    qunsetenv("KELVARA_COM3");
    EXPECT_EQ(rig.portErrors, 1);
    EXPECT_TRUE(rig.statuses.empty());
    EXPECT_TRUE(rig.events.empty());
    EXPECT_TRUE(rig.device.received.empty());
}

TEST(SerialLineTest, ALineThatVanishesIsClosedAndTheWaitsRunOut) {
    PtyRig rig;
    ASSERT_TRUE(rig.pty.Ready());
    bool closedDuringTransfer = false;
    rig.onPoll = [&] {
        if (rig.device.units == 3) {
            rig.pty.CloseMaster();
        }
        closedDuringTransfer = closedDuringTransfer || !rig.line.IsOpen();
    };
    TransferTiming quick;
    quick.pollLimit = 5;
    rig.Run(kTransferWrite, quick);
    EXPECT_TRUE(closedDuringTransfer);
    EXPECT_EQ(rig.statuses.back(), kTransferRetryText);
}

TEST(SerialLineTest, ComNumbersNameThePortsPresentAndTheOverrideWins) {
    qunsetenv("KELVARA_COM1");
    qunsetenv("KELVARA_COM2");
    const PortLister two = [] {
        return std::vector<PortInfo>{{"/dev/ttyS0", "", "", {}, {}},
                                     {"/dev/ttyUSB0", "CP2102", "Silicon Labs", 0x10c4, 0xea60}};
    };
    EXPECT_EQ(ResolveSystemPort(1, two).device, "/dev/ttyUSB0");
    EXPECT_EQ(ResolveSystemPort(2, two).device, "/dev/ttyS0");
    EXPECT_EQ(ResolveSystemPort(3, two).device, "");
    qputenv("KELVARA_COM2", "/dev/ttyUSB9");
    EXPECT_EQ(ResolveSystemPort(2, two).device, "/dev/ttyUSB9");
    qunsetenv("KELVARA_COM2");
}

}  // namespace
}  // namespace kelvara

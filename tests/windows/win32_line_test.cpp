// The Windows serial line against the simulated machine behind COM KELVARA_TEST_COM (the Wine
// harness puts kelvara-sim's terminal there; on a Windows machine, a null-modem pair does).

// The whole of <windows.h> first, as any Windows program may include it: winspool.h then makes
// some names macros (SetPort, for one), and the line's interface must not meet any of them.
#include <windows.h>
// After <windows.h>:
#include <gtest/gtest.h>

#include <QThread>
#include <string>

#include "device/system_serial_line.h"
#include "device/transfer_pump.h"
#include "files/datafile.h"
#include "support/varied_document.h"

namespace kelvara {
namespace {

int TestCom() { return qEnvironmentVariableIntValue("KELVARA_TEST_COM"); }

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

struct Host : TransferHost {
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void ArmStatusTimer() override {}
    void ShowPortOpenError() override { ++portErrors; }
    void ShowTransferError(const std::string&) override {}
    bool Closing() const override { return false; }
    std::vector<std::string> statuses;
    int portErrors = 0;
};

class Win32LineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (TestCom() < 1)
            GTEST_SKIP() << "KELVARA_TEST_COM names no port with a machine behind it";
    }
};

// Written and read back through the port: what comes back is what went out, and the line
// polls without waiting for a communications event, which Wine never signals on a terminal.
TEST_F(Win32LineTest, FiftyPlatesGoOutAndComeBack) {
    Win32SerialLine line;
    Host host;
    Document sent = test::Varied(50);
    sent.ComPort = static_cast<std::int16_t>(TestCom());
    ComMain write(kTransferWrite, sent, line, host);
    ASSERT_EQ(RunTransfer(write, &line), TransferResult::kDone);
    EXPECT_EQ(line.Device(), "COM" + std::to_string(TestCom()));
    EXPECT_FALSE(line.IsOpen());

    Document back;
    InitDocument(back);
    back.ComPort = sent.ComPort;
    ComMain read(kTransferRead, back, line, host);
    ASSERT_EQ(RunTransfer(read, &line), TransferResult::kDone);
    back.NowPlate = sent.NowPlate;
    EXPECT_EQ(FormatDataFile(back), FormatDataFile(sent));
    EXPECT_EQ(host.portErrors, 0);
}

// Open on its own: stale input is dropped, a read takes what is there and never waits, and the
// class is called directly here (no macro renamed a method of it).
TEST_F(Win32LineTest, ReadsTakeWhatIsThereAndNeverWait) {
    Win32SerialLine line;
    line.SelectPort(static_cast<std::int16_t>(TestCom()));
    ASSERT_TRUE(line.Open()) << line.OpenErrorDetails();
    EXPECT_EQ(line.ReadAll(), "");
    line.Write("00");  // a read request: the machine answers with its framed document
    std::string reply;
    for (int poll = 0; poll < 1000 && (reply.size() < 2 || reply.back() != '*'); ++poll) {
        QThread::msleep(3);
        reply += line.ReadAll();
    }
    ASSERT_GE(reply.size(), 20u) << reply;
    EXPECT_EQ(reply.front(), '*');
    EXPECT_EQ(reply.back(), '*');
    QThread::msleep(3);  // nothing more comes, and the read does not wait for it
    EXPECT_EQ(line.ReadAll(), "");
    EXPECT_TRUE(line.IsOpen());
    line.Close();
    EXPECT_FALSE(line.IsOpen());
}

// A number with nothing behind it, and a port another program holds, are told in Japanese.
TEST_F(Win32LineTest, PortsThatDoNotOpenSayWhy) {
    Win32SerialLine line;
    line.SelectPort(8);
    EXPECT_FALSE(line.Open());
    EXPECT_EQ(line.OpenErrorDetails().rfind("COM8 には何も接続されていません", 0), 0u)
        << line.OpenErrorDetails();

    line.SetDevice("\\\\.\\COM12");
    EXPECT_FALSE(line.Open());
    EXPECT_EQ(line.OpenErrorDetails(), "ポート: \\\\.\\COM12\n理由: そのポートはありません");
    line.SetDevice({});

    // Windows gives a port to one program at a time; Wine lets any number open it.
    if (UnderWine()) GTEST_SKIP() << "Wine shares a serial port among programs";
    Win32SerialLine holder;
    holder.SelectPort(static_cast<std::int16_t>(TestCom()));
    ASSERT_TRUE(holder.Open()) << holder.OpenErrorDetails();
    line.SelectPort(static_cast<std::int16_t>(TestCom()));
    EXPECT_FALSE(line.Open());
    EXPECT_NE(line.OpenErrorDetails().find("ほかのプログラム"), std::string::npos)
        << line.OpenErrorDetails();
}

// The port list names what is behind the test port, and the tooltip of an empty number says
// so.
TEST_F(Win32LineTest, ThePortListNamesThePortsThere) {
    const std::vector<ResolvedPort> ports = ResolveSystemPorts();
    const std::size_t i = static_cast<std::size_t>(TestCom() - 1);
    ASSERT_TRUE(ports[i].info.has_value());
    EXPECT_EQ(PortToolTip(TestCom(), ports[i]).find("何も接続されていません"), std::string::npos)
        << PortToolTip(TestCom(), ports[i]);
    EXPECT_EQ(PortToolTip(8, ports[7]), "COM8 — 何も接続されていません");
}

}  // namespace
}  // namespace kelvara

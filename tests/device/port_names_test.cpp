#include "device/port_names.h"

#include <gtest/gtest.h>

namespace kelvara {
namespace {

const PortInfo kOnBoard{"/dev/ttyS0", "", "", {}, {}};
const PortInfo kCp2102{"/dev/ttyUSB0", "CP2102 USB to UART Bridge Controller", "Silicon Labs",
                       0x10c4, 0xea60};
const PortInfo kFtdi{"/dev/ttyUSB10", "FT232R USB UART", "FTDI", 0x0403, 0x6001};
const PortInfo kAcm{"/dev/ttyACM0", "", "Arduino", {}, {}};  // named like an adapter, no ids
const PortInfo kUsb2{"/dev/ttyUSB2", "CH340", "", 0x1a86, 0x7523};

std::string Device(int n, const std::vector<PortInfo>& ports,
                   PortSystem system = PortSystem::kLinux, std::string_view override = {}) {
    return ResolveComPort(n, ports, override, system).device;
}

TEST(PortNamesTest, ComNumbersTakeUsbAdaptersFirstInNaturalOrder) {
    EXPECT_EQ(Device(1, {}), "");  // nothing present: COM1 names no device
    EXPECT_EQ(Device(1, {kOnBoard}), "/dev/ttyS0");
    EXPECT_EQ(Device(1, {kOnBoard, kCp2102}), "/dev/ttyUSB0");  // plugged in after start-up
    const std::vector<PortInfo> many{kOnBoard, kFtdi, kCp2102, kAcm, kUsb2};
    const char* const order[] = {"/dev/ttyACM0",  "/dev/ttyUSB0", "/dev/ttyUSB2",
                                 "/dev/ttyUSB10", "/dev/ttyS0",   ""};
    for (int n = 1; n <= 6; ++n) EXPECT_EQ(Device(n, many), order[n - 1]) << n;
    EXPECT_EQ(Device(9, many), "");
    EXPECT_EQ(Device(0, many), "");
    // The override names its one port on every system, present or not.
    EXPECT_EQ(Device(2, many, PortSystem::kLinux, "/tmp/kelvara-com2"), "/tmp/kelvara-com2");
    EXPECT_EQ(Device(7, {}, PortSystem::kWindows, "COM12"), "COM12");
    // Windows keeps COMn, whatever is present.
    EXPECT_EQ(Device(3, {}, PortSystem::kWindows), "COM3");
    EXPECT_EQ(ComPortName(9), "COM9");
    // macOS: the call-out device of each port, adapters first.
    const std::vector<PortInfo> mac{{"/dev/tty.usbserial-A1", "", "", {}, {}},
                                    {"/dev/cu.usbserial-A1", "", "", {}, {}},
                                    {"/dev/cu.Bluetooth-Incoming-Port", "", "", {}, {}},
                                    {"/dev/tty.Bluetooth-Incoming-Port", "", "", {}, {}}};
    EXPECT_EQ(Device(1, mac, PortSystem::kMacOS), "/dev/cu.usbserial-A1");
    EXPECT_EQ(Device(2, mac, PortSystem::kMacOS), "/dev/cu.Bluetooth-Incoming-Port");
    EXPECT_EQ(Device(3, mac, PortSystem::kMacOS), "");
}

TEST(PortNamesTest, TooltipsAndTheTableSayWhatEachNumberReaches) {
    const std::vector<PortInfo> ports{kOnBoard, kCp2102};
    EXPECT_EQ(PortToolTip(1, ResolveComPort(1, ports, {}, PortSystem::kLinux)),
              "/dev/ttyUSB0 — CP2102 USB to UART Bridge Controller (10c4:ea60)");
    EXPECT_EQ(PortToolTip(2, ResolveComPort(2, ports, {}, PortSystem::kLinux)), "/dev/ttyS0");
    EXPECT_EQ(PortToolTip(3, ResolveComPort(3, ports, {}, PortSystem::kLinux)),
              "COM3 には何も接続されていません");
    EXPECT_EQ(PortToolTip(4, ResolveComPort(4, ports, "/tmp/sim", PortSystem::kLinux)),
              "/tmp/sim — KELVARA_COM4 で指定");
    EXPECT_EQ(PortToolTip(5, ResolveComPort(5, ports, {}, PortSystem::kWindows)),
              "COM5 — 何も接続されていません");
    EXPECT_EQ(DescribePort(kAcm), "Arduino");

    const std::vector<std::string> table =
        PortTable(ResolveComPorts(ports, {"", "/tmp/sim"}, PortSystem::kLinux));
    ASSERT_EQ(table.size(), 9u);
    EXPECT_EQ(table[0], "COM1  /dev/ttyUSB0  CP2102 USB to UART Bridge Controller (10c4:ea60)");
    EXPECT_EQ(table[1], "COM2  /tmp/sim      KELVARA_COM2");
    EXPECT_EQ(table[2], "COM3  -");  // the override took COM2's place; the list goes on at 2
    EXPECT_EQ(table[8], "COM9  -");
    std::vector<ResolvedPort> gone = ResolveComPorts({}, {"", "/tmp/gone"}, PortSystem::kLinux);
    gone[1].missing = true;
    EXPECT_EQ(PortTable(gone)[1], "COM2  /tmp/gone  KELVARA_COM2（見つかりません）");
    EXPECT_EQ(PortToolTip(2, gone[1]), "/tmp/gone — KELVARA_COM2 で指定、見つかりません");
}

TEST(PortNamesTest, ThePortOpenBoxSaysWhatWasTriedAndWhatToDo) {
    using Kind = PortOpenFailure::Kind;
    PortOpenFailure none{Kind::kNoDevice, 4, "", "", "", "", false};
    EXPECT_EQ(PortOpenDetails(none, PortSystem::kLinux).rfind("COM4 には何も接続されていません", 0),
              0u);
    PortOpenFailure denied{
        Kind::kPermission, 1, "/dev/ttyUSB0", "Permission denied", "uucp", "", false};
    const std::string text = PortOpenDetails(denied, PortSystem::kLinux);
    EXPECT_NE(text.find("ポート: COM1 (/dev/ttyUSB0)"), std::string::npos) << text;
    EXPECT_NE(text.find("理由: このデバイスを開く権限がありません（Permission denied）"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("sudo usermod -aG uucp $USER"), std::string::npos) << text;
    EXPECT_NE(text.find("ログインし直してください"), std::string::npos) << text;
    // No group to join (a root-only device): no advice to join one.
    denied.group.clear();
    EXPECT_EQ(PortOpenDetails(denied, PortSystem::kLinux).find("usermod"), std::string::npos);
    EXPECT_NE(PortOpenDetails(denied, PortSystem::kLinux).find("管理者"), std::string::npos);
    EXPECT_EQ(PortOpenDetails(denied, PortSystem::kWindows).find("usermod"), std::string::npos);
    PortOpenFailure direct{Kind::kOther, 0, "/dev/ttyX", "No such file", "", "", false};
    EXPECT_EQ(PortOpenDetails(direct, PortSystem::kLinux), "ポート: /dev/ttyX\n理由: No such file");
    PortOpenFailure busy{Kind::kBusy, 2, "COM2", "Access is denied.", "", "", false};
    EXPECT_EQ(PortOpenDetails(busy, PortSystem::kWindows),
              "ポート: COM2\n理由: 使用中です（Access is denied.）\n"
              "ほかのプログラムがこのポートを使っていないか確かめてください。");
    // A relative name: the path tried beside it. An override that names nothing: the variable.
    PortOpenFailure relative{
        Kind::kNotTerminal, 0,    "sims/m1", "Inappropriate ioctl for device", "",
        "/home/u/sims/m1",  false};
    EXPECT_EQ(PortOpenDetails(relative, PortSystem::kLinux),
              "ポート: sims/m1\n開こうとしたパス: /home/u/sims/m1\n"
              "理由: シリアルポート（端末）ではありません（Inappropriate ioctl for device）");
    PortOpenFailure gone{Kind::kNotFound, 3, "/tmp/sim", "No such file or directory", "", "", true};
    EXPECT_EQ(PortOpenDetails(gone, PortSystem::kLinux),
              "ポート: COM3 (/tmp/sim、環境変数 KELVARA_COM3 で指定)\n"
              "理由: そのようなデバイスはありません（No such file or directory）\n"
              "環境変数 KELVARA_COM3 の値を確かめてください。");
}

// Windows lists its ports in the device namespace ("\\.\COM3"); COM n must still find its entry,
// or a present port reads as nothing connected.
TEST(PortNamesTest, WindowsFindsItsPortsWhateverTheNameLooksLike) {
    const struct {
        const char* location;
        const char* name;
    } names[] = {{R"(\\.\COM3)", "COM3"}, {"com12", "COM12"}, {"COM1", "COM1"},
                 {R"(\\.\LPT1)", ""},     {"COM", ""},        {"COM0", ""},
                 {"COM1x", ""},           {"/dev/ttyS0", ""}};
    for (const auto& row : names) EXPECT_EQ(WindowsComName(row.location), row.name) << row.location;

    const PortInfo ftdi = WindowsPortInfo("COM3", "USB Serial Port (COM3)", "FTDI",
                                          R"(USB\VID_0403&PID_6001&REV_0600)");
    EXPECT_EQ(DescribePort(ftdi), "USB Serial Port (0403:6001)");
    EXPECT_EQ(ftdi.manufacturer, "FTDI");
    const PortInfo onBoard =
        WindowsPortInfo("COM1", "通信ポート (COM1)", "(標準ポート)", "ACPI\\PNP0501");
    EXPECT_EQ(DescribePort(onBoard), "通信ポート");

    std::vector<PortInfo> listed{onBoard, ftdi};
    listed[0].location = R"(\\.\COM1)";
    listed[1].location = R"(\\.\com3)";
    const std::vector<ResolvedPort> ports = ResolveComPorts(listed, {}, PortSystem::kWindows);
    EXPECT_EQ(PortToolTip(3, ports[2]), "COM3 — USB Serial Port (0403:6001)");
    EXPECT_EQ(PortToolTip(1, ports[0]), "COM1 — 通信ポート");
    EXPECT_EQ(PortToolTip(2, ports[1]), "COM2 — 何も接続されていません");
    EXPECT_EQ(PortTable(ports)[2], "COM3  COM3  USB Serial Port (0403:6001)");
}

TEST(PortNamesTest, WindowsOpenErrorsAreToldInJapanese) {
    using Kind = PortOpenFailure::Kind;
    const struct {
        std::uint32_t error;
        Kind kind;
        const char* reason;
    } table[] = {
        {kWinFileNotFound, Kind::kNoDevice, "そのポートはありません"},
        {kWinAccessDenied, Kind::kBusy, "アクセスが拒否されました"},
        {kWinSharingViolation, Kind::kBusy, "ほかのプログラムが使用中です"},
        {kWinDeviceNotConnected, Kind::kOther, "デバイスが応答しません"},
        {87, Kind::kOther, "パラメーターが間違っています。"},  // the system's own words
    };
    for (const auto& row : table) {
        PortOpenFailure failure;
        ClassifyWindowsOpenError(row.error, "パラメーターが間違っています。", failure);
        EXPECT_EQ(failure.kind, row.kind) << row.error;
        EXPECT_EQ(failure.reason.rfind(row.reason, 0), 0u) << row.error << ": " << failure.reason;
    }
    PortOpenFailure silent;
    ClassifyWindowsOpenError(1234, "", silent);
    EXPECT_EQ(silent.reason, "Windows のエラー 1234");

    // COM n that is not there says so as on every system; a device named on the command line
    // that is not there gives its name and the reason.
    PortOpenFailure absent;
    absent.kind = Kind::kNoDevice;
    absent.number = 7;
    absent.device = "COM7";
    ClassifyWindowsOpenError(kWinFileNotFound, "", absent);
    EXPECT_EQ(
        PortOpenDetails(absent, PortSystem::kWindows).rfind("COM7 には何も接続されていません", 0),
        0u);
    absent.number = 0;
    absent.device = R"(\\.\COM12)";
    EXPECT_EQ(PortOpenDetails(absent, PortSystem::kWindows),
              "ポート: \\\\.\\COM12\n理由: そのポートはありません");
    PortOpenFailure held;
    held.number = 2;
    held.device = "COM2";
    ClassifyWindowsOpenError(kWinAccessDenied, "", held);
    EXPECT_NE(
        PortOpenDetails(held, PortSystem::kWindows).find("ほかのプログラムがこのポートを使って"),
        std::string::npos);
}

}  // namespace
}  // namespace kelvara

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvara {

// What the system reports of one serial port.
struct PortInfo {
    std::string location;     // the device to open: "/dev/ttyUSB0", "/dev/cu.usbserial-1", "COM3"
    std::string description;  // "CP2102 USB to UART Bridge Controller"
    std::string manufacturer;
    std::optional<std::uint16_t> vendorId;  // USB vendor and product, when it is a USB device
    std::optional<std::uint16_t> productId;
};

enum class PortSystem { kLinux, kMacOS, kWindows };

// The system this program was built for.
PortSystem ThisSystem();

// The Windows name of COM n: "COM3".
std::string ComPortName(int n);

// The COM name a Windows port location stands for, in capitals: "\\.\COM3" (the device
// namespace, as Windows lists its ports) and "com3" are both "COM3". Empty when the location
// names no COM port.
std::string WindowsComName(std::string_view location);

// A port as Windows' device manager describes it: its COM name, its friendly name ("USB Serial
// Port (COM3)", kept without the COM name it ends with), the maker, and its first hardware id,
// which holds the USB vendor and product ("USB\VID_0403&PID_6001&REV_0600").
PortInfo WindowsPortInfo(std::string_view comName, std::string_view friendlyName,
                         std::string_view manufacturer, std::string_view hardwareId);

// The ports in the order COM1, COM2, ... take them on Linux and macOS: USB serial adapters first
// (a USB vendor id, or the names the system gives them), then the other ports, each group in
// natural name order ("ttyUSB2" before "ttyUSB10"). On macOS only the call-out device
// ("cu.*") of a port is listed: its "tty.*" twin waits for a carrier the machine never raises.
std::vector<PortInfo> OrderPorts(std::vector<PortInfo> ports, PortSystem system);

// The device behind COM n (1..9), from the ports present.
struct ResolvedPort {
    std::string device;            // empty: no device answers to that number
    std::optional<PortInfo> info;  // what the system says of it, when it listed it
    bool overridden = false;       // named by the user's override (KELVARA_COMn)
    bool missing = false;          // an override that names nothing present (set by the caller)
};

// Windows: COM n is "COMn". Linux and macOS: the n-th of OrderPorts, or nothing when fewer ports
// are present. A non-empty override names the device on every system.
ResolvedPort ResolveComPort(int n, const std::vector<PortInfo>& ports, std::string_view override,
                            PortSystem system);

// What the system says of a port, for the user: "CP2102 USB to UART Bridge Controller
// (10c4:ea60)". Empty when it says nothing.
std::string DescribePort(const PortInfo& info);

// The port menu's tooltip of COM n: "/dev/ttyUSB0 — CP2102 ... (10c4:ea60)", or that nothing is
// connected to it.
std::string PortToolTip(int n, const ResolvedPort& port);

// COM1..COM9 resolved at once; overrides[n - 1] is the override of COM n (the list may be short,
// an entry empty).
std::vector<ResolvedPort> ResolveComPorts(const std::vector<PortInfo>& ports,
                                          const std::vector<std::string>& overrides,
                                          PortSystem system);

// One line per COM number of ResolveComPorts: "COM1  /dev/ttyUSB0  CP2102 ... (10c4:ea60)",
// with "-" for a number that names no device, and an override that names nothing flagged.
std::vector<std::string> PortTable(const std::vector<ResolvedPort>& resolved);

// Why a port did not open, as the port-open box tells it.
struct PortOpenFailure {
    enum class Kind {
        kNoDevice,     // the COM number names no device present
        kPermission,   // the user may not open the device
        kBusy,         // another program holds it
        kNotFound,     // nothing is there by that name
        kNotTerminal,  // something is there, but no serial port
        kOther,
    };
    Kind kind = Kind::kOther;
    int number = 1;      // the COM number; 0 for a device named directly
    std::string device;  // the device tried, as the user or the override named it
    std::string reason;  // the system's words
    // The group a user can join to open the device: it may read and write it and is not the
    // administrator's. Empty when there is none (or it is not known): joining will not help.
    std::string group;
    std::string opened;       // the path opened when not device itself (made absolute, links)
    bool overridden = false;  // device came from the override KELVARA_COMn
};

// The details of the port-open box: the device tried, the system's reason (the common ones in
// Japanese, the system's own words after them), and what to do.
std::string PortOpenDetails(const PortOpenFailure& failure, PortSystem system);

// The codes of GetLastError a port that does not open gives on Windows.
inline constexpr std::uint32_t kWinFileNotFound = 2;
inline constexpr std::uint32_t kWinPathNotFound = 3;
inline constexpr std::uint32_t kWinAccessDenied = 5;
inline constexpr std::uint32_t kWinNotReady = 21;
inline constexpr std::uint32_t kWinGenFailure = 31;
inline constexpr std::uint32_t kWinSharingViolation = 32;
inline constexpr std::uint32_t kWinBusy = 170;
inline constexpr std::uint32_t kWinDeviceNotConnected = 1167;

// Fills in the kind and the reason (Japanese) of a port Windows would not open with that error:
// no such port, in use by another program (Windows denies access to a port another program
// holds), a device that does not answer; for any other code the system's own words,
// systemText, or the code.
void ClassifyWindowsOpenError(std::uint32_t error, std::string_view systemText,
                              PortOpenFailure& failure);

}  // namespace kelvara

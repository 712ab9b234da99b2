#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/port_names.h"
#include "device/qt_ports.h"

namespace kelvara::cli {

// One --port value: a COM number, resolved as the editor's port menu resolves it each time the
// port opens, or a device path taken as it is.
struct PortChoice {
    std::string name;    // "COM3", or the device path as given
    int number = 0;      // 1..9 for a COM number, 0 for a device path
    std::string device;  // the device path; empty for a COM number

    bool IsCom() const { return number != 0; }
    bool operator==(const PortChoice&) const = default;
};

// "COM1".."COM9" (any letter case) name a COM number; "COM" followed by any other number is a
// mistake, except on Windows, where COM10 and above are ports of their own and taken as the
// device of that name. Anything else non-empty is a device path. Returns nothing and sets
// *error (Japanese) when the value cannot be used.
std::optional<PortChoice> ParsePortChoice(std::string_view text, std::string* error,
                                          PortSystem system = ThisSystem());

// What "{port}" in an output name becomes: "COM3", or the device's base name ("ttyUSB0"); on
// Windows a port named in the device namespace ("\\.\COM12") is "COM12".
std::string PortFileLabel(const PortChoice& port, PortSystem system = ThisSystem());

// The output name for one port: every "{port}" in pattern replaced by PortFileLabel(port). On
// Windows, where a file named COM3.dat is the serial port itself, a name that would be a
// device's gets "_" after the label: "{port}.dat" is "COM3_.dat" there.
std::string ExpandPortName(std::string_view pattern, const PortChoice& port,
                           PortSystem system = ThisSystem());

inline constexpr std::string_view kPortPlaceholder = "{port}";

// For each port, the first of ports that reaches the same device now (itself when none does):
// a COM number is resolved as a transfer resolves it (KELVARA_COMn, else the ports present),
// and two names are one device when they open the same device node (a link and its target,
// "a//b" and "a/b", a relative and an absolute path, two nodes of one device). A COM number
// that names no device reaches nothing and is nobody's twin.
std::vector<std::size_t> FirstOfSameDevice(const std::vector<PortChoice>& ports,
                                           const PortLister& lister = SystemPorts);

// Why ports cannot be used together, for the user: two of them reach one device, and both
// transfers would open it and mix their characters on the line. Nothing when they can.
std::optional<std::string> SameDeviceTwice(const std::vector<PortChoice>& ports,
                                           const PortLister& lister = SystemPorts);

}  // namespace kelvara::cli

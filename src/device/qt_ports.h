#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/port_names.h"

namespace kelvara {

// The serial ports the system reports now, as the core describes them: what Qt SerialPort
// finds on Linux and macOS, what the device manager and the registry list on Windows.
std::vector<PortInfo> SystemPorts();

// Where the port list comes from; tests put a list of their own in place.
using PortLister = std::function<std::vector<PortInfo>()>;

// The user's override of COM n: the environment variable KELVARA_COMn, empty when unset. On
// Linux and macOS the bytes as they stand, also when they are not UTF-8.
std::string PortOverride(int n);

// The path a device is opened by on Linux and macOS: absolute, a relative name taken against
// the working directory (never under /dev/, as QSerialPort would take it), and the device's
// real path where it exists, so that links, doubled slashes and a link whose name is not UTF-8
// all reach it. As given on Windows.
std::string DevicePathToOpen(const std::string& device);

// The device behind COM n now: the override, else COMn on Windows, else the n-th port present
// (USB adapters first).
ResolvedPort ResolveSystemPort(int n, const PortLister& ports = SystemPorts);

// What an Open of the serial line tries: fixedDevice when it is set (a device named on the
// command line), else the device behind COM number now. The record of a failure to open is
// started with it: number, device and whether an override named it, kNoDevice when there is
// no device to try (device then empty).
PortOpenFailure DeviceToOpen(std::int16_t number, const std::string& fixedDevice,
                             const PortLister& ports);

// COM1..COM9 as they resolve now (one scan of the system's ports for all nine); an override
// that names nothing present is marked missing.
std::vector<ResolvedPort> ResolveSystemPorts(const PortLister& ports = SystemPorts);

// The COM1..COM9 table of --list-ports and the command-line client's ports command.
std::vector<std::string> SystemPortTable(const PortLister& ports = SystemPorts);

}  // namespace kelvara

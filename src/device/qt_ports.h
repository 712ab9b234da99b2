#pragma once

#include <QString>
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

// The user's override of COM n: the environment variable KELVARA_COMn, empty when unset.
std::string PortOverride(int n);

// The device behind COM n now: the override, else COMn on Windows, else the n-th port present
// (USB adapters first).
ResolvedPort ResolveSystemPort(int n, const PortLister& ports = SystemPorts);

// COM1..COM9 as they resolve now (one scan of the system's ports for all nine).
std::vector<ResolvedPort> ResolveSystemPorts(const PortLister& ports = SystemPorts);

// The COM1..COM9 table of --list-ports and the command-line client's ports command.
std::vector<std::string> SystemPortTable(const PortLister& ports = SystemPorts);

}  // namespace kelvara

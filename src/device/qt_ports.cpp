#include "device/qt_ports.h"

#include <QByteArray>

// SystemPorts lives with the serial line of each system: qt_serial_line.cpp (Qt SerialPort) and
// win32_serial_line.cpp (SetupAPI and the registry).

namespace kelvara {

std::string PortOverride(int n) {
    if (n < 1 || n > 9) return {};
    const QByteArray variable = "KELVARA_COM" + QByteArray::number(n);
    return qEnvironmentVariable(variable.constData()).toStdString();
}

ResolvedPort ResolveSystemPort(int n, const PortLister& ports) {
    const std::string override = PortOverride(n);
    // Asking the system for its ports scans its devices (milliseconds); an override needs no
    // list to name its device.
    return ResolveComPort(n, override.empty() ? ports() : std::vector<PortInfo>{}, override,
                          ThisSystem());
}

std::vector<ResolvedPort> ResolveSystemPorts(const PortLister& ports) {
    std::vector<std::string> overrides;
    for (int n = 1; n <= 9; ++n) overrides.push_back(PortOverride(n));
    return ResolveComPorts(ports(), overrides, ThisSystem());
}

std::vector<std::string> SystemPortTable(const PortLister& ports) {
    return PortTable(ResolveSystemPorts(ports));
}

}  // namespace kelvara

#include "device/qt_ports.h"

#include <QByteArray>
#include <QtGlobal>
#include <filesystem>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#elif defined(Q_OS_WIN)
#include <windows.h>

#include <QString>
#endif

// SystemPorts lives with the serial line of each system: qt_serial_line.cpp (Qt SerialPort) and
// win32_serial_line.cpp (SetupAPI and the registry).

namespace kelvara {

std::string PortOverride(int n) {
    if (n < 1 || n > 9) return {};
    const QByteArray variable = "KELVARA_COM" + QByteArray::number(n);
#if defined(Q_OS_UNIX)
    return qgetenv(variable.constData()).toStdString();
#else
    return qEnvironmentVariable(variable.constData()).toStdString();
#endif
}

std::string DevicePathToOpen(const std::string& device) {
#if defined(Q_OS_UNIX)
    if (device.empty()) return device;
    std::filesystem::path path(device);
    if (!path.is_absolute()) {
        std::error_code error;
        const std::filesystem::path here = std::filesystem::current_path(error);
        if (error) return "./" + device;  // still not to be looked for under /dev/
        path = here / path;
    }
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        std::string resolved(real);
        std::free(real);
        return resolved;
    }
    return path.lexically_normal().string();
#else
    return device;
#endif
}

ResolvedPort ResolveSystemPort(int n, const PortLister& ports) {
    const std::string override = PortOverride(n);
    // Asking the system for its ports scans its devices (milliseconds); an override needs no
    // list to name its device.
    return ResolveComPort(n, override.empty() ? ports() : std::vector<PortInfo>{}, override,
                          ThisSystem());
}

PortOpenFailure DeviceToOpen(std::int16_t number, const std::string& fixedDevice,
                             const PortLister& ports) {
    PortOpenFailure failure;
    failure.number = fixedDevice.empty() ? number : 0;
    if (!fixedDevice.empty()) {
        failure.device = fixedDevice;
    } else {
        const ResolvedPort resolved = ResolveSystemPort(number, ports);
        failure.device = resolved.device;
        failure.overridden = resolved.overridden;
    }
    if (failure.device.empty()) failure.kind = PortOpenFailure::Kind::kNoDevice;
    return failure;
}

std::vector<ResolvedPort> ResolveSystemPorts(const PortLister& ports) {
    std::vector<std::string> overrides;
    for (int n = 1; n <= 9; ++n) overrides.push_back(PortOverride(n));
    std::vector<ResolvedPort> resolved = ResolveComPorts(ports(), overrides, ThisSystem());
#if defined(Q_OS_UNIX)
    for (ResolvedPort& port : resolved) {
        struct stat info {};
        port.missing = port.overridden && ::stat(DevicePathToOpen(port.device).c_str(), &info) != 0;
    }
#elif defined(Q_OS_WIN)
    // A COM name the system has no device for (COM99), or a path to nothing.
    for (ResolvedPort& port : resolved) {
        if (!port.overridden) continue;
        const std::string com = WindowsComName(port.device);
        const std::wstring name =
            QString::fromStdString(com.empty() ? port.device : com).toStdWString();
        if (com.empty()) {
            port.missing = ::GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES;
        } else {
            wchar_t target[1024];
            port.missing = ::QueryDosDeviceW(name.c_str(), target, 1024) == 0 &&
                           ::GetLastError() != ERROR_INSUFFICIENT_BUFFER;
        }
    }
#endif
    return resolved;
}

std::vector<std::string> SystemPortTable(const PortLister& ports) {
    return PortTable(ResolveSystemPorts(ports));
}

}  // namespace kelvara

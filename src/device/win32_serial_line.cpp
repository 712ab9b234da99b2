// The serial line and the port list of Windows, over the communications API, SetupAPI and the
// registry. (Linux and macOS use Qt SerialPort: qt_serial_line.cpp.)

#include <windows.h>
// After <windows.h>:
#include <devguid.h>
#include <setupapi.h>
#include <timeapi.h>

#include <QString>
#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <utility>

#include "device/line_events.h"
#include "device/win32_serial_line.h"
#include "files/datafile.h"

namespace kelvara {

namespace {

constexpr DWORD kQueueSize = 4096;

std::string Utf8(const wchar_t* text, std::size_t length) {
    return QString::fromWCharArray(text, static_cast<qsizetype>(length)).toStdString();
}

std::string Utf8(const wchar_t* text) { return Utf8(text, std::wcslen(text)); }

// A string value of a registry key; empty when it has none.
std::string RegistryText(HKEY key, const wchar_t* name) {
    wchar_t text[256] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return Utf8(text);  // stops at the first NUL, also of a value stored without one
}

// A property of a device in the device manager; of a list (the hardware ids), the first entry.
std::string DeviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[512] = {};
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                             reinterpret_cast<BYTE*>(text),
                                             sizeof text - sizeof(wchar_t), nullptr)) {
        return {};
    }
    return Utf8(text);
}

// The ports class of the device manager: "USB Serial Port (COM3)", FTDI, USB\VID_0403&PID_6001.
void AddDeviceManagerPorts(std::vector<PortInfo>& ports) {
    const HDEVINFO set =
        ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const HKEY key =
            ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        const std::string name = WindowsComName(RegistryText(key, L"PortName"));
        ::RegCloseKey(key);
        if (name.empty()) continue;  // a printer port
        ports.push_back(WindowsPortInfo(name, DeviceText(set, device, SPDRP_FRIENDLYNAME),
                                        DeviceText(set, device, SPDRP_MFG),
                                        DeviceText(set, device, SPDRP_HARDWAREID)));
    }
    ::SetupDiDestroyDeviceInfoList(set);
}

// The registry's list of the serial ports there are now, driver device to COM name
// ("\Device\Serial0" = "COM1"): also ports the device manager does not class as ports (some
// virtual ports, Wine's).
void AddSerialCommPorts(std::vector<PortInfo>& ports) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS) {
        return;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t device[256] = {};
        DWORD deviceLength = 255;
        wchar_t com[64] = {};
        DWORD size = sizeof com - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, i, device, &deviceLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(com), &size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::string name = WindowsComName(Utf8(com));
        const bool listed = std::any_of(ports.begin(), ports.end(), [&](const PortInfo& port) {
            return port.location == name;
        });
        if (!name.empty() && !listed) {
            ports.push_back(WindowsPortInfo(name, Utf8(device, deviceLength), "", ""));
        }
    }
    ::RegCloseKey(key);
}

int ComNumber(const std::string& name) { return std::atoi(name.c_str() + 3); }

// The system's own words for an error code, in the language of the user's Windows.
std::string SystemMessage(DWORD error) { return SystemErrorText(static_cast<int>(error)); }

// The path CreateFileW opens for a port: COM names in the device namespace, where COM10 and
// above are found too.
std::wstring DevicePath(const QString& device) {
    QString path = device;
    if (!path.startsWith(QStringLiteral("\\\\"))) path.prepend(QStringLiteral("\\\\.\\"));
    return path.toStdWString();
}

}  // namespace

std::vector<PortInfo> SystemPorts() {
    std::vector<PortInfo> ports;
    AddDeviceManagerPorts(ports);
    AddSerialCommPorts(ports);
    std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
        return ComNumber(a.location) < ComNumber(b.location);
    });
    return ports;
}

Win32SerialLine::Win32SerialLine(QObject* parent, PortLister ports)
    : SystemLineBase(parent, std::move(ports)), handle_(INVALID_HANDLE_VALUE) {}

Win32SerialLine::~Win32SerialLine() { Close(); }

bool Win32SerialLine::Open() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        return true;
    }
    gone_ = false;
    if (!FindDeviceToOpen()) return false;
    // No sharing: a port belongs to one program at a time. Not overlapped: every call returns
    // when it is done, and reads are bounded by the port's read time-out.
    const HANDLE handle =
        ::CreateFileW(DevicePath(QString::fromStdString(device_)).c_str(),
                      GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        ClassifyWindowsOpenError(error, SystemMessage(error), failure_);
        return false;
    }
    handle_ = handle;
    // Windows ticks its timers every 15.6 ms unless a program asks for finer ones: the 3 ms
    // polls and the 10 ms pauses of a transfer would last a tick each, a unit's time-out five
    // times its length. The finer timers are asked for while the port is open.
    fineTimers_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    if (!Configure()) {
        Close();
        return false;
    }
    return true;
}

// 9600,n,8,1 without handshaking, RTS low (DTR raised, as Linux and macOS leave it); reads
// that take what is there; no stale input; the error record as it stands counts for nothing.
bool Win32SerialLine::Configure() {
    const HANDLE handle = static_cast<HANDLE>(handle_);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) {
        failure_.kind = PortOpenFailure::Kind::kOther;
        failure_.reason = "ポートの設定を読み出せません（" + SystemMessage(::GetLastError()) + "）";
        return false;
    }
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;  // a line error must not hold up the reads that follow
    if (!::SetCommState(handle, &dcb)) {
        failure_.kind = PortOpenFailure::Kind::kOther;
        failure_.reason =
            "ポートを 9600,n,8,1 に設定できません（" + SystemMessage(::GetLastError()) + "）";
        return false;
    }
    ::SetupComm(handle, kQueueSize, kQueueSize);  // a wish; the driver may keep its own sizes
    if (!SetReadsReturnAtOnce()) {
        failure_.kind = PortOpenFailure::Kind::kOther;
        failure_.reason =
            "ポートの待ち時間を設定できません（" + SystemMessage(::GetLastError()) + "）";
        return false;
    }
    ::PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    ReadLineErrors(false, nullptr);
    return true;
}

// Reads return at once with whatever is waiting, also with nothing: the transfer's caller does
// the waiting. Writes have no time-out.
bool Win32SerialLine::SetReadsReturnAtOnce() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return ::SetCommTimeouts(static_cast<HANDLE>(handle_), &timeouts) != 0;
}

bool Win32SerialLine::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && !gone_; }

void Win32SerialLine::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = INVALID_HANDLE_VALUE;
    }
    if (fineTimers_) {
        ::timeEndPeriod(1);
        fineTimers_ = false;
    }
    gone_ = false;
}

// The first call that fails means the device side went away: from now on the line reads as
// closed, and the transfer ends at its next poll.
void Win32SerialLine::Lost() { gone_ = true; }

void Win32SerialLine::Write(std::string_view text) {
    while (IsOpen() && !text.empty()) {
        DWORD written = 0;
        if (!::WriteFile(static_cast<HANDLE>(handle_), text.data(), static_cast<DWORD>(text.size()),
                         &written, nullptr)) {
            Lost();
            return;
        }
        text.remove_prefix(std::min<std::size_t>(written, text.size()));
    }
}

std::string Win32SerialLine::ReadAll() {
    std::string data;
    std::uint32_t waiting = 0;
    if (!IsOpen() || !ReadLineErrors(true, &waiting) || waiting == 0) {
        return data;
    }
    data.resize(std::min<std::uint32_t>(waiting, kQueueSize));  // what a sane driver can hold
    DWORD got = 0;
    if (!::ReadFile(static_cast<HANDLE>(handle_), data.data(), static_cast<DWORD>(data.size()),
                    &got, nullptr)) {
        Lost();
        got = 0;
    }
    data.resize(got);
    return data;
}

// Takes the driver's error record of the port (report = false: the state at opening, which
// counts for nothing) and how many characters wait in its input queue. False when the port no
// longer answers.
bool Win32SerialLine::ReadLineErrors(bool report, std::uint32_t* waiting) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(static_cast<HANDLE>(handle_), &errors, &status)) {
        if (report) Lost();
        return false;
    }
    if (report) {
        for (const int code : LineEventsFromCommErrors(errors)) {
            Report(code);
        }
    }
    if (waiting != nullptr) *waiting = status.cbInQue;
    return true;
}

}  // namespace kelvara

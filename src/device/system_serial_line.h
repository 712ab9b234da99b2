#pragma once

// The serial line of the system the program is built for, with the same interface on every
// system (SerialLine, SelectPort, SetDevice, Device, the lineEvent signal): Qt SerialPort on
// Linux and macOS; on Windows the communications API, polled with read time-outs.

#if defined(_WIN32)
#include "device/win32_serial_line.h"
namespace kelvara {
using SystemSerialLine = Win32SerialLine;
}  // namespace kelvara
#else
#include "device/qt_serial_line.h"
namespace kelvara {
using SystemSerialLine = QtSerialLine;
}  // namespace kelvara
#endif

#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/port_names.h"
#include "device/qt_ports.h"
#include "device/system_line_base.h"

namespace kelvara {

// The serial line of Windows, over the communications API: 9600 baud, 8 data bits, no parity,
// 1 stop bit, no handshaking, RTS low. The port is open only between Open and Close; each Open
// takes COM n afresh (\\.\COMn), so an adapter plugged in after start-up is found.
//
// Input is polled: ReadAll takes what the driver holds and never waits. Nothing waits for a
// communications event, which some drivers (and Wine on a pseudo-terminal) never signal, so the
// line does not announce input (inputArrived): a transfer's wait between polls runs its time. Line
// errors while the port is open are reported by lineEvent, delivered with the window's next event
// processing, each kind once per opening. A port that stops answering (the USB adapter pulled)
// reads as closed from its first failed call; no event is reported for it.
//
// SetDevice takes "COM12" or "\\.\COM12", in UTF-8.
class Win32SerialLine : public SystemLineBase {
    Q_OBJECT

  public:
    explicit Win32SerialLine(QObject* parent = nullptr, PortLister ports = SystemPorts);
    ~Win32SerialLine() override;

    bool Open() override;  // opens the port and drops anything that was waiting
    bool IsOpen() const override;
    void Close() override;
    void Write(std::string_view text) override;
    std::string ReadAll() override;

  private:
    bool Configure();
    bool SetReadsReturnAtOnce();
    void Lost();
    bool ReadLineErrors(bool report, std::uint32_t* waiting);

    void* handle_;             // the port's HANDLE; INVALID_HANDLE_VALUE while closed
    bool gone_ = false;        // a call on the port failed: the device side vanished
    bool fineTimers_ = false;  // 1 ms timer resolution asked for while the port is open
};

}  // namespace kelvara

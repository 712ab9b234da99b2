#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/line_events.h"
#include "device/low_latency.h"
#include "device/port_names.h"
#include "device/qt_ports.h"
#include "device/system_line_base.h"

namespace kelvara {

// The serial line over QSerialPort at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow
// control, RTS off. The port is open only between Open and Close; each Open finds the device
// behind the COM number afresh (see ResolveSystemPort), so an adapter plugged in after start-up
// is found. Input that arrives is announced by inputArrived. Line errors while it is open are
// reported by lineEvent, delivered with the window's
// next event processing, each kind once per opening. A read or resource error means the device
// side went away: the line then reads as closed, and no event is reported for it.
//
// On Linux the driver is asked for low latency while the port is open (see LowLatency); control
// stands in for its ioctl calls in a test.
//
// SetDevice takes a path's bytes as the system takes them.
class QtSerialLine : public SystemLineBase {
    Q_OBJECT

  public:
    explicit QtSerialLine(QObject* parent = nullptr, PortLister ports = SystemPorts,
                          LowLatency::Control control = {});
    ~QtSerialLine() override;

    bool Open() override;  // opens the port and drops anything that was waiting
    bool IsOpen() const override;
    void Close() override;
    void Write(std::string_view text) override;
    std::string ReadAll() override;

  private:
    void OnError(QSerialPort::SerialPortError error);
    void ReadLineErrors(bool report);
    void NoteOpenFailure();

    QSerialPort port_;
    std::string path_;      // the path the last Open opened its device by
    bool opening_ = false;  // the pty answers the RTS setting with an error; not a line event
    bool gone_ = false;     // the device side vanished; closed at the next use
    bool countersReadable_ = false;
    LineErrorCounts counts_;
    LowLatency lowLatency_;
};

}  // namespace kelvara

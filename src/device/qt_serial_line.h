#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "device/line_events.h"
#include "device/port_names.h"
#include "device/qt_ports.h"
#include "device/transfer.h"

namespace kelvara {

// The serial line over QSerialPort at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow
// control, RTS off. The port is open only between Open and Close; each Open finds the device
// behind the COM number afresh (see ResolveSystemPort), so an adapter plugged in after start-up
// is found. Line errors while it is open are reported by lineEvent, delivered with the window's
// next event processing, each kind once per opening. A read or resource error means the device
// side went away: the line then reads as closed, and no event is reported for it.
class QtSerialLine : public QObject, public SerialLine {
    Q_OBJECT

  public:
    explicit QtSerialLine(QObject* parent = nullptr, PortLister ports = SystemPorts);
    ~QtSerialLine() override;

    void SelectPort(std::int16_t number) override;
    // Opens this device instead of the COM number SelectPort gives, until SetDevice("") (the
    // command-line client's --port PATH). The path's bytes as the system takes them.
    void SetDevice(const std::string& device);
    bool Open() override;  // opens the port and drops anything that was waiting
    bool IsOpen() const override;
    void Close() override;
    void Write(std::string_view text) override;
    std::string ReadAll() override;
    void WaitForInput(int milliseconds) override;
    std::string OpenErrorDetails() const override;

    // The device the last Open tried, as it was named; empty when the COM number named none.
    const std::string& Device() const { return device_; }

  signals:
    // A line event code (see line_events.h); LineEventMessage gives the text to show.
    void lineEvent(int code);

  private:
    void OnError(QSerialPort::SerialPortError error);
    void Report(int code);
    void ReadLineErrors(bool report);
    void NoteOpenFailure();

    QSerialPort port_;
    PortLister ports_;
    std::int16_t number_ = 1;
    std::string fixedDevice_;  // SetDevice, instead of the COM number
    std::string device_;       // what the last Open tried
    std::string path_;         // the path it opened that by
    PortOpenFailure failure_;
    bool opening_ = false;  // the pty answers the RTS setting with an error; not a line event
    bool gone_ = false;     // the device side vanished; closed at the next use
    bool countersReadable_ = false;
    LineErrorCounts counts_;
    std::set<int> reported_;  // line events already shown since the port opened
};

}  // namespace kelvara

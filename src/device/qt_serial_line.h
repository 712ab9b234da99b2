#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/line_events.h"
#include "device/transfer.h"

namespace kelvara {

// System name of port COM n: "COMn" on Windows, "/dev/ttyS{n-1}" elsewhere. The environment
// variable KELVARA_COMn (n = 1..9), when set, names that port instead on every system.
QString PortNameFor(int n);

// The serial line over QSerialPort at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow
// control, RTS off. The port is open only between Open and Close. Line errors while it is
// open are reported by lineEvent, delivered with the window's next event processing.
class QtSerialLine : public QObject, public SerialLine {
    Q_OBJECT

  public:
    explicit QtSerialLine(QObject* parent = nullptr);
    ~QtSerialLine() override;

    void SetPort(std::int16_t number) override;
    bool Open() override;  // opens the port and drops anything that was waiting
    bool IsOpen() const override;
    void Close() override;
    void Write(std::string_view text) override;
    std::string ReadAll() override;

  signals:
    // A line event code (see line_events.h); LineEventMessage gives the text to show.
    void lineEvent(int code);

  private:
    void OnError(QSerialPort::SerialPortError error);
    void Report(int code);
    bool LineGone();
    void ReadLineErrors(bool report);

    QSerialPort port_;
    bool opening_ = false;  // the pty answers the RTS setting with an error; not a line event
    bool gone_ = false;     // the device side vanished; the port is closed at the next use
    bool countersReadable_ = false;
    LineErrorCounts counts_;
};

}  // namespace kelvara

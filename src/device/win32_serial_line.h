#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "device/port_names.h"
#include "device/qt_ports.h"
#include "device/transfer.h"

namespace kelvara {

// The serial line of Windows, over the communications API: 9600 baud, 8 data bits, no parity,
// 1 stop bit, no handshaking, RTS low. The port is open only between Open and Close; each Open
// takes COM n afresh (\\.\COMn), so an adapter plugged in after start-up is found.
//
// Input is polled: ReadAll takes what the driver holds and never waits, WaitForInput waits in
// one read that returns at the first character or when its read time-out runs out. Nothing
// waits for a communications event, which some drivers (and Wine on a pseudo-terminal) never
// signal. Line errors while the port is open are reported by lineEvent, delivered with the
// window's next event processing, each kind once per opening. A port that stops answering (the
// USB adapter pulled) reads as closed from its first failed call; no event is reported for it.
class Win32SerialLine : public QObject, public SerialLine {
    Q_OBJECT

  public:
    explicit Win32SerialLine(QObject* parent = nullptr, PortLister ports = SystemPorts);
    ~Win32SerialLine() override;

    void SelectPort(std::int16_t number) override;
    // Opens this device instead of the COM number SelectPort gives, until SetDevice("") (the
    // command-line client's --port): "COM12" or "\\.\COM12".
    void SetDevice(const std::string& device);
    bool Open() override;  // opens the port and drops anything that was waiting
    bool IsOpen() const override;
    void Close() override;
    void Write(std::string_view text) override;
    std::string ReadAll() override;
    void WaitForInput(int milliseconds) override;
    std::string OpenErrorDetails() const override;

    // The device the last Open tried ("COM3"); empty when the COM number named none.
    const std::string& Device() const { return device_; }

  signals:
    // A line event code (see line_events.h); LineEventMessage gives the text to show.
    void lineEvent(int code);

  private:
    bool Configure();
    bool SetReadWait(int milliseconds);
    void Lost();
    void Report(int code);
    bool ReadLineErrors(bool report, std::uint32_t* waiting);

    void* handle_;  // the port's HANDLE; INVALID_HANDLE_VALUE while closed
    PortLister ports_;
    std::int16_t number_ = 1;
    std::string fixedDevice_;  // SetDevice, instead of the COM number (UTF-8)
    std::string device_;       // what the last Open tried
    PortOpenFailure failure_;
    bool gone_ = false;       // a call on the port failed: the device side vanished
    int readWaitMs_ = -1;     // the read time-out the port has now
    std::string received_;    // what a wait took off the port, for the next ReadAll
    std::set<int> reported_;  // line events already shown since the port opened
};

}  // namespace kelvara

#pragma once

#include <QObject>
#include <cstdint>
#include <set>
#include <string>

#include "device/port_names.h"
#include "device/qt_ports.h"
#include "device/transfer.h"

namespace kelvara {

// What the serial lines of every system share: which device an Open tries (the COM number, or a
// device named instead), the record of a failed open, and line events reported once per kind
// and opening, delivered with the window's next event processing.
class SystemLineBase : public QObject, public SerialLine {
    Q_OBJECT

  public:
    void SelectPort(std::int16_t number) override { number_ = number; }
    // Opens this device instead of the COM number SelectPort gives, until SetDevice("") (the
    // command-line client's --port).
    void SetDevice(const std::string& device) { fixedDevice_ = device; }
    std::string OpenErrorDetails() const override;

    // The device the last Open tried, as it was named; empty when the COM number named none.
    const std::string& Device() const { return device_; }

  signals:
    // A line event code (see line_events.h); LineEventMessage gives the text to show.
    void lineEvent(int code);
    // Characters have arrived for ReadAll (a line that cannot tell never emits it).
    void inputArrived();

  protected:
    SystemLineBase(QObject* parent, PortLister ports);

    // The start of every Open: forgets the events of the last opening and finds the device to
    // try, which failure_ and device_ then name. False when there is none.
    bool FindDeviceToOpen();
    // Reports a line event, once per kind since the port opened (a line at the wrong speed raises
    // the same error with every character).
    void Report(int code);

    PortOpenFailure failure_;
    std::string device_;

  private:
    PortLister ports_;
    std::int16_t number_ = 1;
    std::string fixedDevice_;
    std::set<int> reported_;
};

}  // namespace kelvara

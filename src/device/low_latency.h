#pragma once

#include <functional>

struct serial_struct;  // <linux/serial.h>

namespace kelvara {

// USB serial adapters hold what they receive for their latency timer before they pass it on
// (FTDI: 16 ms by default), so every '*' of a write would wait for it. Linux drivers take
// ASYNC_LOW_LATENCY as the request to pass it on at once (ftdi_sio sets its timer to 1 ms).
// The request holds while the port is open; Restore puts the driver's setting back, so the
// port is left as it was found. Ports without the setting (a pseudo-terminal, most built-in
// UARTs refuse or ignore it) are left alone. Elsewhere than on Linux, both do nothing.
class LowLatency {
  public:
    // The driver's control call: ::ioctl by default; a test records the calls instead.
    using Control = std::function<int(int fd, unsigned long request, serial_struct* settings)>;

    explicit LowLatency(Control control = {});

    // Asks the driver of the open port fd for low latency, unless it has it already.
    void Request(int fd);
    // Puts the setting Request changed back (also on a line that has gone: its error is of no
    // account). Call it before the port is closed; does nothing when Request changed nothing.
    void Restore(int fd);

  private:
    Control control_;
#if defined(__linux__)
    bool changed_ = false;  // Request set the flag; Restore clears it again
    int originalFlags_ = 0;
#endif
};

}  // namespace kelvara

#include <utility>

#include "device/low_latency.h"

#if defined(__linux__)
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace kelvara {

LowLatency::LowLatency(Control control) : control_(std::move(control)) {
#if defined(__linux__)
    if (!control_) {
        control_ = [](int fd, unsigned long request, serial_struct* settings) {
            return ::ioctl(fd, request, settings);
        };
    }
#endif
}

#if defined(__linux__)

void LowLatency::Request(int fd) {
    changed_ = false;
    serial_struct settings{};
    // A pty answers ENOTTY, some UARTs EINVAL: nothing to ask for.
    if (control_(fd, TIOCGSERIAL, &settings) != 0 ||
        (static_cast<unsigned>(settings.flags) & ASYNC_LOW_LATENCY) != 0) {
        return;
    }
    originalFlags_ = settings.flags;
    settings.flags = static_cast<int>(static_cast<unsigned>(settings.flags) | ASYNC_LOW_LATENCY);
    changed_ = control_(fd, TIOCSSERIAL, &settings) == 0;
}

void LowLatency::Restore(int fd) {
    if (!changed_) {
        return;
    }
    changed_ = false;
    // The rest of the settings as the driver has them now; only the flags go back.
    serial_struct settings{};
    if (control_(fd, TIOCGSERIAL, &settings) != 0) {
        return;  // the adapter has gone, and its setting with it
    }
    settings.flags = originalFlags_;
    control_(fd, TIOCSSERIAL, &settings);
}

#else

void LowLatency::Request(int) {}
void LowLatency::Restore(int) {}

#endif

}  // namespace kelvara

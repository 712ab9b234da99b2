#pragma once

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fake_device.h"

namespace kelvara::fakes {

// Opens the master side of a new pseudo-terminal, raw and not blocking; slave receives the path
// of the other side. -1 when none could be had.
inline int OpenRawPty(std::string& slave) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        if (master >= 0) ::close(master);
        return -1;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    slave = ::ptsname(master);
    return master;
}

// The master side of a pseudo-terminal with a FakeDevice behind it, serviced on demand from
// the thread that runs the transfer.
class PtyDevice {
  public:
    explicit PtyDevice(FakeDevice& device) : device_(device), master_(OpenRawPty(slave_)) {}
    ~PtyDevice() { CloseMaster(); }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    bool Ready() const { return master_ >= 0 && !slave_.empty(); }
    const std::string& SlavePath() const { return slave_; }

    // Takes everything the editor wrote and puts the device's answer on the line.
    void Service() {
        if (master_ < 0) {
            return;
        }
        char buffer[512];
        ssize_t n;
        while ((n = ::read(master_, buffer, sizeof buffer)) > 0) {
            const std::string answer = device_.Take(std::string_view(buffer, std::size_t(n)));
            for (std::size_t sent = 0; sent < answer.size();) {
                const ssize_t w = ::write(master_, answer.data() + sent, answer.size() - sent);
                if (w <= 0) {
                    break;
                }
                sent += std::size_t(w);
            }
        }
    }

    // Puts text on the line as the device, from any thread.
    void Put(std::string_view text) {
        if (master_ >= 0) {
            static_cast<void>(::write(master_, text.data(), text.size()));
        }
    }

    void CloseMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

  private:
    FakeDevice& device_;
    std::string slave_;
    int master_ = -1;
};

}  // namespace kelvara::fakes

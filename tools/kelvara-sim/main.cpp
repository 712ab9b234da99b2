// kelvara-sim: a Kelvara machine on a pseudo-terminal. The editor opens the slave side as its
// serial port; this program answers on the master side as the machine does and runs what it
// holds, showing its 8 x 8 cells in the terminal.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "machine_protocol.h"
#include "simulation/random.h"

namespace {

using kelvara::sim::Event;
using kelvara::sim::Faults;
using kelvara::sim::MachineProtocol;

constexpr char kUsage[] =
    "usage: kelvara-sim [options]\n"
    "\n"
    "A simulated Kelvara machine on a pseudo-terminal. The first line written to standard\n"
    "output is the path of the terminal to open as the serial port (for the editor:\n"
    "KELVARA_COM1=<path>). Stop it with Ctrl+C or SIGTERM.\n"
    "\n"
    "options:\n"
    "  --link PATH      also make a symbolic link PATH to the terminal (removed on exit)\n"
    "  --period MS      run one step (or life game generation) every MS milliseconds;\n"
    "                   0 holds the document as it was given (default 500)\n"
    "  --quiet          draw nothing and report nothing after the first line\n"
    "  --baud N         pace every character sent like a line at N baud (10 bits each)\n"
    "  --silent         take everything, answer nothing\n"
    "  --stop-after N   answer nothing more after N acknowledgements\n"
    "  --double-ack     acknowledge with \"**\" instead of \"*\"\n"
    "  --stray TEXT     send TEXT just before the next reply to a read request\n"
    "  --help           show this text\n"
    "\n"
    "The machine acknowledges each two-character unit of a write with '*' and answers the\n"
    "read request \"00\" with its framed document. A unit that does not fit where it stands\n"
    "gets no '*' and ends the write in progress, which is dropped; a pause of more than\n"
    "%lld ms on the line drops a half unit or an unfinished write as well.\n";

struct Options {
    std::string link;
    int periodMs = 500;
    bool quiet = false;
    int baud = 0;  // 0: no pacing
    Faults faults;
};

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SleepMicroseconds(long us) {
    timespec ts{us / 1000000, (us % 1000000) * 1000};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR && !g_stop) {
    }
}

std::optional<int> ParseNumber(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// Parses the command line; exits on --help and on a mistake.
Options ParseOptions(int argc, char** argv) {
    Options options;
    const auto fail = [](const std::string& message) {
        std::fprintf(stderr, "kelvara-sim: %s\n(see kelvara-sim --help)\n", message.c_str());
        std::exit(2);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        const auto value = [&]() -> std::string_view {
            if (i + 1 >= argc) {
                fail(std::string(flag) + " needs a value");
            }
            return argv[++i];
        };
        const auto number = [&](int low, int high) {
            const std::string_view text = value();
            const auto n = ParseNumber(text, low, high);
            if (!n) {
                fail(std::string(flag) + ": not a number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ": " + std::string(text));
            }
            return *n;
        };
        if (flag == "--help" || flag == "-h") {
            std::printf(kUsage, static_cast<long long>(kelvara::sim::kResyncPauseMs));
            std::exit(0);
        } else if (flag == "--link") {
            options.link = value();
        } else if (flag == "--period") {
            options.periodMs = number(0, 3600000);
        } else if (flag == "--quiet") {
            options.quiet = true;
        } else if (flag == "--baud") {
            options.baud = number(1, 4000000);
        } else if (flag == "--silent") {
            options.faults.silent = true;
        } else if (flag == "--stop-after") {
            options.faults.stopAfter = number(0, 1000000);
        } else if (flag == "--double-ack") {
            options.faults.doubleAck = true;
        } else if (flag == "--stray") {
            options.faults.stray = value();
        } else {
            fail("unknown option " + std::string(flag));
        }
    }
    return options;
}

// The master side of the pseudo-terminal, raw and non-blocking.
class Pty {
  public:
    bool Open() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            return false;
        }
        termios raw{};
        if (::tcgetattr(master_, &raw) != 0) {
            return false;
        }
        ::cfmakeraw(&raw);
        if (::tcsetattr(master_, TCSANOW, &raw) != 0) {
            return false;
        }
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        const char* name = ::ptsname(master_);
        if (name == nullptr) {
            return false;
        }
        slave_ = name;
        return true;
    }
    ~Pty() {
        if (master_ >= 0) {
            ::close(master_);
        }
    }

    int Fd() const { return master_; }
    const std::string& SlavePath() const { return slave_; }

    // Sends text, one character per line time when baud > 0. Gives up when nobody has the
    // terminal open.
    void Send(std::string_view text, int baud) {
        if (baud > 0) {
            const long characterUs = 10L * 1000000L / baud;  // start bit, 8 data bits, stop bit
            for (const char c : text) {
                if (!WriteAll(std::string_view(&c, 1))) {
                    return;
                }
                SleepMicroseconds(characterUs);
            }
        } else {
            WriteAll(text);
        }
    }

  private:
    bool WriteAll(std::string_view text) {
        for (int stalls = 0; !text.empty() && stalls < 20;) {
            const ssize_t n = ::write(master_, text.data(), text.size());
            if (n > 0) {
                text.remove_prefix(static_cast<std::size_t>(n));
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd out{master_, POLLOUT, 0};
                ::poll(&out, 1, 50);
                ++stalls;
            } else {
                return false;
            }
        }
        return text.empty();
    }

    int master_ = -1;
    std::string slave_;
};

// A symbolic link to the terminal, removed again when it still points there.
class Link {
  public:
    Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    ~Link() { Remove(); }

    bool Make(const std::string& path, const std::string& target) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0) {
            if (!S_ISLNK(info.st_mode)) {
                std::fprintf(stderr, "kelvara-sim: %s exists and is no symbolic link\n",
                             path.c_str());
                return false;
            }
            ::unlink(path.c_str());  // left behind by an earlier run
        }
        if (::symlink(target.c_str(), path.c_str()) != 0) {
            std::fprintf(stderr, "kelvara-sim: cannot link %s: %s\n", path.c_str(),
                         std::strerror(errno));
            return false;
        }
        path_ = path;
        target_ = target;
        return true;
    }

    void Remove() {
        if (path_.empty()) {
            return;
        }
        std::vector<char> buffer(target_.size() + 2);
        const ssize_t n = ::readlink(path_.c_str(), buffer.data(), buffer.size());
        if (n >= 0 && std::string_view(buffer.data(), static_cast<std::size_t>(n)) == target_) {
            ::unlink(path_.c_str());
        }
        path_.clear();
    }

  private:
    std::string path_;
    std::string target_;
};

std::string Describe(const Event& event) {
    switch (event.kind) {
        case Event::Kind::kStored:
            return "stored: " + std::to_string(event.plates) +
                   (event.plates == 1 ? " plate" : " plates");
        case Event::Kind::kLifeGameStored:
            return "stored: life game mode";
        case Event::Kind::kReplied:
            return "read: document sent";
        case Event::Kind::kDropped:
            return "dropped: unit \"" + kelvara::sim::Printable(event.unit) +
                   "\" does not fit; waiting for a new write";
        case Event::Kind::kAbandoned:
            return "abandoned: the line paused in the middle of a write";
    }
    return {};
}

bool IsTransfer(const Event& event) {
    return event.kind == Event::Kind::kStored || event.kind == Event::Kind::kLifeGameStored ||
           event.kind == Event::Kind::kReplied;
}

// What the machine shows: redrawn in place on a terminal, one line per transfer otherwise.
class Display {
  public:
    explicit Display(const Options& options)
        : options_(options), terminal_(::isatty(STDOUT_FILENO) == 1) {}

    void Report(const std::vector<Event>& events) {
        for (const Event& event : events) {
            last_ = Describe(event);
            if (!options_.quiet && !terminal_ && IsTransfer(event)) {
                std::printf("%s\n", last_.c_str());
                std::fflush(stdout);
            }
        }
    }

    void Draw(const MachineProtocol& machine, long steps) {
        if (options_.quiet || !terminal_) {
            return;
        }
        const kelvara::Document& doc = machine.Held();
        std::vector<std::string> lines;
        std::string mode = doc.GameMode == 1 ? "life game mode"
                                             : "normal mode, " + std::to_string(doc.PlateCount) +
                                                   (doc.PlateCount == 1 ? " plate" : " plates");
        std::string running = options_.periodMs > 0 ? "step " + std::to_string(steps) + ", every " +
                                                          std::to_string(options_.periodMs) + " ms"
                                                    : "holding (--period 0)";
        lines.push_back("Kelvara machine (simulated), Ctrl+C to stop");
        lines.push_back(mode + "   " + running + (machine.Receiving() ? "   receiving..." : ""));
        lines.emplace_back();
        for (int row = 0; row < 8; ++row) {
            std::string line = "    ";
            for (int column = 0; column < 8; ++column) {
                line += doc.MaData[row * 8 + column] == kelvara::kOn ? "\x1b[41m  \x1b[0m"
                                                                     : "\x1b[47m  \x1b[0m";
            }
            lines.push_back(line);
        }
        lines.emplace_back();
        lines.push_back(last_.empty() ? "waiting for the editor" : last_);

        // A line longer than the terminal would wrap onto a second row and throw the redraw
        // in place off by one: cut the text lines to the width (the cell rows are short).
        winsize size{};
        if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
            for (std::string& line : lines) {
                if (line.find('\x1b') == std::string::npos && line.size() >= size.ws_col) {
                    line.resize(size.ws_col - 1);
                }
            }
        }

        std::string out;
        if (drawnLines_ > 0) {
            out += "\x1b[" + std::to_string(drawnLines_) + "A";
        }
        for (const std::string& line : lines) {
            out += "\r\x1b[2K" + line + "\n";
        }
        drawnLines_ = static_cast<int>(lines.size());
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
    }

  private:
    const Options& options_;
    bool terminal_;
    int drawnLines_ = 0;
    std::string last_;
};

int Run(const Options& options) {
    Pty pty;
    if (!pty.Open()) {
        std::fprintf(stderr, "kelvara-sim: cannot open a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    Link link;
    if (!options.link.empty() && !link.Make(options.link, pty.SlavePath())) {
        return 1;
    }
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);

    MachineProtocol machine(options.faults);
    kelvara::ClockRandom random;
    Display display(options);
    long steps = 0;
    display.Draw(machine, steps);

    std::int64_t nextStep = NowMs() + options.periodMs;
    while (!g_stop) {
        std::int64_t now = NowMs();
        int timeoutMs = 100;
        if (options.periodMs > 0 && !machine.Receiving()) {
            timeoutMs = static_cast<int>(std::clamp<std::int64_t>(nextStep - now, 0, 100));
        }
        pollfd in{pty.Fd(), POLLIN, 0};
        const int ready = ::poll(&in, 1, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "kelvara-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        bool changed = false;
        bool nobodyThere = ready > 0 && (in.revents & (POLLHUP | POLLERR)) != 0;
        if (ready > 0 && (in.revents & POLLIN) != 0) {
            char buffer[256];
            ssize_t n;
            while ((n = ::read(pty.Fd(), buffer, sizeof buffer)) > 0) {
                const std::string answer =
                    machine.Take(std::string_view(buffer, static_cast<std::size_t>(n)), NowMs());
                if (!answer.empty()) {
                    pty.Send(answer, options.baud);
                    machine.LineBusy(NowMs());
                }
                changed = true;
            }
            nobodyThere = nobodyThere || (n < 0 && errno == EIO);
        }
        if (nobodyThere) {
            // No one has the terminal open: the master reports a hang-up until someone does.
            SleepMicroseconds(20000);
        }

        now = NowMs();
        machine.Expire(now);
        const std::vector<Event> events = machine.TakeEvents();
        display.Report(events);
        changed = changed || !events.empty();

        if (options.periodMs > 0 && now >= nextStep && machine.Step(random)) {
            ++steps;
            changed = true;
            nextStep += options.periodMs;
            if (nextStep <= now) {
                nextStep = now + options.periodMs;  // fell behind: no burst of catch-up steps
            }
        }
        if (changed) {
            display.Draw(machine, steps);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a signal ends the poll at once
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    return Run(options);
}

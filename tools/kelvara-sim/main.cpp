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

#include "machine/machine_protocol.h"
#include "simulation/random.h"

namespace {

using kelvara::machine::Event;
using kelvara::machine::Faults;
using kelvara::machine::MachineProtocol;

constexpr char kUsage[] =
    "使い方: kelvara-sim [オプション]\n"
    "\n"
    "擬似端末の上で動く Kelvara マシンのシミュレータです。標準出力の最初の行は、シリアル\n"
    "ポートとして開く端末のパスです（エディタには KELVARA_COM1=<パス> で渡します）。Ctrl+C か\n"
    "SIGTERM で止まります。\n"
    "\n"
    "オプション:\n"
    "  --link PATH      端末へのシンボリックリンク PATH も作る（終了するときに消す）。\n"
    "                   PATH がすでにあるものを指すリンクなら断る\n"
    "  --period MS      MS ミリ秒ごとに 1 ステップ（ライフゲームモードでは 1 世代）動かす。\n"
    "                   0 なら受け取った文書のまま動かさない（省略時 500）\n"
    "  --quiet          最初の行のあとは何も描かず、何も報告しない\n"
    "  --baud N         送る文字を N ボーの回線と同じ間隔で送る（1 文字 10 ビット）\n"
    "  --latency MS     USB シリアルアダプタのように、送る文字を MS ミリ秒ごとの区切りまで\n"
    "                   留める（FTDI の既定は 16）。0 なら留めない（省略時 0）\n"
    "  --silent         すべて受け取り、何も答えない\n"
    "  --stop-after N   確認を N 回返したあとは何も答えない\n"
    "  --double-ack     確認に \"*\" ではなく \"**\" を返す\n"
    "  --stray TEXT     次の読み出し要求への返事の直前に TEXT を送る\n"
    "  --help           この説明を表示する\n"
    "\n"
    "マシンは書き込みの 2 文字の単位ごとに '*' で確認を返し、読み出し要求 \"00\" には枠で\n"
    "囲んだ文書で答えます。その位置に合わない単位には '*' を返さず、進行中の書き込みは\n"
    "そこで終わって捨てられます。回線が %lld ミリ秒より長く途切れたときも、半端な単位や\n"
    "終わっていない書き込みは捨てられます。\n";

// A pass of the main loop takes at most this much from the line.
constexpr std::size_t kReadChunk = 256;
// No more input is taken while this much waits to be sent.
constexpr std::size_t kOutgoingLimit = 16384;

struct Options {
    std::string link;
    int periodMs = 500;
    bool quiet = false;
    int baud = 0;       // 0: no pacing
    int latencyMs = 0;  // 0: no adapter between the line and the terminal
    Faults faults;
};

// A stop signal sets the flag and puts a byte in a pipe that every wait of the program polls,
// so a signal ends any wait at once, also one that began just before it arrived.
volatile sig_atomic_t g_stop = 0;
int g_stopPipe[2] = {-1, -1};

void OnSignal(int) {
    g_stop = 1;
    const int saved = errno;
    if (::write(g_stopPipe[1], "s", 1) < 0) {
        // full: a stop is waiting already
    }
    errno = saved;
}

std::int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// poll() to the microsecond, which pacing at 9600 baud needs; a negative timeout waits on.
int Wait(pollfd* fds, nfds_t count, std::int64_t timeoutUs) {
    const timespec timeout{static_cast<time_t>(timeoutUs / 1000000),
                           static_cast<long>(timeoutUs % 1000000) * 1000};
    return ::ppoll(fds, count, timeoutUs < 0 ? nullptr : &timeout, nullptr);
}

// Writes all of text to standard output, waiting as long as it takes unless a stop signal
// comes: a terminal held with Ctrl+S or a pipe nobody reads never keeps the program from
// stopping. Gives up quietly when the output is gone.
void WriteOut(std::string_view text) {
    while (!text.empty() && !g_stop) {
        pollfd fds[2] = {{g_stopPipe[0], POLLIN, 0}, {STDOUT_FILENO, POLLOUT, 0}};
        if (Wait(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (g_stop) {
            return;
        }
        if (fds[1].revents == 0) {
            continue;
        }
        // Blocking, but a signal cuts it short (no SA_RESTART).
        const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
        if (n > 0) {
            text.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return;
        }
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
        std::fprintf(stderr, "kelvara-sim: %s\n(kelvara-sim --help を見てください)\n",
                     message.c_str());
        std::exit(2);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        const auto value = [&]() -> std::string_view {
            if (i + 1 >= argc) {
                fail(std::string(flag) + " には値が要ります");
            }
            return argv[++i];
        };
        const auto number = [&](int low, int high) {
            const std::string_view text = value();
            const auto n = ParseNumber(text, low, high);
            if (!n) {
                fail(std::string(flag) + " には " + std::to_string(low) + " から " +
                     std::to_string(high) + " までの数を指定してください: " + std::string(text));
            }
            return *n;
        };
        if (flag == "--help" || flag == "-h") {
            std::printf(kUsage, static_cast<long long>(kelvara::machine::kResyncPauseMs));
            std::exit(0);
        } else if (flag == "--link") {
            options.link = value();
            if (options.link.empty()) {
                fail("--link にはパスが要ります");
            }
        } else if (flag == "--period") {
            options.periodMs = number(0, 3600000);
        } else if (flag == "--quiet") {
            options.quiet = true;
        } else if (flag == "--baud") {
            options.baud = number(1, 4000000);
        } else if (flag == "--latency") {
            options.latencyMs = number(0, 1000);
        } else if (flag == "--silent") {
            options.faults.silent = true;
        } else if (flag == "--stop-after") {
            options.faults.stopAfter = number(0, 1000000);
        } else if (flag == "--double-ack") {
            options.faults.doubleAck = true;
        } else if (flag == "--stray") {
            options.faults.stray = value();
        } else {
            fail("知らないオプションです: " + std::string(flag));
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

  private:
    int master_ = -1;
    std::string slave_;
};

// A USB serial adapter between the machine's line and the computer, passing on what it
// receives as FTDI's chips do: a character that has come off the line waits in the chip for the
// next tick of its latency timer, and all that has come by then goes at once. The timer runs
// freely (an idle chip sends a status packet every period), so the ticks keep their phase
// whatever the line does; a character that comes off the line at a tick goes with it.
class Adapter {
  public:
    Adapter(int latencyMs, std::int64_t startUs)
        : periodUs_(std::int64_t{latencyMs} * 1000), originUs_(startUs) {}

    bool On() const { return periodUs_ > 0; }
    bool Empty() const { return held_.empty(); }
    std::size_t Size() const { return held_.size(); }
    void Clear() {
        held_.clear();
        ready_ = 0;
    }

    // c came off the line at atUs (no earlier than the character before it).
    void Take(char c, std::int64_t atUs) {
        Ripen(atUs);
        if (ready_ == held_.size()) {
            tickUs_ = originUs_ + (atUs - originUs_ + periodUs_ - 1) / periodUs_ * periodUs_;
        }
        held_ += c;
    }

    // Microseconds until something may go to the computer (0: now); -1 when nothing is held.
    std::int64_t DueInUs(std::int64_t nowUs) const {
        if (Empty()) {
            return -1;
        }
        return ready_ > 0 ? 0 : std::max<std::int64_t>(tickUs_ - nowUs, 0);
    }

    // Writes what the ticks up to nowUs have passed on, as far as the terminal takes it without
    // blocking. A write refused for good drops everything held.
    void WriteDue(int fd, std::int64_t nowUs) {
        Ripen(nowUs);
        if (ready_ == 0) {
            return;
        }
        const ssize_t n = ::write(fd, held_.data(), ready_);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR) {
                Clear();
            }
            return;
        }
        held_.erase(0, static_cast<std::size_t>(n));
        ready_ -= static_cast<std::size_t>(n);
    }

  private:
    // Once the tick of the waiting characters has come, they may all go.
    void Ripen(std::int64_t nowUs) {
        if (ready_ < held_.size() && tickUs_ <= nowUs) {
            ready_ = held_.size();
        }
    }

    std::int64_t periodUs_;    // 0: no adapter
    std::int64_t originUs_;    // a tick of the timer
    std::string held_;         // in the order they came off the line
    std::size_t ready_ = 0;    // held_ up to here has been passed on; the terminal takes it next
    std::int64_t tickUs_ = 0;  // the tick at which the rest of held_ goes
};

// What the machine has to send, waiting for the line. The main loop writes it as the terminal
// takes it and, when paced, each character no earlier than one character time after the one
// before, so that sending never holds the program in a sleep. With an adapter (--latency),
// what comes off the line goes to the adapter, which passes it to the terminal at its ticks.
class Outgoing {
  public:
    Outgoing(int baud, int latencyMs, std::int64_t startUs)
        : characterUs_(baud > 0 ? 10LL * 1000000 / baud : 0), adapter_(latencyMs, startUs) {}

    bool Empty() const { return !Sending() && adapter_.Empty(); }
    std::size_t Size() const { return queue_.size() - sent_ + adapter_.Size(); }
    // Whether characters are still to go onto the machine's line.
    bool Sending() const { return sent_ != queue_.size(); }

    void Add(std::string_view text, std::int64_t nowUs) {
        if (!Sending()) {
            ClearLine();
            // The line is free once the last character's time has passed.
            nextUs_ = std::max(nextUs_, nowUs);
        }
        queue_.append(text);
    }

    // Nobody is there to take it.
    void Clear() {
        ClearLine();
        adapter_.Clear();
    }

    // Microseconds until the next character may go (0: now).
    std::int64_t DueInUs(std::int64_t nowUs) const {
        std::int64_t dueUs = adapter_.DueInUs(nowUs);
        if (Sending()) {
            const std::int64_t lineUs =
                characterUs_ > 0 ? std::max<std::int64_t>(nextUs_ - nowUs, 0) : 0;
            dueUs = dueUs < 0 ? lineUs : std::min(dueUs, lineUs);
        }
        return std::max<std::int64_t>(dueUs, 0);
    }

    // Writes what is due without blocking; returns how many characters went onto the line. A
    // write the terminal refuses for good (not just "full") drops the rest, as a line nobody
    // listens on.
    std::size_t WriteDue(int fd, std::int64_t nowUs) {
        std::size_t count = queue_.size() - sent_;
        if (characterUs_ > 0) {
            if (count == 0 || nowUs < nextUs_) {
                count = 0;
            } else {
                // A late wake-up sends what fell due meanwhile, but no burst after a long stall.
                nextUs_ = std::max(nextUs_, nowUs - kCatchUpUs);
                count = std::min<std::size_t>(
                    count, static_cast<std::size_t>((nowUs - nextUs_) / characterUs_) + 1);
            }
        }
        std::size_t written = 0;
        if (adapter_.On()) {
            // A character has come off the line when pacing lets it go (an unpaced line: when
            // the machine sends it); the adapter holds it from then.
            for (; written < count; ++written) {
                adapter_.Take(queue_[sent_ + written],
                              nextUs_ + static_cast<std::int64_t>(written) * characterUs_);
            }
            adapter_.WriteDue(fd, nowUs);
        } else if (count > 0) {
            const ssize_t n = ::write(fd, queue_.data() + sent_, count);
            if (n < 0) {
                if (errno != EAGAIN && errno != EINTR) {
                    ClearLine();
                }
                return 0;
            }
            written = static_cast<std::size_t>(n);
        }
        sent_ += written;
        nextUs_ += static_cast<std::int64_t>(written) * characterUs_;
        if (!Sending()) {
            ClearLine();
        } else if (sent_ >= kCompactAt) {
            queue_.erase(0, sent_);
            sent_ = 0;
        }
        return written;
    }

  private:
    static constexpr std::int64_t kCatchUpUs = 10000;
    static constexpr std::size_t kCompactAt = 4096;

    void ClearLine() {
        queue_.clear();
        sent_ = 0;
    }

    std::int64_t characterUs_;  // start bit, 8 data bits, stop bit; 0: not paced
    std::int64_t nextUs_ = 0;
    std::string queue_;
    std::size_t sent_ = 0;  // queue_ up to here has gone
    Adapter adapter_;
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
                std::fprintf(
                    stderr,
                    "kelvara-sim: %s はシンボリックリンクではないファイルとしてすでにあります\n",
                    path.c_str());
                return false;
            }
            // The terminal of a running simulator exists as long as it runs: a link to
            // anything that exists may be in use and is not taken over. Only a link to nothing
            // is left over from an earlier run.
            if (::stat(path.c_str(), &info) == 0) {
                std::vector<char> target(4096);
                const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
                std::fprintf(
                    stderr,
                    "kelvara-sim: %s はすでにある %s を指しています (動いているシミュレータの"
                    "端末かもしれません)。使われていなければリンクを消してください\n",
                    path.c_str(), n > 0 ? std::string(target.data(), n).c_str() : "?");
                return false;
            }
            ::unlink(path.c_str());  // left behind by an earlier run
        }
        if (::symlink(target.c_str(), path.c_str()) != 0) {
            std::fprintf(stderr, "kelvara-sim: リンク %s を作れません: %s\n", path.c_str(),
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
            return "dropped: unit \"" + kelvara::machine::Printable(event.unit) +
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
        std::string lines;
        for (const Event& event : events) {
            last_ = Describe(event);
            if (!options_.quiet && !terminal_ && IsTransfer(event)) {
                lines += last_ + "\n";
            }
        }
        WriteOut(lines);
    }

    // Something to show has changed. The terminal is redrawn at most every kRedrawUs, so that
    // a flood on the line does not become a flood on the terminal.
    void Changed() { stale_ = true; }

    // Microseconds until a redraw is due (0: now), -1 when none is waiting.
    std::int64_t RedrawInUs(std::int64_t nowUs) const {
        if (!stale_ || options_.quiet || !terminal_) {
            return -1;
        }
        return std::max<std::int64_t>(drawnUs_ + kRedrawUs - nowUs, 0);
    }

    void DrawIfDue(const MachineProtocol& machine, long steps, std::int64_t nowUs) {
        if (RedrawInUs(nowUs) == 0) {
            Draw(machine, steps);
            stale_ = false;
            drawnUs_ = nowUs;
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
        WriteOut(out);
    }

  private:
    static constexpr std::int64_t kRedrawUs = 40000;

    const Options& options_;
    bool terminal_;
    int drawnLines_ = 0;
    std::string last_;
    bool stale_ = false;
    std::int64_t drawnUs_ = 0;
};

int Run(const Options& options) {
    Pty pty;
    if (!pty.Open()) {
        std::fprintf(stderr, "kelvara-sim: 擬似端末を開けません: %s\n", std::strerror(errno));
        return 1;
    }
    Link link;
    if (!options.link.empty() && !link.Make(options.link, pty.SlavePath())) {
        return 1;
    }
    WriteOut(pty.SlavePath() + "\n");

    MachineProtocol machine(options.faults);
    kelvara::ClockRandom random;
    Display display(options);
    Outgoing outgoing(options.baud, options.latencyMs, NowUs());
    long steps = 0;
    display.Draw(machine, steps);

    const std::int64_t periodUs = std::int64_t{options.periodMs} * 1000;
    std::int64_t nextStepUs = NowUs() + periodUs;
    std::int64_t ptyQuietUntilUs = 0;
    while (!g_stop) {
        std::int64_t nowUs = NowUs();
        std::int64_t waitUs = 100000;  // the resync pause is checked at least this often
        if (periodUs > 0 && !machine.Receiving()) {
            waitUs = std::min(waitUs, std::max<std::int64_t>(nextStepUs - nowUs, 0));
        }
        if (const std::int64_t redrawUs = display.RedrawInUs(nowUs); redrawUs >= 0) {
            waitUs = std::min(waitUs, redrawUs);
        }
        // The terminal: input only while what is to be sent fits (a sender that does not read
        // the answers is held up there, its requests waiting in the terminal), output when the
        // next character is due. While nobody has the terminal open it reports a hang-up
        // without end: then it is left alone for a moment.
        pollfd fds[2] = {{g_stopPipe[0], POLLIN, 0}, {pty.Fd(), 0, 0}};
        if (nowUs < ptyQuietUntilUs) {
            fds[1].fd = -1;
            waitUs = std::min(waitUs, ptyQuietUntilUs - nowUs);
        } else {
            if (outgoing.Size() < kOutgoingLimit) {
                fds[1].events |= POLLIN;
            }
            if (!outgoing.Empty()) {
                const std::int64_t dueUs = outgoing.DueInUs(nowUs);
                if (dueUs == 0) {
                    fds[1].events |= POLLOUT;
                } else {
                    waitUs = std::min(waitUs, dueUs);
                }
            }
        }
        const int ready = Wait(fds, 2, waitUs);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "kelvara-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (g_stop) {
            break;
        }

        nowUs = NowUs();
        const short revents = ready > 0 ? fds[1].revents : 0;
        bool nobodyThere = (revents & (POLLHUP | POLLERR)) != 0;
        bool tookInput = false;
        if ((revents & POLLIN) != 0) {
            // One bounded piece per pass: a flood on the line never keeps the loop from the
            // stop signal, the events or the display.
            char buffer[kReadChunk];
            const ssize_t n = ::read(pty.Fd(), buffer, sizeof buffer);
            if (n > 0) {
                tookInput = true;
                outgoing.Add(machine.Take(std::string_view(buffer, static_cast<std::size_t>(n)),
                                          nowUs / 1000),
                             nowUs);
                display.Changed();
            } else if (n < 0 && errno == EIO) {
                nobodyThere = true;
            }
        }
        if (nobodyThere) {
            outgoing.Clear();  // what the machine sends goes nowhere
            if (!tookInput) {
                ptyQuietUntilUs = nowUs + 20000;
            }
        }
        const std::size_t sent = outgoing.WriteDue(pty.Fd(), nowUs);
        if (sent > 0 || outgoing.Sending()) {
            machine.LineBusy(nowUs / 1000);  // the machine's own sending keeps the line busy
        }

        machine.Expire(nowUs / 1000);
        const std::vector<Event> events = machine.TakeEvents();
        if (!events.empty()) {
            display.Report(events);
            display.Changed();
        }

        if (periodUs > 0 && nowUs >= nextStepUs && machine.Step(random)) {
            ++steps;
            display.Changed();
            nextStepUs += periodUs;
            if (nextStepUs <= nowUs) {
                nextStepUs = nowUs + periodUs;  // fell behind: no burst of catch-up steps
            }
        }
        display.DrawIfDue(machine, steps, nowUs);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);

    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "kelvara-sim: pipe: %s\n", std::strerror(errno));
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a signal also cuts a blocking write short
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    return Run(options);
}

// The editor's transfers through the real QSerialPort against the real kelvara-sim program, and
// the program's own conduct towards a client that misbehaves on the line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../support/varied_document.h"
#include "device/qt_serial_line.h"
#include "device/transfer.h"
#include "device/transfer_pump.h"

namespace kelvara {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void MakeRaw(int fd) {
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
}

// The simulator, started for one test and stopped at its end. Its standard output is a pipe,
// or a terminal of the test's own where it draws its cells.
class Simulator {
  public:
    enum class Output { kPipe, kTerminal };

    explicit Simulator(QStringList arguments, Output output = Output::kPipe) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // AddressSanitizer holds on to freed memory (up to 256 MB) before reusing it, which
        // would read as growth: the memory figures are to be the program's own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ASAN_OPTIONS",
                           environment.value("ASAN_OPTIONS") + ":quarantine_size_mb=1");
        process_.setProcessEnvironment(environment);
        int slave = -1;
        if (output == Output::kTerminal) {
            terminal_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (terminal_ < 0 || ::grantpt(terminal_) != 0 || ::unlockpt(terminal_) != 0 ||
                (slave = ::open(::ptsname(terminal_), O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
                return;
            }
            MakeRaw(slave);  // what the program writes arrives unchanged
            const winsize size{30, 100, 0, 0};
            ::ioctl(slave, TIOCSWINSZ, &size);
            process_.setChildProcessModifier([slave] { ::dup2(slave, STDOUT_FILENO); });
        }
        process_.start(QStringLiteral(KELVARA_SIM_PROGRAM), arguments);
        if (slave >= 0) {
            ::close(slave);
        }
        if (!process_.waitForStarted(10000)) {
            return;
        }
        if (terminal_ >= 0) {
            if (WaitForOutput("\n", 10000)) {
                path_ = QString::fromStdString(output_.substr(0, output_.find('\n')));
            }
        } else {
            while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
            }
            path_ = QString::fromUtf8(process_.readLine());
        }
        path_ = path_.trimmed();
    }
    ~Simulator() {
        Stop();
        if (terminal_ >= 0) {
            ::close(terminal_);
        }
    }

    const QString& Path() const { return path_; }
    const std::string& Printed() const { return output_; }

    // SIGTERM, as a user or a script stops it; returns the exit code.
    int Stop() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished();
                return -1;
            }
        }
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

    // Sends signal; returns how long it took to end, nothing when it still runs after limitMs.
    std::optional<double> StopWith(int signal, int limitMs) {
        const auto start = Clock::now();
        if (const qint64 pid = process_.processId(); pid > 0) {
            ::kill(static_cast<pid_t>(pid), signal);
        }
        do {
            Drain();  // may see the end already
            if (process_.state() == QProcess::NotRunning || process_.waitForFinished(1)) {
                return MsSince(start);
            }
        } while (MsSince(start) < limitMs);
        return std::nullopt;
    }

    // Takes in what it has written so far, so that it is never held up by its output.
    void Drain() {
        QCoreApplication::processEvents();
        output_ += process_.readAllStandardOutput().toStdString();
        char buffer[4096];
        for (ssize_t n; terminal_ >= 0 && (n = ::read(terminal_, buffer, sizeof buffer)) > 0;) {
            output_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Whether text turns up in its output, after what was found before, within limitMs.
    bool WaitForOutput(std::string_view text, int limitMs) {
        for (const auto start = Clock::now(); MsSince(start) < limitMs; QThread::msleep(5)) {
            Drain();
            if (const auto at = output_.find(text, searched_); at != std::string::npos) {
                searched_ = at + text.size();
                return true;
            }
        }
        return false;
    }

    // A figure from /proc/PID/status in kB: "VmRSS" now, "VmHWM" at its peak.
    long MemoryKb(const std::string& field) {
        std::ifstream status("/proc/" + std::to_string(process_.processId()) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(field + ":", 0) == 0) {
                return std::stol(line.substr(field.size() + 1));
            }
        }
        return -1;
    }

  private:
    QProcess process_;
    QString path_;
    int terminal_ = -1;
    std::string output_;
    std::size_t searched_ = 0;
};

class Host : public TransferHost {
  public:
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void ArmStatusTimer() override {}
    void ShowPortOpenError() override { ++portErrors; }
    void ShowTransferError(const std::string&) override { ++portErrors; }
    bool Closing() const override { return false; }

    std::vector<std::string> statuses;
    int portErrors = 0;
};

// The editor's side: COM1 pointed at the simulator.
struct Editor {
    explicit Editor(const QString& port) {
        qputenv("KELVARA_COM1", port.toUtf8());
        InitDocument(doc);
    }
    // Runs one transfer on doc and returns its last status text.
    std::string Run(std::int16_t mode, const TransferTiming& timing = {}) {
        host.statuses.clear();
        ComMain transfer(mode, doc, line, host, timing);
        RunTransfer(transfer, &line);
        return host.statuses.empty() ? std::string() : host.statuses.back();
    }

    QtSerialLine line;
    Host host;
    Document doc;
};

using test::Varied;

void ExpectSameDocument(const Document& actual, const Document& expected) {
    EXPECT_EQ(actual.GameMode, expected.GameMode);
    EXPECT_EQ(actual.PlateCount, expected.PlateCount);
    EXPECT_EQ(actual.MaData, expected.MaData);
    EXPECT_EQ(actual.IfData, expected.IfData);
    EXPECT_EQ(actual.AcData, expected.AcData);
}

TransferTiming Quick() {
    TransferTiming timing;
    timing.pollLimit = 20;
    return timing;
}

TEST(SimulatorTest, WriteAndReadBackThroughTheLink) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyKelvara"));
    Simulator sim({"--period", "0", "--link", link});
    ASSERT_FALSE(sim.Path().isEmpty());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.Path());

    Editor editor(link);
    editor.doc = Varied(50);
    const Document sent = editor.doc;
    EXPECT_EQ(editor.Run(kTransferWrite), kWriteDoneText);

    Editor reader(link);
    EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);
    ExpectSameDocument(reader.doc, sent);

    // A shorter document replaces it; plates above its count stay as the editor had them.
    editor.doc = Varied(3);
    EXPECT_EQ(editor.Run(kTransferWrite), kWriteDoneText);
    EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);
    EXPECT_EQ(reader.doc.PlateCount, 3);
    for (int p = 1; p <= 3; ++p) {
        EXPECT_EQ(reader.doc.IfData[p], editor.doc.IfData[p]) << "plate " << p;
        EXPECT_EQ(reader.doc.AcData[p], editor.doc.AcData[p]) << "plate " << p;
    }
    EXPECT_EQ(reader.doc.IfData[4], sent.IfData[4]);
    EXPECT_EQ(reader.host.portErrors + editor.host.portErrors, 0);

    // A second simulator given the same link leaves it to the first, which stays reachable;
    // an empty link is no link.
    for (const QString& taken : {link, QString()}) {
        QProcess second;
        second.start(QStringLiteral(KELVARA_SIM_PROGRAM), {"--quiet", "--link", taken});
        ASSERT_TRUE(second.waitForFinished(10000));
        EXPECT_NE(second.exitCode(), 0);
        EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
        EXPECT_FALSE(second.readAllStandardError().isEmpty());
    }
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.Path());
    EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);

    // Stopped with SIGTERM, it ends cleanly and takes its link away.
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(QFileInfo::exists(link) || QFileInfo(link).isSymLink());

    // A link to nothing is left over from a simulator that was killed: the next one takes it.
    ASSERT_TRUE(QFile::link(dir.filePath("gone"), link));
    Simulator next({"--period", "0", "--link", link});
    ASSERT_FALSE(next.Path().isEmpty());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), next.Path());
}

TEST(SimulatorTest, LifeGameModeIsReadBackAsMarkerAndPattern) {
    Simulator sim({"--period", "0", "--baud", "9600"});  // characters paced like the line
    ASSERT_FALSE(sim.Path().isEmpty());
    Editor editor(sim.Path());
    editor.doc = Varied(2);
    EXPECT_EQ(editor.Run(kTransferLifeGame), kLifeGameDoneText);

    Editor reader(sim.Path());
    reader.doc.PlateCount = 4;
    EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);
    EXPECT_EQ(reader.doc.GameMode, 1);
    EXPECT_EQ(reader.doc.MaData, editor.doc.MaData);
    EXPECT_EQ(reader.doc.PlateCount, 4);  // the marker carries no count
}

// Behind an adapter's latency timer the acknowledgements come late and the reply in bunches, at
// the timer's ticks; nothing is lost or reordered.
TEST(SimulatorTest, BehindAnAdaptersLatencyTheTransfersComeThroughWhole) {
    Simulator sim({"--period", "0", "--baud", "9600", "--latency", "16", "--quiet"});
    ASSERT_FALSE(sim.Path().isEmpty());
    Editor editor(sim.Path());
    editor.doc = Varied(50);
    EXPECT_EQ(editor.Run(kTransferWrite), kWriteDoneText);
    Editor reader(sim.Path());
    EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);
    ExpectSameDocument(reader.doc, editor.doc);
}

TEST(SimulatorTest, TheRunningMachineIsReadAsItIsNow) {
    Simulator sim({"--period", "20"});
    ASSERT_FALSE(sim.Path().isEmpty());
    Editor editor(sim.Path());
    Pattern upright{};
    upright[8 * 2 + 4] = upright[8 * 3 + 4] = upright[8 * 4 + 4] = kOn;
    Pattern flat{};
    flat[8 * 3 + 3] = flat[8 * 3 + 4] = flat[8 * 3 + 5] = kOn;
    editor.doc.MaData = flat;
    EXPECT_EQ(editor.Run(kTransferLifeGame), kLifeGameDoneText);

    // Every read shows one of the blinker's two phases; both turn up while it runs.
    bool sawFlat = false;
    bool sawUpright = false;
    for (int reads = 0; reads < 200 && !(sawFlat && sawUpright); ++reads) {
        ASSERT_EQ(editor.Run(kTransferRead), kReadDoneText);
        ASSERT_TRUE(editor.doc.MaData == flat || editor.doc.MaData == upright);
        sawFlat = sawFlat || editor.doc.MaData == flat;
        sawUpright = sawUpright || editor.doc.MaData == upright;
        QThread::msleep(7);
    }
    EXPECT_TRUE(sawFlat);
    EXPECT_TRUE(sawUpright);
}

TEST(SimulatorTest, FaultyMachinesEndInTheRetryText) {
    {
        Simulator sim({"--period", "0", "--silent"});
        ASSERT_FALSE(sim.Path().isEmpty());
        Editor editor(sim.Path());
        editor.doc = Varied(2);
        const Document before = editor.doc;
        EXPECT_EQ(editor.Run(kTransferWrite, Quick()), kTransferRetryText);
        EXPECT_EQ(editor.Run(kTransferRead, Quick()), kTransferRetryText);
        ExpectSameDocument(editor.doc, before);
    }
    {
        // "**" is no acknowledgement, though the machine took every unit.
        Simulator sim({"--period", "0", "--double-ack"});
        ASSERT_FALSE(sim.Path().isEmpty());
        Editor editor(sim.Path());
        editor.doc = Varied(2);
        EXPECT_EQ(editor.Run(kTransferWrite, Quick()), kTransferRetryText);
        Editor reader(sim.Path());
        EXPECT_EQ(reader.Run(kTransferRead), kReadDoneText);
        EXPECT_EQ(reader.doc.PlateCount, 2);
    }

    // Acknowledges the count and the pattern, then falls silent: the plates time out.
    Simulator sim({"--period", "0", "--stop-after", "9"});
    ASSERT_FALSE(sim.Path().isEmpty());
    Editor editor(sim.Path());
    EXPECT_EQ(editor.Run(kTransferLifeGame, Quick()), kLifeGameDoneText);
    EXPECT_EQ(editor.Run(kTransferWrite, Quick()), kTransferRetryText);
}

TEST(SimulatorTest, AStrayStarBeforeTheReplyIsRefused) {
    Simulator sim({"--period", "0", "--stray", "*"});
    ASSERT_FALSE(sim.Path().isEmpty());
    Editor editor(sim.Path());
    editor.doc = Varied(1);
    const Document before = editor.doc;
    TransferTiming timing;
    timing.pollLimit = 300;
    EXPECT_EQ(editor.Run(kTransferRead, timing), kTransferRetryText);
    ExpectSameDocument(editor.doc, before);

    // The stray came once; the next read takes the machine's new document.
    EXPECT_EQ(editor.Run(kTransferRead, timing), kReadDoneText);
    Document fresh;
    InitDocument(fresh);
    ExpectSameDocument(editor.doc, fresh);
}

// ---------------------------------------------------------------------------------------------
// A client that misbehaves on the line: the program must stay in its user's hands.

// The other end of the line, raw and non-blocking, without any serial library.
class RawClient {
  public:
    explicit RawClient(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ >= 0) {
            MakeRaw(fd_);
        }
    }
    ~RawClient() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    // Puts what the terminal takes of text on the line without waiting; returns how much.
    std::size_t Offer(std::string_view text) {
        const ssize_t n = ::write(fd_, text.data(), text.size());
        if (n <= 0) {
            pollfd out{fd_, POLLOUT, 0};  // full: a moment for the machine
            ::poll(&out, 1, 2);
            return 0;
        }
        return static_cast<std::size_t>(n);
    }

    // Reads until count characters have come or the line has been quiet for quietMs.
    std::string Read(std::size_t count, int quietMs) {
        std::string got;
        char buffer[4096];
        while (got.size() < count) {
            pollfd in{fd_, POLLIN, 0};
            if (::poll(&in, 1, quietMs) <= 0) {
                break;
            }
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) {
                break;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

  private:
    int fd_;
};

constexpr char kFreshReply[] = "*010000000000000000aaaa90*";
constexpr int kStopLimitMs = 2000;  // the stop takes milliseconds; seconds mean it was ignored
#if defined(__SANITIZE_ADDRESS__)
constexpr long kGrowthLimitKb = 16 * 1024;  // the sanitizer's allocator keeps caches of its own
#else
constexpr long kGrowthLimitKb = 4 * 1024;
#endif

// Puts unit on the line over and over for durationMs without reading anything back; returns
// how many characters the line took.
std::size_t Flood(RawClient& client, Simulator& sim, const std::string& unit, int durationMs) {
    std::string block;
    while (block.size() < 1024) {
        block += unit;
    }
    std::size_t taken = 0;
    for (const auto start = Clock::now(); MsSince(start) < durationMs;) {
        taken += client.Offer(block);
        sim.Drain();
    }
    return taken;
}

TEST(SimulatorTest, StopsAtOnceAndStaysSmallWhateverTheLineIsDoing) {
    using enum Simulator::Output;
    struct Case {
        const char* what;
        QStringList flags;
        Simulator::Output output;
        std::string flood;  // sent unread for 1.5 s; none: one read request, its reply begun
        int signal;
    };
    const Case cases[] = {
        {"read requests, replies never read", {"--period", "20"}, kPipe, "00", SIGTERM},
        {"units that do not fit, drawn", {"--period", "20"}, kTerminal, "zz", SIGINT},
        {"read requests at 20 baud", {"--baud", "20"}, kPipe, "00", SIGHUP},
        {"a reply at 20 baud", {"--baud", "20", "--period", "0"}, kPipe, "", SIGTERM},
        {"a reply at 20 baud, drawn", {"--baud", "20"}, kTerminal, "", SIGINT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString link = dir.filePath(QStringLiteral("ttyKelvara"));
        Simulator sim(c.flags + QStringList{"--link", link}, c.output);
        ASSERT_FALSE(sim.Path().isEmpty());
        RawClient client(link.toStdString());
        ASSERT_TRUE(client.IsOpen());
        const long startKb = sim.MemoryKb("VmRSS");
        if (c.flood.empty()) {
            ASSERT_EQ(client.Offer("00"), 2u);
            ASSERT_EQ(client.Read(1, 5000), "*");  // 25 characters to go, 0.5 s each
        } else {
            EXPECT_GT(Flood(client, sim, c.flood, 1500), 0u);
        }
        // Everything it holds is bounded: no flood makes it grow much past its start.
        const long peakKb = sim.MemoryKb("VmHWM");
        EXPECT_LT(peakKb - startKb, kGrowthLimitKb) << "started at " << startKb << " kB";

        const auto stopMs = sim.StopWith(c.signal, kStopLimitMs);
        ASSERT_TRUE(stopMs) << "still running " << kStopLimitMs << " ms after " << c.signal;
        EXPECT_EQ(sim.Stop(), 0);
        EXPECT_FALSE(QFileInfo(link).isSymLink());
        std::printf("[ figures  ] %s: ended %.1f ms after signal %d; VmRSS %ld kB, peak %ld kB\n",
                    c.what, *stopMs, c.signal, startKb, peakKb);
    }
}

TEST(SimulatorTest, AfterAFloodOfReadsEveryRequestGetsOneWholeReply) {
    Simulator sim({"--period", "0", "--quiet"});
    ASSERT_FALSE(sim.Path().isEmpty());
    RawClient client(sim.Path().toStdString());
    const std::size_t requests = Flood(client, sim, "00", 500) / 2;
    ASSERT_GT(requests, 0u);

    // What waited in the terminal and in the machine's queue now comes through, in order.
    const std::string got = client.Read(requests * (sizeof kFreshReply - 1), 5000);
    ASSERT_EQ(got.size(), requests * (sizeof kFreshReply - 1));
    EXPECT_EQ(client.Read(1, 200), "");
    for (std::size_t at = 0; at < got.size(); at += sizeof kFreshReply - 1) {
        ASSERT_EQ(got.compare(at, sizeof kFreshReply - 1, kFreshReply), 0) << "at " << at;
    }

    // Paced at 400 baud, a reply still takes 25 ms a character after the first.
    Simulator paced({"--period", "0", "--baud", "400"});
    RawClient slow(paced.Path().toStdString());
    const auto asked = Clock::now();
    ASSERT_EQ(slow.Offer("00"), 2u);
    EXPECT_EQ(slow.Read(sizeof kFreshReply - 1, 5000), kFreshReply);
    EXPECT_GE(MsSince(asked), 25 * 25);
}

TEST(SimulatorTest, UnitsThatDoNotFitAreShownEscapedOnItsTerminal) {
    Simulator sim({"--period", "0"}, Simulator::Output::kTerminal);
    ASSERT_FALSE(sim.Path().isEmpty());
    RawClient client(sim.Path().toStdString());
    const std::pair<std::string, std::string> units[] = {
        {"\033c", R"(dropped: unit "\x1bc" does not fit)"},  // would reset the terminal
        {"\r\n", R"(dropped: unit "\r\n" does not fit)"},    // would break the redraw in place
        {"\x9b\"", R"(dropped: unit "\x9b\"" does not fit)"},
    };
    for (const auto& [unit, shown] : units) {
        ASSERT_EQ(client.Offer(unit), 2u);
        EXPECT_TRUE(sim.WaitForOutput(shown, 5000)) << shown;
    }
    EXPECT_EQ(sim.Printed().find("\033c"), std::string::npos);
    EXPECT_EQ(sim.Printed().find("\r\n"), std::string::npos);
    EXPECT_EQ(sim.Printed().find('\x9b'), std::string::npos);

    ASSERT_EQ(client.Offer("00"), 2u);  // and it still answers
    EXPECT_EQ(client.Read(sizeof kFreshReply - 1, 5000), kFreshReply);
}

}  // namespace
}  // namespace kelvara

// A 50-plate write and read through QSerialPort on a pseudo-terminal, against a device that
// paces its characters like a 9600-baud line (10 bits a character, about 1.04 ms). Prints the
// measured time beside two floors: the line time of every character plus every fixed sleep
// (10 ms, 30 ms) added one after the other, and the tighter floor in which a sleep runs while
// its own characters are still on the line (each unit takes the longer of the two).
//
// Then the same transfers against kelvara-sim at 9600 baud, passing what it sends on as a USB
// serial adapter does, at the ticks of a latency timer: none, 16 ms (an FTDI adapter as it
// comes) and 1 ms (what Linux's ftdi_sio sets when the port asks for low latency).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "device/qt_serial_line.h"
#include "device/transfer_pump.h"
#include "device/wire_codec.h"

namespace kelvara {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::nanoseconds kCharTime{1'041'667};  // 10 bits at 9600 baud
constexpr double kCharMs = 1.041667;

// The device on the master side of a pty, on its own thread. Characters from the editor reach
// it one line time apart; it answers each pair with '*' after one more line time, and the
// read request "00" with its document, one character per line time.
class PacedDevice {
  public:
    explicit PacedDevice(std::string reply) : reply_(std::move(reply)) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master_);
        ::unlockpt(master_);
        termios raw{};
        ::tcgetattr(master_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master_, TCSANOW, &raw);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        slave_ = ::ptsname(master_);
        thread_ = std::thread([this] { Run(); });
    }
    ~PacedDevice() {
        stop_ = true;
        thread_.join();
        ::close(master_);
    }
    const std::string& SlavePath() const { return slave_; }

  private:
    void Run() {
        Clock::time_point lineFree = Clock::now();
        std::string unit;
        bool first = true;
        while (!stop_) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 1) <= 0) {
                continue;
            }
            if ((fd.revents & POLLIN) == 0) {
                // No slave open: between transfers. The next one starts afresh.
                first = true;
                unit.clear();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            char buffer[64];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                lineFree = std::max(lineFree, Clock::now()) + kCharTime;
                unit += buffer[i];
                if (unit.size() < 2) {
                    continue;
                }
                std::this_thread::sleep_until(lineFree);
                const bool request = first && unit == kReadRequest;
                first = false;
                unit.clear();
                Send(request ? reply_ : std::string(kAck));
                lineFree = Clock::now();
            }
        }
    }

    void Send(const std::string& text) {
        Clock::time_point due = Clock::now();
        for (const char c : text) {
            due += kCharTime;
            std::this_thread::sleep_until(due);
            static_cast<void>(::write(master_, &c, 1));
        }
    }

    std::string reply_;
    int master_ = -1;
    std::string slave_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class QtHost : public TransferHost {
  public:
    void SetStatus(const std::string& text) override { last = text; }
    void ArmStatusTimer() override {}
    void ShowPortOpenError() override { last = "port open error"; }
    void ShowTransferError(const std::string& text) override { last = text; }
    bool Closing() const override { return false; }
    std::string last;
};

// A device that never answers: one read waits its 1002 polls.
void BM_SilentTimeOut(benchmark::State& state) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    qputenv("KELVARA_COM1", ::ptsname(master));
    QtSerialLine line;
    QtHost host;
    for (auto _ : state) {
        Document doc;
        InitDocument(doc);
        ComMain transfer(kTransferRead, doc, line, host);
        RunTransfer(transfer, &line);
    }
    ::close(master);
}

Document FiftyPlates() {
    Document doc;
    InitDocument(doc);
    doc.PlateCount = kMaxPlates;
    for (int p = 1; p <= kMaxPlates; ++p) {
        for (int k = 0; k < kConditionCells; ++k) {
            doc.IfData[p][k] = static_cast<std::int16_t>((p + k) % 3);
        }
        doc.AcData[p] = static_cast<std::int16_t>(p % 4);
    }
    for (int i = 0; i < kCells; i += 3) {
        doc.MaData[i] = kOn;
    }
    return doc;
}

struct Figure {
    std::string name;
    double sumFloorMs;  // 0: no floor (the simulator paces only what it sends)
    double overlapFloorMs;
    std::vector<double> measuredMs;
};
Figure gWrite{"write, 50 plates", 0, 0, {}};
Figure gRead{"read, 50 plates", 0, 0, {}};
// By the simulator's latency in ms.
std::map<int, Figure> gSimWrite;
std::map<int, Figure> gSimRead;

// Times transfers of mode on COM1, whose device holds held.
void TimeTransfers(benchmark::State& state, std::int16_t mode, const Document& held,
                   Figure& figure) {
    QtSerialLine line;
    QtHost host;
    for (auto _ : state) {
        Document doc = held;
        if (mode == kTransferRead) {
            InitDocument(doc);  // the read fills a new document
        }
        const auto start = Clock::now();
        ComMain transfer(mode, doc, line, host);
        RunTransfer(transfer, &line);
        figure.measuredMs.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (host.last == kTransferRetryText) {
            state.SkipWithError("the transfer timed out");
            break;
        }
    }
}

void RunTransfer(benchmark::State& state, std::int16_t mode, Figure& figure) {
    const Document held = FiftyPlates();
    PacedDevice device(ReplyText(held));
    qputenv("KELVARA_COM1", QByteArray::fromStdString(device.SlavePath()));
    TimeTransfers(state, mode, held, figure);
    state.counters["floor_ms"] = figure.sumFloorMs;
    state.counters["overlap_floor_ms"] = figure.overlapFloorMs;
}

// Write: 9 + 3 * 50 units of two characters out and one acknowledgement back; 10 ms after the
// count, the last row and each plate's last byte (52 units), the other 107 units unpaced.
void BM_Write50Plates(benchmark::State& state) {
    const int units = 9 + 3 * kMaxPlates;
    const int sleeps = 2 + kMaxPlates;
    const double unitMs = 3 * kCharMs;
    gWrite.sumFloorMs = units * unitMs + 10.0 * sleeps;
    gWrite.overlapFloorMs = sleeps * std::max(10.0, unitMs) + (units - sleeps) * unitMs;
    RunTransfer(state, kTransferWrite, gWrite);
}

// Read: the request "00", then 6 * 50 + 20 characters of reply; 30 ms after the request.
void BM_Read50Plates(benchmark::State& state) {
    const double lineMs = (2 + 6 * kMaxPlates + 20) * kCharMs;
    gRead.sumFloorMs = lineMs + 30.0;
    gRead.overlapFloorMs = std::max(lineMs, 2 * kCharMs + 30.0);
    RunTransfer(state, kTransferRead, gRead);
}

BENCHMARK(BM_Write50Plates)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Read50Plates)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_SilentTimeOut)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

#if defined(KELVARA_SIM_PROGRAM)
// kelvara-sim at 9600 baud with the latency of the benchmark's argument, for one benchmark.
class Simulator {
  public:
    explicit Simulator(int latencyMs) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(KELVARA_SIM_PROGRAM),
                       {"--baud", "9600", "--period", "0", "--quiet", "--latency",
                        QString::number(latencyMs)});
        while (process_.waitForStarted(10000) && !process_.canReadLine() &&
               process_.waitForReadyRead(10000)) {
        }
        path_ = process_.readLine().trimmed();  // its first line: the terminal's path
    }
    ~Simulator() {
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    const QByteArray& Path() const { return path_; }

  private:
    QProcess process_;
    QByteArray path_;
};

Figure& SimFigure(std::map<int, Figure>& figures, const char* what, int latencyMs) {
    Figure& figure = figures[latencyMs];
    figure.name =
        std::string(what) + ", 50 plates, sim latency " + std::to_string(latencyMs) + " ms";
    return figure;
}

void BM_SimWrite50Plates(benchmark::State& state) {
    const int latencyMs = static_cast<int>(state.range(0));
    Simulator sim(latencyMs);
    qputenv("KELVARA_COM1", sim.Path());
    TimeTransfers(state, kTransferWrite, FiftyPlates(), SimFigure(gSimWrite, "write", latencyMs));
}

void BM_SimRead50Plates(benchmark::State& state) {
    const int latencyMs = static_cast<int>(state.range(0));
    Simulator sim(latencyMs);
    qputenv("KELVARA_COM1", sim.Path());
    // The simulator starts with the new document: give it the 50 plates first.
    Document doc = FiftyPlates();
    QtSerialLine line;
    QtHost host;
    ComMain write(kTransferWrite, doc, line, host);
    RunTransfer(write, &line);
    if (host.last != kWriteDoneText) {
        state.SkipWithError("the write before the reads failed");
        return;
    }
    TimeTransfers(state, kTransferRead, doc, SimFigure(gSimRead, "read", latencyMs));
}

// No adapter, an FTDI adapter as it comes, and one asked for low latency.
void EachLatency(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgName("latency_ms")
        ->Arg(0)
        ->Arg(16)
        ->Arg(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(5);
}
BENCHMARK(BM_SimWrite50Plates)->Apply(EachLatency);
BENCHMARK(BM_SimRead50Plates)->Apply(EachLatency);
#endif

double Median(const Figure& figure) {
    std::vector<double> sorted = figure.measuredMs;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

// base: the figure this one is compared with, when it is not that one itself.
void PrintFigure(const Figure& figure, const Figure* base = nullptr) {
    if (figure.measuredMs.empty()) {
        return;
    }
    const double median = Median(figure);
    std::printf("%-36s median %7.1f ms", figure.name.c_str(), median);
    if (figure.sumFloorMs > 0) {
        std::printf(
            " | floor (sum) %7.1f ms, %+7.1f ms | floor (overlap) %7.1f ms, %+7.1f ms, %.3f x",
            figure.sumFloorMs, median - figure.sumFloorMs, figure.overlapFloorMs,
            median - figure.overlapFloorMs, median / figure.overlapFloorMs);
    }
    if (base != nullptr && base != &figure && !base->measuredMs.empty()) {
        std::printf(" | %+7.1f ms against no latency", median - Median(*base));
    }
    std::printf("\n");
}

void PrintSimFigures(const std::map<int, Figure>& figures) {
    const auto none = figures.find(0);
    for (const int latencyMs : {0, 16, 1}) {
        if (const auto it = figures.find(latencyMs); it != figures.end()) {
            PrintFigure(it->second, none != figures.end() ? &none->second : nullptr);
        }
    }
}

}  // namespace
}  // namespace kelvara

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kelvara::PrintFigure(kelvara::gWrite);
    kelvara::PrintFigure(kelvara::gRead);
    kelvara::PrintSimFigures(kelvara::gSimWrite);
    kelvara::PrintSimFigures(kelvara::gSimRead);
    return 0;
}

// A 50-plate write and read through QSerialPort on a pseudo-terminal, against a device that
// paces its characters like a 9600-baud line (10 bits a character, about 1.04 ms). Prints the
// measured time beside two floors: the line time of every character plus every fixed sleep
// (10 ms, 30 ms) added one after the other, and the tighter floor in which a sleep runs while
// its own characters are still on the line (each unit takes the longer of the two).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
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
    const char* name;
    double sumFloorMs;
    double overlapFloorMs;
    std::vector<double> measuredMs;
};
Figure gWrite{"write, 50 plates", 0, 0, {}};
Figure gRead{"read, 50 plates", 0, 0, {}};

void RunTransfer(benchmark::State& state, std::int16_t mode, Figure& figure) {
    const Document held = FiftyPlates();
    PacedDevice device(ReplyText(held));
    qputenv("KELVARA_COM1", QByteArray::fromStdString(device.SlavePath()));
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

void PrintFigure(const Figure& figure) {
    if (figure.measuredMs.empty()) {
        return;
    }
    std::vector<double> sorted = figure.measuredMs;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::printf(
        "%-17s median %7.1f ms | floor (sum) %7.1f ms, %+7.1f ms | floor (overlap) %7.1f ms, "
        "%+7.1f ms, %.3f x\n",
        figure.name, median, figure.sumFloorMs, median - figure.sumFloorMs, figure.overlapFloorMs,
        median - figure.overlapFloorMs, median / figure.overlapFloorMs);
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
    return 0;
}

// kelvara send of one 50-plate file to one simulated machine, and to ten at once (a classroom),
// every machine pacing its characters like a 9600-baud line. The whole program is timed, from
// start to exit, as a user or a script sees it. Prints the median and the fastest of several
// runs of each, and the ratio of the medians: the transfers run side by side, so ten should take
// little longer than one.
//
//   cli_bench [RUNS]        (default 7 runs of each)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "files/datafile.h"

namespace {

constexpr int kMachines = 10;

class Simulator {
  public:
    Simulator(const QTemporaryDir& dir, int n) : link_(dir.filePath(QStringLiteral("m%1").arg(n))) {
        process_.start(QStringLiteral(KELVARA_SIM_PROGRAM),
                       {"--quiet", "--period", "0", "--baud", "9600", "--link", link_});
        process_.waitForStarted();
        while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
        }
    }
    ~Simulator() {
        process_.terminate();
        process_.waitForFinished();
    }
    const QString& Link() const { return link_; }

  private:
    QString link_;
    QProcess process_;
};

kelvara::Document FiftyPlates() {
    kelvara::Document doc;
    kelvara::InitDocument(doc);
    doc.PlateCount = 50;
    for (int i = 0; i < kelvara::kCells; ++i) doc.MaData[i] = static_cast<std::int16_t>(i % 3 == 0);
    for (int p = 1; p <= 50; ++p) {
        for (int c = 0; c < kelvara::kConditionCells; ++c) {
            doc.IfData[p][c] = static_cast<std::int16_t>((p + c) % 3);
        }
        doc.AcData[p] = static_cast<std::int16_t>(p % 4);
    }
    return doc;
}

// Milliseconds of one kelvara send; negative when it did not succeed.
double Send(const QString& file, const std::vector<std::unique_ptr<Simulator>>& machines,
            int count) {
    QStringList args{"send", file};
    for (int i = 0; i < count; ++i)
        args << "--port" << machines[static_cast<std::size_t>(i)]->Link();
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(KELVARA_CLI_PROGRAM), args);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s", process.readAllStandardError().constData());
        return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

struct Figures {
    double median = 0;
    double fastest = 0;
};

Figures Summarise(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("fifty.dat"));
    if (!kelvara::SaveDataFile(file.toStdString(), FiftyPlates())) return 1;
    std::vector<std::unique_ptr<Simulator>> machines;
    for (int n = 1; n <= kMachines; ++n) machines.push_back(std::make_unique<Simulator>(dir, n));

    std::vector<double> one, ten;
    for (int run = 0; run < runs; ++run) {  // interleaved, so that both see the same machine load
        one.push_back(Send(file, machines, 1));
        ten.push_back(Send(file, machines, kMachines));
        if (one.back() < 0 || ten.back() < 0) {
            std::fprintf(stderr, "cli_bench: a send failed\n");
            return 1;
        }
    }
    const Figures single = Summarise(one);
    const Figures classroom = Summarise(ten);
    std::printf("kelvara send, 50 plates (159 units), machines paced at 9600 baud, %d runs each\n",
                runs);
    std::printf("  %-20s median %7.1f ms   fastest %7.1f ms\n", "one machine", single.median,
                single.fastest);
    std::printf("  %-20s median %7.1f ms   fastest %7.1f ms\n", "ten machines at once",
                classroom.median, classroom.fastest);
    std::printf("  ratio ten / one (medians): %.2f\n", classroom.median / single.median);
    return 0;
}

// Trial runs a second: one step of 50 plates that match every cell (SerchData, the clock-seeded
// random generator as the window uses it) and one life game generation, each repeated for about
// a second. Built natively and for WebAssembly (run under Node), so the two can be compared.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "document/document.h"
#include "simulation/random.h"
#include "simulation/simulation.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Step>
double PerSecond(Step step) {
    long done = 0;
    const auto start = Clock::now();
    auto now = start;
    while (now - start < std::chrono::seconds(1)) {
        for (int i = 0; i < 100; ++i) step();
        done += 100;
        now = Clock::now();
    }
    return done / std::chrono::duration<double>(now - start).count();
}

}  // namespace

int main() {
    using namespace kelvara;
    Document doc;
    InitDocument(doc);
    doc.PlateCount = kMaxPlates;
    for (int p = 1; p <= kMaxPlates; ++p) doc.AcData[p] = static_cast<std::int16_t>(p % 4);
    for (int k = 0; k < kCells; k += 3) doc.MaData[k] = kOn;
    SimulationWork work;
    ClockRandom random;
    std::string label;
    const double plates = PerSecond([&] {
        label.clear();
        SerchData(doc, work, random, label);
    });
    Document life;
    InitDocument(life);
    for (const int cell : {8 * 2 + 3, 8 * 2 + 4, 8 * 3 + 2, 8 * 3 + 3, 8 * 4 + 3})
        life.MaData[cell] = kOn;
    const double generations = PerSecond([&] { LifeGame(life, work); });
    std::printf("trial runs of 50 plates: %.0f a second\nlife game generations: %.0f a second\n",
                plates, generations);
    return 0;
}

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "document/document.h"
#include "simulation/random.h"
#include "simulation/simulation.h"

namespace kelvara {
namespace {

// A cheap generator (xorshift64*) so the random method is not measured by its clock reseeds.
class FastRandom final : public RandomSource {
  public:
    void Reseed() override { state_ ^= 0x9e3779b97f4a7c15ULL; }
    double Next() override {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<double>((state_ * 0x2545f4914f6cdd1dULL) >> 11) * 0x1.0p-53;
    }

  private:
    std::uint64_t state_ = 88172645463325252ULL;
};

// 50 plates that match every cell, methods OFF, ON, invert and random in turn.
Document FiftyMatchingPlates() {
    Document doc;
    InitDocument(doc);
    doc.PlateCount = kMaxPlates;
    for (int p = 1; p <= kMaxPlates; ++p) doc.AcData[p] = static_cast<std::int16_t>(p % 4);
    for (int k = 0; k < kCells; k += 3) doc.MaData[k] = kOn;
    return doc;
}

template <typename Random>
void BM_SerchData50Plates(benchmark::State& state) {
    Document doc = FiftyMatchingPlates();
    SimulationWork work;
    Random random;
    std::string label;
    for (auto _ : state) {
        label.clear();
        SerchData(doc, work, random, label);
        benchmark::DoNotOptimize(doc.MaData);
        benchmark::DoNotOptimize(label.data());
    }
    state.SetItemsProcessed(state.iterations() * kMaxPlates * kCells);
}
BENCHMARK(BM_SerchData50Plates<FastRandom>)->Name("BM_SerchData50Plates/fast_random");
BENCHMARK(BM_SerchData50Plates<ClockRandom>)->Name("BM_SerchData50Plates/clock_random");

void BM_LifeGame(benchmark::State& state) {
    Document doc;
    // An R-pentomino keeps the board busy for many generations.
    doc.MaData[8 * 2 + 3] = kOn;
    doc.MaData[8 * 2 + 4] = kOn;
    doc.MaData[8 * 3 + 2] = kOn;
    doc.MaData[8 * 3 + 3] = kOn;
    doc.MaData[8 * 4 + 3] = kOn;
    SimulationWork work;
    for (auto _ : state) {
        LifeGame(doc, work);
        benchmark::DoNotOptimize(doc.MaData);
    }
    state.SetItemsProcessed(state.iterations() * kCells);
}
BENCHMARK(BM_LifeGame);

}  // namespace
}  // namespace kelvara

#include "simulation/random.h"

#include <chrono>
#include <cmath>

namespace kelvara {

namespace {

// splitmix64 of a base and a reseed count: close seeds give unrelated sequences.
std::uint64_t MixSeed(std::uint64_t base, std::uint64_t reseeds) {
    std::uint64_t z = base + reseeds * 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// The top 53 bits as a fraction: every value is a multiple of 2^-53 below 1.
double Fraction(std::mt19937_64& engine) { return static_cast<double>(engine() >> 11) * 0x1.0p-53; }

}  // namespace

ClockRandom::ClockRandom() { Reseed(); }

void ClockRandom::Reseed() {
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    engine_.seed(MixSeed(static_cast<std::uint64_t>(ticks), ++reseeds_));
}

double ClockRandom::Next() { return Fraction(engine_); }

SeededRandom::SeededRandom(std::uint64_t seed) : seed_(seed) { Reseed(); }

void SeededRandom::Reseed() { engine_.seed(MixSeed(seed_, ++reseeds_)); }

double SeededRandom::Next() { return Fraction(engine_); }

std::int16_t RandomInt(RandomSource& r, int n) {
    if (n < 1) return 0;
    if (n > 32768) n = 32768;  // n - 1 must fit the 16-bit result
    const double x = std::floor(static_cast<double>(n) * r.Next());
    if (!(x >= 0.0)) return 0;  // also NaN
    if (x >= static_cast<double>(n - 1)) return static_cast<std::int16_t>(n - 1);
    return static_cast<std::int16_t>(x);
}

}  // namespace kelvara

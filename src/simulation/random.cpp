#include "simulation/random.h"

#include <chrono>
#include <cmath>

namespace kelvara {

ClockRandom::ClockRandom() { Reseed(); }

void ClockRandom::Reseed() {
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    ++reseeds_;
    // splitmix64 of the clock and the reseed count: close seeds give unrelated sequences.
    std::uint64_t z = static_cast<std::uint64_t>(ticks) + reseeds_ * 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    engine_.seed(z ^ (z >> 31));
}

double ClockRandom::Next() {
    // The top 53 bits as a fraction: every value is a multiple of 2^-53 below 1.
    return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

std::int16_t RandomInt(RandomSource& r, int n) {
    if (n < 1) return 0;
    if (n > 32768) n = 32768;  // n - 1 must fit the 16-bit result
    const double x = std::floor(static_cast<double>(n) * r.Next());
    if (!(x >= 0.0)) return 0;  // also NaN
    if (x >= static_cast<double>(n - 1)) return static_cast<std::int16_t>(n - 1);
    return static_cast<std::int16_t>(x);
}

}  // namespace kelvara

#pragma once

#include <cstdint>
#include <random>

namespace kelvara {

// The one uniform generator of the editor. Every random operation reseeds it from the clock
// first and then draws as many values as it needs.
class RandomSource {
  public:
    virtual ~RandomSource() = default;
    virtual void Reseed() = 0;  // reseed from the system clock
    virtual double Next() = 0;  // uniform in [0, 1)
};

// A 64-bit Mersenne Twister seeded from the high-resolution clock. Each seed also mixes in how
// often this generator was reseeded before, so two reseeds inside one clock tick still give
// different sequences.
class ClockRandom final : public RandomSource {
  public:
    ClockRandom();
    void Reseed() override;
    double Next() override;

  private:
    std::mt19937_64 engine_;
    std::uint64_t reseeds_ = 0;
};

// A generator for repeatable runs: the same seed gives the same draws. Each reseed moves on to
// the next sequence of that seed instead of reading the clock.
class SeededRandom final : public RandomSource {
  public:
    explicit SeededRandom(std::uint64_t seed);
    void Reseed() override;
    double Next() override;

  private:
    std::mt19937_64 engine_;
    std::uint64_t seed_;
    std::uint64_t reseeds_ = 0;
};

// An n-way random value: Int(n * r), the largest integer not greater than n * r, for one fresh
// draw r. Always in 0..n-1 (0 when n < 1; n is taken as at most 32768), also for a source that
// strays out of [0, 1).
std::int16_t RandomInt(RandomSource& r, int n);

}  // namespace kelvara

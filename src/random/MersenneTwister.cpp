#include "random/MersenneTwister.h"

namespace {
constexpr uint32_t kMatrixA = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr uint32_t kSelfSeed = 18671867u;  // used when drawn from unseeded
constexpr double kTwoToMinus32 = 1.0 / 4294967296.0;
}  // namespace

MersenneTwister::MersenneTwister() = default;

MersenneTwister::~MersenneTwister() = default;

uint32_t MersenneTwister::getMatrixA(uint32_t y) { return y != 0 ? kMatrixA : 0u; }

void MersenneTwister::srnd(uint32_t seed) {
  mt[0] = seed;
  for (int32_t i = 1; i < N; ++i) {
    mt[i] = 1812433253u * (mt[i - 1] ^ (mt[i - 1] >> 30)) + static_cast<uint32_t>(i);
  }
  index = N;
  seeded = true;
}

void MersenneTwister::Regenerate() {
  if (!seeded) srnd(kSelfSeed);  // virtual on purpose: a subclass may reseed
  int32_t i = 0;
  for (; i < N - M; ++i) {
    const uint32_t y = (mt[i] & kUpperMask) | (mt[i + 1] & kLowerMask);
    mt[i] = mt[i + M] ^ (y >> 1) ^ getMatrixA(y & 1u);
  }
  for (; i < N - 1; ++i) {
    const uint32_t y = (mt[i] & kUpperMask) | (mt[i + 1] & kLowerMask);
    mt[i] = mt[i + (M - N)] ^ (y >> 1) ^ getMatrixA(y & 1u);
  }
  const uint32_t y = (mt[N - 1] & kUpperMask) | (mt[0] & kLowerMask);
  mt[N - 1] = mt[M - 1] ^ (y >> 1) ^ getMatrixA(y & 1u);
  index = 0;
}

uint32_t MersenneTwister::Temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

double MersenneTwister::ToUniform(uint32_t y) { return (static_cast<double>(y) + 0.5) * kTwoToMinus32; }

uint32_t MersenneTwister::rnd_int32() {
  if (index >= N) Regenerate();
  return Temper(mt[index++]);
}

double MersenneTwister::rnd() { return ToUniform(rnd_int32()); }

// Regenerating early gives the same values as regenerating at the next draw.
double MersenneTwister::Peek() {
  if (index >= N) Regenerate();
  return ToUniform(Temper(mt[index]));
}

#include "random/Tausworthe.h"

#include <bit>

namespace {
// The double nearest to 1 / (2^31 - 1), fixed by its bit pattern so that the
// stream does not depend on how a compiler rounds the division.
const double kScale = std::bit_cast<double>(uint64_t{0x3E00000000200000});
}  // namespace

Tausworthe::Tausworthe() = default;

Tausworthe::~Tausworthe() = default;

uint32_t Tausworthe::Advance(uint32_t current) {
  const uint32_t b = ((current << 13) ^ current) & 0x7FFFFFFFu;
  return b ^ (b >> 18);
}

double Tausworthe::rnd() {
  state = Advance(state);
  return state * kScale;
}

double Tausworthe::Peek() { return Advance(state) * kScale; }

void Tausworthe::srnd(uint32_t seed) { state = seed; }

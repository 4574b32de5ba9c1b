// 31-bit Tausworthe (shift-register) uniform generator: three shifts and a
// multiply per draw. The state is the last 31-bit value; a state of 0 stays 0.
#pragma once

#include <cstdint>

#include "random/RandomNumberGenerator.h"

class Tausworthe : public RandomNumberGenerator {
 public:
  Tausworthe();
  ~Tausworthe() override;

  // Advances the state and returns it scaled by 1/(2^31 - 1): in [0, 1].
  double rnd() override;
  double Peek() override;
  // Takes the seed unchanged as the state.
  void srnd(uint32_t seed) override;

  // The generator state; after the first draw always below 2^31.
  uint32_t state = 0;

 private:
  // The state that follows `current`.
  static uint32_t Advance(uint32_t current);
};

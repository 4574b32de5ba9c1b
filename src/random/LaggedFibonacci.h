// The default uniform generator: hands out, one by one, the blocks of 100
// values that the program-wide lagged Fibonacci core produces. The read
// position is program-wide too (one stream per process) and survives srnd, so
// a reseed takes effect at the next block boundary the position reaches.
#pragma once

#include <cstdint>

#include "random/LaggedFibonacciCore.h"
#include "random/RandomNumberGenerator.h"

class LaggedFibonacci : public RandomNumberGenerator {
 public:
  LaggedFibonacci();
  ~LaggedFibonacci() override;

  // Next value of the current block, a multiple of 2^-52 in [0, 1); a fresh
  // block is made once all 100 of the current one have been handed out.
  // Final and inline, so that a caller holding this type draws without a
  // call.
  double rnd() final {
    if (k == LF_KK) [[unlikely]] StartBlock();
    return buffer[k++];
  }
  // Making the next block early hands out the same values as making it at
  // the next rnd().
  double Peek() final {
    if (k == LF_KK) [[unlikely]] StartBlock();
    return buffer[k];
  }
  // Seeds the core and delivers its second block (the first is discarded).
  // The seed is taken as a signed 32-bit value; one that IsValidSeed refuses
  // leaves the stream untouched and is reported on the error stream.
  void srnd(uint32_t seed) override;

  // True for 0 ... 2^31 - 3: the seeds that define a stream.
  static bool IsValidSeed(int32_t seed);

  // Program-wide read position into the current block, 0 ... 100; 100 means
  // the block is used up. Shared by every LaggedFibonacci, never reset.
  static int32_t k;

 private:
  // Makes the next block and rewinds the read position.
  void StartBlock();

  // The block being handed out (all zero until the first srnd).
  double buffer[LF_KK] = {};
};

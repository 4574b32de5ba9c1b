#include "random/LaggedFibonacci.h"

#include <iostream>

int32_t LaggedFibonacci::k = 0;

LaggedFibonacci::LaggedFibonacci() = default;

LaggedFibonacci::~LaggedFibonacci() = default;

void LaggedFibonacci::StartBlock() {
  k = 0;
  ranf_array(buffer, LF_KK);
}

void LaggedFibonacci::srnd(uint32_t seed) {
  const auto signedSeed = static_cast<int32_t>(seed);
  if (!ranf_start(signedSeed)) {
    std::cerr << "Lagged Fibonacci seed " << signedSeed
              << " is outside 0 ... 2147483645; generator not reseeded" << std::endl;
    return;
  }
  ranf_array(buffer, LF_KK);
  ranf_array(buffer, LF_KK);
}

bool LaggedFibonacci::IsValidSeed(int32_t seed) { return ranf_valid_seed(seed); }

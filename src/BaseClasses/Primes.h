// The first 256 primes (2 ... 1619), used as weights when a model state is
// hashed.
#pragma once

#include <cstdint>

extern const int32_t primes[256];

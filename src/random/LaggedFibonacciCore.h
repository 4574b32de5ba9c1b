// Core of the lagged Fibonacci generator of reals, X(j) = (X(j-100) +
// X(j-37)) mod 1, as plain functions over one program-wide state `ran_u`.
// Every value of the state is a multiple of 2^-52 in [0, 1); there is one such
// stream per process.
#pragma once

#include <cstdint>

inline constexpr int32_t LF_KK = 100;  // long lag: size of the state
inline constexpr int32_t LF_LL = 37;   // short lag
inline constexpr int32_t LF_TT = 70;   // guaranteed separation between streams

// The generator state, all zero until ranf_start runs.
extern double ran_u[LF_KK];

// Delivers the next n values of the stream into aa[0..n-1] and advances the
// state past them. n must be at least LF_KK (the caller always passes 100);
// smaller n is a broken invariant.
void ranf_array(double aa[], int32_t n);

// True for the seeds ranf_start accepts: 0 up to 2^31 - 3, so that seed + 2
// stays a 32-bit signed value and the halving loop reaches zero.
bool ranf_valid_seed(int32_t seed);

// Initialises ran_u from `seed`. A seed outside ranf_valid_seed is refused:
// ran_u is left as it was and false is returned (a negative seed would never
// finish the halving loop, the two largest overflow seed + 2).
bool ranf_start(int32_t seed);

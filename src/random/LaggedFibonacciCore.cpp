#include "random/LaggedFibonacciCore.h"

#include "BaseClasses/ErrorHandling.h"

double ran_u[LF_KK];

namespace {

constexpr double kUlp = 1.0 / (1LL << 52);  // 2^-52, the grain of the stream

// (x + y) mod 1 for x, y in [0, 1), by dropping the integer part.
inline double mod_sum(double x, double y) {
  const double sum = x + y;
  return sum - static_cast<int32_t>(sum);
}

// The same value as mod_sum for x, y in [0, 1), the only values the state
// holds: the sum is below 2, so dropping its integer part subtracts 1 exactly
// when it reaches 1. Written as a select so the delivery loops, which run
// for every block of uniforms, need no integer round trip.
inline double wrap_sum(double x, double y) {
  const double sum = x + y;
  return sum >= 1.0 ? sum - 1.0 : sum;
}

constexpr int32_t kWork = LF_KK + LF_KK - 1;  // 199 cells of working state

// Step 4a of the seeding: the square of the polynomial, spread over 2j.
void SpreadToEvenPositions(double u[], double ul[]) {
  for (int32_t j = LF_KK - 1; j > 0; --j) {
    ul[j + j] = ul[j];
    u[j + j] = u[j];
  }
  for (int32_t j = LF_KK + LF_KK - 2; j > LF_KK - LF_LL; j -= 2) {
    ul[kWork - j] = 0.0;
    u[kWork - j] = u[j] - ul[j];
  }
}

// Step 4c: reduces the high half modulo the characteristic polynomial.
void ReduceHighHalf(double u[], double ul[]) {
  for (int32_t j = LF_KK + LF_KK - 2; j >= LF_KK; --j) {
    if (ul[j] != 0.0) {
      ul[j - (LF_KK - LF_LL)] = kUlp - ul[j - (LF_KK - LF_LL)];
      u[j - (LF_KK - LF_LL)] = mod_sum(u[j - (LF_KK - LF_LL)], u[j]);
      ul[j - LF_KK] = kUlp - ul[j - LF_KK];
      u[j - LF_KK] = mod_sum(u[j - LF_KK], u[j]);
    }
  }
}

// Step 4d: multiplies the polynomial by z.
void ShiftByOne(double u[], double ul[]) {
  for (int32_t j = LF_KK; j > 0; --j) {
    ul[j] = ul[j - 1];
    u[j] = u[j - 1];
  }
  ul[0] = ul[LF_KK];
  u[0] = u[LF_KK];
  if (ul[LF_KK] != 0.0) {
    ul[LF_LL] = kUlp - ul[LF_LL];
    u[LF_LL] = mod_sum(u[LF_LL], u[LF_KK]);
  }
}

}  // namespace

void ranf_array(double aa[], int32_t n) {
  SAN_ASSERT(n >= LF_KK, "n >= LF_KK", "LaggedFibonacciCore.cpp");
  int32_t j = 0;
  for (; j < LF_KK; ++j) aa[j] = ran_u[j];
  for (; j < n; ++j) aa[j] = wrap_sum(aa[j - LF_KK], aa[j - LF_LL]);
  int32_t i = 0;
  for (; i < LF_LL; ++i, ++j) ran_u[i] = wrap_sum(aa[j - LF_KK], aa[j - LF_LL]);
  for (; i < LF_KK; ++i, ++j) ran_u[i] = wrap_sum(aa[j - LF_KK], ran_u[i - LF_LL]);
}

bool ranf_valid_seed(int32_t seed) { return seed >= 0 && seed <= INT32_MAX - 2; }

bool ranf_start(int32_t seed) {
  if (!ranf_valid_seed(seed)) return false;
  double u[kWork];
  double ul[kWork];
  double ss = 2.0 * kUlp * static_cast<double>(seed + 2);
  for (int32_t j = 0; j < LF_KK; ++j) {
    u[j] = ss;
    ul[j] = 0.0;
    ss += ss;
    if (ss >= 1.0) ss -= 1.0 - 2.0 * kUlp;
  }
  for (int32_t j = LF_KK; j < kWork; ++j) u[j] = ul[j] = 0.0;
  u[1] += kUlp;
  ul[1] = kUlp;
  int32_t s = seed;
  int32_t t = LF_TT - 1;
  while (t != 0) {
    SpreadToEvenPositions(u, ul);
    ReduceHighHalf(u, ul);
    if (s & 1) ShiftByOne(u, ul);
    if (s != 0) {
      s >>= 1;
    } else {
      --t;
    }
  }
  for (int32_t j = 0; j < LF_LL; ++j) ran_u[j + LF_KK - LF_LL] = u[j];
  for (int32_t j = LF_LL; j < LF_KK; ++j) ran_u[j - LF_LL] = u[j];
  return true;
}

#include "random/LaggedFibonacciCore.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// out[t] = wrap_sum(a[t], b[t]) for t < count, two at a time where the
// target has SSE2. b may lag out by two or more cells (the recurrence reads
// values 37 cells back), never less: a pair is summed before it is stored.
// The pairs wrap by subtracting a masked 1.0, which is wrap_sum's result
// bit for bit (sum - 0.0 is sum) and, unlike its branch, costs no
// misprediction on a coin-flip outcome.
inline void WrapSums(double* out, const double* a, const double* b, int32_t count) {
  int32_t t = 0;
#if defined(__SSE2__)
  const __m128d one = _mm_set1_pd(1.0);
  // Unrolled: the recurrence runs for every block of uniforms, and a test
  // per pair would cost nearly as much as the pair's wrap.
#pragma GCC unroll 8
  for (; t + 2 <= count; t += 2) {
    const __m128d sum = _mm_add_pd(_mm_loadu_pd(a + t), _mm_loadu_pd(b + t));
    const __m128d wrap = _mm_and_pd(_mm_cmpge_pd(sum, one), one);
    _mm_storeu_pd(out + t, _mm_sub_pd(sum, wrap));
  }
#endif
  for (; t < count; ++t) out[t] = wrap_sum(a[t], b[t]);
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
  // aa[0..KK-1] is the state; every later cell follows the recurrence, and
  // the new state is the KK cells past the block.
  std::memcpy(aa, ran_u, sizeof ran_u);
  WrapSums(aa + LF_KK, aa, aa + (LF_KK - LF_LL), n - LF_KK);
  WrapSums(ran_u, aa + (n - LF_KK), aa + (n - LF_LL), LF_LL);
  WrapSums(ran_u + LF_LL, aa + (n - LF_KK + LF_LL), ran_u, LF_KK - LF_LL);
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

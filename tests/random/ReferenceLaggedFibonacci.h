// A second, independent rendering of the lagged Fibonacci core, written
// straight from the step list of the seeding and block routines with its own
// state, so the production core can be checked value for value against it.
#pragma once

#include <cstdint>
#include <vector>

class ReferenceLaggedFibonacci {
 public:
  explicit ReferenceLaggedFibonacci(int64_t seed) { Start(seed); }

  // The next block of 100 values, advancing the state.
  std::vector<double> Block() {
    std::vector<double> aa(100);
    for (int j = 0; j < 100; j++) aa[j] = state[j];
    for (int i = 0; i <= 36; i++) {
      int j = 100 + i;
      state[i] = ModSum(aa[j - 100], aa[j - 37]);
    }
    for (int i = 37; i <= 99; i++) {
      int j = 100 + i;
      state[i] = ModSum(aa[j - 100], state[i - 37]);
    }
    return aa;
  }

  double state[100];

 private:
  static constexpr double ulp = 1.0 / 4503599627370496.0;  // 2^-52

  static double ModSum(double x, double y) { return (x + y) - static_cast<long long>(x + y); }

  void Start(int64_t seed) {
    double u[199], ul[199];
    double ss = 2 * ulp * static_cast<double>(seed + 2);
    for (int j = 0; j <= 99; j++) {
      u[j] = ss;
      ul[j] = 0;
      ss = ss + ss;
      if (ss >= 1) ss = ss - (1 - 2 * ulp);
    }
    for (int j = 100; j <= 198; j++) u[j] = ul[j] = 0;
    u[1] = u[1] + ulp;
    ul[1] = ulp;
    int64_t s = seed;
    int t = 69;
    while (t != 0) {
      for (int j = 99; j >= 1; j--) {
        ul[2 * j] = ul[j];
        u[2 * j] = u[j];
      }
      for (int j = 198; j >= 64; j -= 2) {
        ul[199 - j] = 0;
        u[199 - j] = u[j] - ul[j];
      }
      for (int j = 198; j >= 100; j--) {
        if (ul[j] != 0) {
          ul[j - 63] = ulp - ul[j - 63];
          u[j - 63] = ModSum(u[j - 63], u[j]);
          ul[j - 100] = ulp - ul[j - 100];
          u[j - 100] = ModSum(u[j - 100], u[j]);
        }
      }
      if (s % 2 != 0) {
        for (int j = 100; j >= 1; j--) {
          ul[j] = ul[j - 1];
          u[j] = u[j - 1];
        }
        ul[0] = ul[100];
        u[0] = u[100];
        if (ul[100] != 0) {
          ul[37] = ulp - ul[37];
          u[37] = ModSum(u[37], u[100]);
        }
      }
      if (s != 0)
        s = s / 2;
      else
        t = t - 1;
    }
    for (int j = 0; j <= 36; j++) state[j + 63] = u[j];
    for (int j = 37; j <= 99; j++) state[j - 37] = u[j];
  }
};

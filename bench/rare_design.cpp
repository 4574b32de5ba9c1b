// rare_design.cpp -- a reduced model of basic_model's failure mechanism, simulated under the
// change of measure that basic_model_rare.bias applies to the real model, with the biases
// computed from the global variables by the same formulas (function design() below mirrors
// the `let` lines of that file one for one).
//
// Reduced model. The memory alternates Exp(mu) working periods with corrupted periods of
// exactly delta = 0.00347 (ended by the watchdog reboot); mu is the sum of the corrupting
// streams: bit_error case 2 (6.012 * ram_size/512), page_error case 2 (2.95e-6 * 0.25) and
// random_failure (random_failure_rate). The flash alternates Exp(lam) working periods
// (lam = sefi 0.00274 + seu case 2 1.5e-16 * flash_size/512) with corrupted windows of exactly
// d = power_cycle_rate. The system fails when a flash window meets a corrupted memory.
// Only what the real model's bias file touches is biased: sefi (not seu) and the three
// corrupting memory streams together.
//
// Output, per case and time point: estimate, relative error, replications with a non-zero
// observation, the largest single observation's share of the sum, and the replications a
// converged cell needs (95 % Student-t half-width <= 10 % of the mean, >= 30 non-zero
// observations, no observation above 5 % of the sum); beside it a plain-sampling reference or,
// for the tiny-probability case, a first-order analytic value.
//
// Build: g++ -O2 -std=c++20 -o rare_design rare_design.cpp
// Run:   ./rare_design            (all cases; a few seconds)
//        ./rare_design noplain    (skip the plain-sampling references)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

const double kTimes[3] = {30, 180, 365};
const double kEnd = 365;
const double kDelta = 0.00347;     // watchdog reboot delay
const double kSefi = 0.00274;      // sefi rate
const double kSeu = 1.5e-16;       // seu rate
const double kBit = 6.012;         // bit_error rate
const double kPage = 2.95e-6;      // page_error rate

struct Globals {
  float flash_size, power_cycle_rate, ram_size, random_failure_rate;
};

// The model's own rates, as the generated model computes them (case weights are float products).
struct Rates {
  double lamSefi, lamSeu2, lam;  // flash corruption streams while the flash works
  double mu;                     // memory corruption while the memory works
  double d;                      // flash window (power cycle delay)
};

Rates rates(const Globals& g) {
  Rates r;
  r.lamSefi = kSefi;
  r.lamSeu2 = kSeu * (double)(0.001953125f * g.flash_size);
  r.lam = r.lamSefi + r.lamSeu2;
  r.mu = kBit * (double)(0.001953125f * g.ram_size) + kPage * 0.25 + (double)g.random_failure_rate;
  r.d = g.power_cycle_rate;
  return r;
}

// 1 - exp(-x) without losing the small values: both expressions agree to O(x^3) for small x,
// and for large x the second turns negative so the first is taken.
double oneMinusExp(double x) { return std::max(1 - std::exp(-x), x * (1 - x / 2)); }

// Multipliers of the change of measure.
struct Bias {
  double a;   // sefi, while flash and memory both work
  double b;   // memory corruption, while flash and memory both work
  double cF;  // memory corruption, inside a flash window (memory still working)
  double cR;  // sefi, inside a corrupted-memory period (flash still working)
  // intermediate values, printed for the reader
  double qF, qR, h, V0, pF, pR;
};

// The horizon. A change of measure that reads only the state cannot know the time, so under it
// the first failure time is roughly exponential with some rate r. Estimating P(failure by t)
// for a rare failure that way has relative variance (e^x - 1)/x^2 - 1 per replication, x = r t:
// too small an r starves t = 30 of failures, too large an r gives late failures at t = 365
// huge weights. The three time points are served best when the first and the last are equally
// hard: x(30) = 0.33694 solves (e^x - 1)/x^2 = (e^y - 1)/y^2 with y = x * 365/30, giving
// relative variance 2.53 at 30 and 365 (0.60 at 180). The value of "carrying on" is then the
// probability of a failure within H = 30 / 0.33694 = 89.04, which in the rare case sets
// r = 1/H.
const double kHorizon = 89.04;
// Largest exposure (rate * length) given to the second event of a coincidence. With a constant
// rate theta over a window of length L, against a nearly uniform ideal, the second moment of the
// success's weight is (2 cosh x - 2) / (x^2 (1 - e^-x)) with x = theta L: least at x = 1.6,
// i.e. success probability about 0.8. Going higher costs more in weight spread than it gains.
const double kMaxExposure = 1.6;
const double kTiny = 1e-300;

Bias design(const Globals& g) {
  const Rates r = rates(g);
  Bias B;
  const double d = std::max(r.d, kTiny);
  B.qF = oneMinusExp(r.mu * r.d);     // memory corrupts inside one flash window
  B.qR = oneMinusExp(r.lam * kDelta); // flash corrupts inside one corrupted-memory period
  B.h = r.lam * B.qF + r.mu * B.qR;   // failure hazard while both work
  B.V0 = std::max(oneMinusExp(B.h * kHorizon), kTiny);
  // value on entering a window / a period: the coincidence now, or else carrying on
  const double VF = B.qF + (1 - B.qF) * B.V0;
  const double VR = B.qR + (1 - B.qR) * B.V0;
  // entry rates scaled by the value ratio after / before
  B.a = VF / B.V0;
  B.b = VR / B.V0;
  // inside: the zero-variance success probability is q / V (the coincidence against the value
  // of carrying on), capped at the best constant-rate exposure
  B.pF = B.qF / VF;
  B.pR = B.qR / VR;
  const double thetaF = std::min(-std::log(std::max(1 - B.pF, kTiny)), kMaxExposure) / d;
  const double thetaR = std::min(-std::log(std::max(1 - B.pR, kTiny)), kMaxExposure) / kDelta;
  B.cF = std::max(1.0, thetaF / std::max(r.mu, kTiny));
  B.cR = std::max(1.0, thetaR / std::max(r.lam, kTiny));
  return B;
}

struct Cell {
  double s1 = 0, s2 = 0, mx = 0;
  long hits = 0;
};

struct Run {
  long n = 0;
  Cell c[3];
};

// Replications of the reduced model under the multipliers `B` (all 1 = plain sampling).
// Each observation is 1{failed by t} times the likelihood ratio accumulated up to t; the
// biases stop at the failure, so the ratio at the failure is the ratio at every later t.
void simulate(const Globals& g, const Bias& B, long N, std::mt19937_64& rng, Run& out) {
  const Rates r = rates(g);
  std::exponential_distribution<double> E(1.0);
  std::uniform_real_distribution<double> U(0.0, 1.0);
  // biased rates per state
  const double fl0 = r.lamSefi * B.a + r.lamSeu2, me0 = r.mu * B.b, tot0 = fl0 + me0;
  const double meF = r.mu * B.cF;                      // memory inside a flash window
  const double flR = r.lamSefi * B.cR + r.lamSeu2;     // flash inside a memory period
  const double lFl0 = std::log(r.lam / fl0), lMe0 = std::log(r.mu / me0);
  const double lMeF = std::log(r.mu / meF), lFlR = std::log(r.lam / flR);
  for (long k = 0; k < N; ++k) {
    double t = 0, logL = 0, tau = INFINITY;
    while (t < kEnd) {
      const double dt = E(rng) / tot0;
      if (t + dt >= kEnd) break;
      logL += -(r.lam + r.mu - tot0) * dt;
      t += dt;
      if (U(rng) * tot0 < fl0) {
        logL += lFl0;
        const double w = std::min(r.d, kEnd - t), x = E(rng) / meF;
        if (x < w) { logL += lMeF - (r.mu - meF) * x; tau = t + x; break; }
        logL += -(r.mu - meF) * w;
        t += w;
      } else {
        logL += lMe0;
        const double w = std::min(kDelta, kEnd - t), x = E(rng) / flR;
        if (x < w) { logL += lFlR - (r.lam - flR) * x; tau = t + x; break; }
        logL += -(r.lam - flR) * w;
        t += w;
      }
    }
    const double y = std::exp(logL);
    for (int i = 0; i < 3; ++i)
      if (tau <= kTimes[i]) {
        Cell& c = out.c[i];
        c.s1 += y; c.s2 += y * y; c.hits++; c.mx = std::max(c.mx, y);
      }
  }
  out.n += N;
}

double tQuantile975(long n) {  // Student-t, n - 1 degrees of freedom (Cornish-Fisher)
  const double z = 1.959964, v = (double)std::max(n - 1, 1L);
  return z + (z * z * z + z) / (4 * v) + (5 * std::pow(z, 5) + 16 * z * z * z + 3 * z) / (96 * v * v);
}

struct Stat {
  double mean, re, share, need;
  long hits;
  bool converged;
};

Stat stat(const Run& R, int i) {
  const Cell& c = R.c[i];
  Stat s{};
  const double n = (double)R.n;
  s.hits = c.hits;
  s.mean = c.s1 / n;
  const double var = std::max(c.s2 / n - s.mean * s.mean, 0.0) * n / std::max(n - 1, 1.0);
  s.re = s.mean > 0 ? std::sqrt(var / n) / s.mean : INFINITY;
  s.share = c.s1 > 0 ? c.mx / c.s1 : 1;
  const double hw = tQuantile975(R.n) * s.re;
  s.converged = c.hits >= 30 && hw <= 0.1 && s.share <= 0.05;
  // replications a converged cell needs, scaled from this run: half-width ~ 1/sqrt(n),
  // non-zero count ~ n, largest share ~ 1/n
  if (c.hits == 0) { s.need = INFINITY; return s; }
  s.need = std::max({n * std::pow(1.959964 * s.re / 0.1, 2), n * 30.0 / c.hits, n * s.share / 0.05});
  return s;
}

Bias plainBias() { return Bias{1, 1, 1, 1, 0, 0, 0, 0, 0, 0}; }

void printBias(const Globals& g, const Bias& B) {
  const Rates r = rates(g);
  printf("  globals: power_cycle_rate %g ram_size %g random_failure_rate %g | mu %.4g lam %.4g\n",
         g.power_cycle_rate, g.ram_size, g.random_failure_rate, r.mu, r.lam);
  printf("  qF %.3g qR %.3g h %.3g V0 %.3g pF %.3g pR %.3g -> a %.4g b %.6g cF %.4g cR %.4g\n",
         B.qF, B.qR, B.h, B.V0, B.pF, B.pR, B.a, B.b, B.cF, B.cR);
}

void printRun(const char* label, const Run& R) {
  for (int i = 0; i < 3; ++i) {
    Stat s = stat(R, i);
    printf("  %-6s n=%-7ld t=%3.0f  est %.4e  re %.4f  nonzero %6ld  share %.4f  need %8.0f  %s\n", label,
           R.n, kTimes[i], s.mean, s.re, s.hits, s.share, s.need, s.converged ? "conv" : "-");
  }
}

// z-score of the difference between two independent estimates of the same cell
void compare(const Run& A, const Run& P) {
  printf("  IS vs reference:");
  for (int i = 0; i < 3; ++i) {
    Stat a = stat(A, i), p = stat(P, i);
    const double z = (a.mean - p.mean) / std::hypot(a.mean * a.re, p.mean * p.re);
    printf("  t=%.0f ratio %.4f z %+.2f", kTimes[i], a.mean / p.mean, z);
  }
  printf("\n");
}

// First-order probability of failure by t: a window opened at s fails if the memory corrupts
// in the rest of it before t; a memory period opened at s fails if the flash corrupts in it
// before t. Terms of second order (two coincidences, time spent off the working state) are
// of relative size h * t and below.
double firstOrder(const Globals& g, double t) {
  const Rates r = rates(g);
  auto part = [t](double rate, double other, double len) {
    // rate * integral_0^t (1 - exp(-other * min(len, t - s))) ds
    const double L = std::min(len, t);
    const double full = (t - L) * oneMinusExp(other * L);
    const double edge = other > 0 ? L - oneMinusExp(other * L) / other : 0;  // integral_0^L (1 - e^{-other u}) du
    return rate * (full + edge);
  };
  return part(r.lam, r.mu, r.d) + part(r.mu, r.lam, kDelta);
}

// Block protocol of the simulation manager: blocks of 1000 until every cell has converged.
long runBlocks(const Globals& g, const Bias& B, std::mt19937_64& rng, Run& R, long maxBlocks) {
  for (long k = 0; k < maxBlocks; ++k) {
    simulate(g, B, 1000, rng, R);
    if (stat(R, 0).converged && stat(R, 1).converged && stat(R, 2).converged) break;
  }
  return R.n;
}

}  // namespace

int main(int argc, char** argv) {
  const bool plain = !(argc > 1 && !std::strcmp(argv[1], "noplain"));
  const Globals base{64, 0.03125f, 128, 0.005f};
  {
    // the horizon's defining balance, solved afresh
    auto f = [](double x) { return std::expm1(x) / (x * x) - 1; };
    double lo = 0.1, hi = 1.0;
    for (int i = 0; i < 100; ++i) {
      const double m = (lo + hi) / 2;
      (f(m) > f(m * kTimes[2] / kTimes[0]) ? lo : hi) = m;
    }
    printf("horizon: balance at x = %.5f, H = %.2f (used %.2f)\n\n", lo, kTimes[0] / lo, kHorizon);
  }

  // --- default study: nine experiments, power_cycle_rate 2^-5 ... 8 ---
  printf("== default study (ram_size 128, random_failure_rate 0.005) ==\n");
  long protocolTotal = 0, needTotal = 0;
  for (int e = 0; e < 9; ++e) {
    Globals g = base;
    g.power_cycle_rate = std::ldexp(1.0f, e - 5);
    const Bias B = design(g);
    printf("experiment %d\n", e);
    printBias(g, B);
    // block protocol as the manager runs it
    std::mt19937_64 rngP(1000 + e);
    Run P;
    protocolTotal += runBlocks(g, B, rngP, P, 50);
    printRun("blocks", P);
    // a longer run to measure the replications needed accurately
    std::mt19937_64 rng(2000 + e);
    Run R;
    simulate(g, B, 20000, rng, R);
    printRun("IS", R);
    double need = 0;
    for (int i = 0; i < 3; ++i) need = std::max(need, stat(R, i).need);
    const long blocks = std::max(1L, (long)std::ceil(need / 1000));
    needTotal += blocks * 1000;
    if (plain) {
      std::mt19937_64 rng2(3000 + e);
      Run Q;
      double pneed = 0;
      for (int i = 0; i < 3; ++i) pneed = std::max(pneed, 384.0 * (1 - stat(R, i).mean) / stat(R, i).mean);
      simulate(g, plainBias(), std::min(400000L, (long)(2 * pneed) + 2000), rng2, Q);
      printRun("plain", Q);
      compare(R, Q);
    }
  }
  printf("default study: block protocol used %ld replications; needs (blocks of 1000, from the long runs) %ld"
         "; budget 25000\n\n", protocolTotal, needTotal);

  // --- other global values: the multipliers must stay finite, positive and fade by themselves ---
  {
    printf("== other global values (IS 5000 replications; reference: plain 5000 or first order) ==\n");
    const Globals others[] = {
        {64, 0.03125f, 512, 0.005f}, {64, 0.03125f, 0, 0}, {64, 0, 128, 0.005f},
        {64, 100, 128, 0.005f},      {512, 0.03125f, 128, 10}, {64, 0.001f, 1, 0.005f},
        {64, 1, 0, 1e-6f},
    };
    int k = 0;
    for (const Globals& g : others) {
      const Bias B = design(g);
      printBias(g, B);
      std::mt19937_64 rng(7000 + k), rng2(7100 + k);
      ++k;
      Run R;
      simulate(g, B, 5000, rng, R);
      printRun("IS", R);
      if (firstOrder(g, kTimes[2]) > 0.02) {
        Run Q;
        if (plain) {
          simulate(g, plainBias(), 5000, rng2, Q);
          printRun("plain", Q);
          compare(R, Q);
        }
      } else {
        printf("  first order: %.4e %.4e %.4e\n", firstOrder(g, 30), firstOrder(g, 180), firstOrder(g, 365));
      }
    }
    printf("\n");
  }

  // --- case A: ram_size 1 ---
  {
    Globals g = base;
    g.ram_size = 1;
    const Bias B = design(g);
    printf("== case A (experiment 0, ram_size 1) ==\n");
    printBias(g, B);
    std::mt19937_64 rng(4000);
    Run R;
    simulate(g, B, 60000, rng, R);
    printRun("IS", R);
    printf("  first order: %.4e %.4e %.4e\n\n", firstOrder(g, 30), firstOrder(g, 180), firstOrder(g, 365));
  }

  // --- case B: ram_size 0, random_failure_rate 1e-4, power_cycle_rate 1e-3 ---
  {
    Globals g = base;
    g.ram_size = 0;
    g.random_failure_rate = 0.0001f;
    g.power_cycle_rate = 0.001f;
    const Bias B = design(g);
    printf("== case B (experiment 0, ram_size 0, random_failure_rate 1e-4, power_cycle_rate 1e-3) ==\n");
    printBias(g, B);
    std::mt19937_64 rng(5000);
    Run R;
    simulate(g, B, 100000, rng, R);
    printRun("IS", R);
    printf("  first order:");
    for (int i = 0; i < 3; ++i) {
      const double f = firstOrder(g, kTimes[i]);
      const Stat s = stat(R, i);
      printf("  t=%.0f %.4e (IS/analytic %.4f, z %+.2f)", kTimes[i], f, s.mean / f, (s.mean - f) / (s.mean * s.re));
    }
    printf("\n\n");
  }

  // --- case C: ram_size 8 ---
  {
    Globals g = base;
    g.ram_size = 8;
    const Bias B = design(g);
    printf("== case C (experiment 0, ram_size 8) ==\n");
    printBias(g, B);
    std::mt19937_64 rng(6000);
    Run R;
    runBlocks(g, B, rng, R, 100);
    printRun("blocks", R);
    std::mt19937_64 rng1(6001);
    Run R2;
    simulate(g, B, 20000, rng1, R2);
    printRun("IS", R2);
    if (plain) {
      std::mt19937_64 rng2(6002);
      Run Q;
      simulate(g, plainBias(), 1000000, rng2, Q);
      printRun("plain", Q);
      compare(R2, Q);
    }
    printf("  first order: %.4e %.4e %.4e\n", firstOrder(g, 30), firstOrder(g, 180), firstOrder(g, 365));
  }
}

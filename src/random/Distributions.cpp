#include "random/Distributions.h"

#include <cmath>
#include <limits>
#include <new>

#include "BaseClasses/ErrorHandling.h"
#include "random/LaggedFibonacci.h"
#include "random/Tausworthe.h"

namespace {

constexpr double kLn4 = 1.3862943611198906;       // ln 4
constexpr double kOnePlusLn4_5 = 2.504077396776274;  // 1 + ln 4.5
constexpr double kE = 2.718281828459045;

template <class Generator>
RandomNumberGenerator* NewGenerator() {
  RandomNumberGenerator* generator = new (std::nothrow) Generator();
  if (generator == nullptr) MemoryAllocationError();
  return generator;
}

}  // namespace

// Built before any static object of default priority so that TheDistribution
// is usable from every other static constructor.
[[gnu::init_priority(101)]] static UserDistributions TheGenerator(0, 31415);

constinit Distributions* TheDistribution = &TheGenerator;

Distributions::Distributions()
    : generator(NewGenerator<LaggedFibonacci>()),
      laggedFibonacci(dynamic_cast<LaggedFibonacci*>(generator)) {}

Distributions::~Distributions() { delete generator; }

void Distributions::SetGenerator(RandomNumberGenerator* newGenerator) {
  if (newGenerator == generator) return;
  delete generator;
  generator = newGenerator;
  laggedFibonacci = dynamic_cast<LaggedFibonacci*>(generator);
}

double Distributions::Deterministic(double value) { return value; }

double Distributions::Geometric(double p) {
  return std::floor(std::log(NextUniform()) / std::log(1.0 - p));
}

double Distributions::Weibull(double alpha, double beta) {
  return beta * std::pow(-std::log(NextUniform()), 1.0 / alpha);
}

double Distributions::ConditionalWeibull(double alpha, double beta, double t) {
  const double survived = std::exp(-std::pow(t / beta, alpha));
  return beta * std::pow(-std::log(NextUniform() * survived), 1.0 / alpha) - t;
}

bool Distributions::PolarDraw(int32_t& attempts, double& value) {
  do {
    if (attempts <= 0) return false;
    --attempts;
    u1 = NextUniform();
    u2 = NextUniform();
    w1 = 2.0 * u1 - 1.0;
    w2 = 2.0 * u2 - 1.0;
    polarS = w1 * w1 + w2 * w2;
  } while (polarS > 1.0);
  value = w1 * std::sqrt(-2.0 * std::log(polarS) / polarS);
  return true;
}

double Distributions::Normal(double mean, double variance) {
  int32_t attempts = MaxNormalAttempts;
  double polar = 0.0;
  while (PolarDraw(attempts, polar)) {
    const double x = mean + std::sqrt(variance) * polar;
    if (!(x < 0.0)) return x;
  }
  return 0.0;
}

double Distributions::Lognormal(double mean, double variance) {
  int32_t attempts = MaxNormalAttempts;
  double polar = 0.0;
  if (!PolarDraw(attempts, polar)) return std::numeric_limits<double>::quiet_NaN();
  return std::exp(mean + std::sqrt(variance) * polar);
}

double Distributions::Erlang(double k, double mean) {
  double product = 1.0;
  for (int64_t i = 1; i <= k; ++i) product *= NextUniform();
  return -(mean / k) * std::log(product);
}

double Distributions::Triangular(double a, double b, double c) {
  if (a == b) return a;
  const double u = NextUniform();
  const double g = (c - a) / (b - a);
  const double y = (u <= g) ? std::sqrt(u * g) : 1.0 - std::sqrt((1.0 - g) * (1.0 - u));
  return a + (b - a) * y;
}

// Rejection method for shapes above 1 (log-logistic envelope).
double Distributions::GammaLargeShape(double alpha) {
  gammaA = 1.0 / std::sqrt(2.0 * alpha - 1.0);
  gammaB = alpha - kLn4;
  gammaC = alpha + 1.0 / gammaA;
  gammaD = kOnePlusLn4_5;
  for (;;) {
    u1 = NextUniform();
    u2 = NextUniform();
    const double v = gammaA * std::log(u1 / (1.0 - u1));
    const double y = alpha * std::exp(v);
    const double z = u1 * u1 * u2;
    const double r = gammaB + gammaC * v - y;
    if (r + gammaD - 4.5 * z >= 0.0) return y;
    if (std::log(z) <= r) return y;
  }
}

// Rejection method for shapes below 1 (power and exponential pieces).
double Distributions::GammaSmallShape(double alpha) {
  gammaB = (kE + alpha) / kE;
  for (;;) {
    u1 = NextUniform();
    const double p = gammaB * u1;
    const double y = (p <= 1.0) ? std::pow(p, 1.0 / alpha) : -std::log((gammaB - p) / alpha);
    u2 = NextUniform();
    if (p <= 1.0) {
      if (u2 <= std::exp(-y)) return y;
    } else if (u2 <= std::pow(y, alpha - 1.0)) {
      return y;
    }
  }
}

double Distributions::Gamma(double alpha, double beta) {
  if (alpha > 1.0) return beta * GammaLargeShape(alpha);
  if (alpha == 1.0) return -beta * std::log(NextUniform());
  if (alpha < 1.0) return beta * GammaSmallShape(alpha);
  return std::numeric_limits<double>::quiet_NaN();
}

double Distributions::Beta(double a, double b) {
  const double g1 = Gamma(a, 1.0);
  const double g2 = Gamma(b, 1.0);
  return g1 / (g1 + g2);
}

double Distributions::Uniform(double a, double b) { return a + (b - a) * NextUniform(); }

double Distributions::Binomial(double n, double p) {
  double successes = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    if (NextUniform() <= p) successes += 1.0;
  }
  return successes;
}

double Distributions::NegativeBinomial(double n, double p) {
  const double logFailure = std::log(1.0 - p);
  double sum = 0.0;
  for (int64_t i = 0; i < n; ++i) sum += std::floor(std::log(NextUniform()) / logFailure);
  return sum;
}

double Distributions::HyperExponential(int32_t count, double* pairs) {
  if (count < 1 || pairs == nullptr) return std::numeric_limits<double>::quiet_NaN();
  const double u = NextUniform();
  double total = 0.0;
  for (int32_t i = 0; i < count; ++i) total += pairs[2 * i + 1];
  int32_t phase = 0;
  double cumulative = pairs[1];
  while (cumulative / total <= u && phase < count - 1) {
    ++phase;
    cumulative += pairs[2 * phase + 1];
  }
  return -std::log(NextUniform()) / pairs[2 * phase];
}

double Distributions::HypoExponential(int32_t count, double* rates) {
  double sum = 0.0;
  for (int32_t i = 0; i < count; ++i) sum += -std::log(NextUniform()) / rates[i];
  return sum;
}

double Distributions::Pareto(double a, double b) {
  return std::exp(std::log(a) - std::log(NextUniform()) / b);
}

UserDistributions::UserDistributions() { SetGenerator(NewGenerator<LaggedFibonacci>()); }

UserDistributions::UserDistributions(int32_t generatorType, uint32_t seed) {
  if (generatorType == 1) {
    SetGenerator(NewGenerator<Tausworthe>());
  } else {
    SetGenerator(NewGenerator<LaggedFibonacci>());
  }
  GetGenerator()->srnd(seed);
}

// Turns the uniforms of one owned generator into samples of the delay
// distributions. Every operation draws a fixed or rejection-determined
// number of uniforms, in a fixed order, so the call order fixes a whole run.
// The generator is owned; it is null only after SetGenerator(nullptr), and
// sampling needs one. Scratch members make an object unsafe to share between
// threads.
#pragma once

#include <cmath>
#include <cstdint>

#include "random/LaggedFibonacci.h"
#include "random/RandomNumberGenerator.h"

class Distributions {
 public:
  // Owns a new, unseeded lagged Fibonacci generator.
  Distributions();
  ~Distributions();
  Distributions(const Distributions&) = delete;
  Distributions& operator=(const Distributions&) = delete;

  // Inline: the selection of a group and the tie break of the event list
  // draw through it at every firing.
  RandomNumberGenerator* GetGenerator() const { return generator; }
  // Takes ownership of `generator`, destroying the one held before.
  void SetGenerator(RandomNumberGenerator* generator);
  // The generator's next uniform, as GetGenerator()->rnd() gives it; the
  // lagged Fibonacci generator's draw is made without a call.
  double NextUniform() {
    return laggedFibonacci != nullptr ? laggedFibonacci->rnd() : generator->rnd();
  }
  // The uniform NextUniform() will give, left in the stream.
  double PeekUniform() {
    return laggedFibonacci != nullptr ? laggedFibonacci->Peek() : generator->Peek();
  }

  // Inline, as the delay of nearly every activity: one uniform, one log.
  double Exponential(double rate) { return -std::log(NextUniform()) / rate; }
  double Deterministic(double value);
  double Geometric(double p);
  double Weibull(double alpha, double beta);
  double ConditionalWeibull(double alpha, double beta, double t);
  // Polar method, redrawn while negative. After MaxNormalAttempts pairs of
  // uniforms without a non-negative value (a mean far below zero) gives 0.0,
  // the nearest value the truncated distribution allows.
  double Normal(double mean, double variance);
  // One polar draw through exp; NaN if no pair inside the unit circle came
  // up within MaxNormalAttempts pairs (only a degenerate generator does that).
  double Lognormal(double mean, double variance);
  double Erlang(double k, double mean);
  double Triangular(double a, double b, double c);
  double Gamma(double alpha, double beta);
  double Beta(double a, double b);
  double Uniform(double a, double b);
  double Binomial(double n, double p);
  double NegativeBinomial(double n, double p);
  // `pairs` holds rate, weight for each of `count` phases. A draw at or above
  // the last cumulative fraction takes the last phase; no phases gives NaN
  // without drawing.
  double HyperExponential(int32_t count, double* pairs);
  double HypoExponential(int32_t count, double* rates);
  double Pareto(double a, double b);

  // Bound on the uniform pairs one Normal or Lognormal draw may consume.
  static constexpr int32_t MaxNormalAttempts = 1000000;

 private:
  // One polar-method value w1 * sqrt(-2 ln S / S); false when the attempt
  // budget `attempts` runs out before a pair falls inside the unit circle.
  bool PolarDraw(int32_t& attempts, double& value);
  double GammaLargeShape(double alpha);
  double GammaSmallShape(double alpha);

  // --- Owned generator ---
  RandomNumberGenerator* generator;
  // The generator itself when it is a lagged Fibonacci one, else null.
  LaggedFibonacci* laggedFibonacci;

  // --- Scratch values of the last draw (read by no caller) ---
  double u1 = 0.0;
  double u2 = 0.0;
  double w1 = 0.0;
  double w2 = 0.0;
  double polarS = 0.0;
  double gammaA = 0.0;
  double gammaB = 0.0;
  double gammaC = 0.0;
  double gammaD = 0.0;
};

// The program-wide distribution object that activities sample through.
class UserDistributions : public Distributions {
 public:
  // A fresh unseeded lagged Fibonacci generator.
  UserDistributions();
  // Type 1 gives a Tausworthe generator, every other type a lagged Fibonacci
  // one; it is seeded with `seed`.
  UserDistributions(int32_t generatorType, uint32_t seed);
};

// Points at the distribution object built before main (lagged Fibonacci,
// seed 31415). The pointer is constant-initialised and the object is built
// ahead of every ordinarily ordered static object of the program, so it can
// be drawn from during any other static initialisation.
extern Distributions* TheDistribution;

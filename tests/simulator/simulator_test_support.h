// Helpers shared by the simulator tests: a generator with a scripted stream,
// installed into the program-wide distribution object.
#pragma once

#include <deque>
#include <initializer_list>

#include "random/Distributions.h"
#include "random/LaggedFibonacci.h"
#include "random/RandomNumberGenerator.h"

class ScriptedGenerator : public RandomNumberGenerator {
 public:
  explicit ScriptedGenerator(std::initializer_list<double> values) : values_(values) {}
  double rnd() override {
    ++draws;
    if (values_.empty()) return 0.5;
    double value = values_.front();
    values_.pop_front();
    return value;
  }
  void srnd(uint32_t) override {}

  // Replaces the program-wide generator and resets the draw count.
  static void Install(std::initializer_list<double> values) {
    draws = 0;
    TheDistribution->SetGenerator(new ScriptedGenerator(values));
  }
  // Puts a seeded lagged Fibonacci generator back.
  static void Restore() {
    auto* generator = new LaggedFibonacci();
    generator->srnd(31415);
    TheDistribution->SetGenerator(generator);
  }
  static inline int draws = 0;

 private:
  std::deque<double> values_;
};

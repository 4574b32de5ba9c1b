// The kinds of delay distribution an action is built with. The engine only
// stores and prints the code; the generated activities sample by calling the
// matching operation of the program-wide Distributions object.
#pragma once

enum Distribution {
  EXPONENTIAL = 1,
  DETERMINISTIC = 2,
  UNIFORM = 3,
  GEOMETRIC = 4,
  WEIBULL = 5,
  CONDITIONAL_WEIBULL = 6,
  NORMAL = 7,
  LOGNORMAL = 8,
  ERLANG = 9,
  TRIANGULAR = 10,
  GAMMA = 11,
  BETA = 12,
  BINOMIAL = 13,
  NEGATIVE_BINOMIAL = 14,
  HYPER_EXPONENTIAL = 15,
  HYPO_EXPONENTIAL = 16,
  PARETO = 17,
  INSTANTANEOUS = 18
};

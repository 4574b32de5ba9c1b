// Abstract source of uniform random numbers: the one stream every random draw
// of a run comes from. Holds no data; concrete generators own their state.
#pragma once

#include <cstdint>

class RandomNumberGenerator {
 public:
  virtual ~RandomNumberGenerator();
  // Next uniform number; the base stream is empty and always gives 0.0.
  virtual double rnd();
  // The uniform the next rnd() will give, without taking it from the
  // stream; the base stream's is 0.0.
  virtual double Peek();
  // (Re)starts the stream from `seed`; the base version does nothing.
  virtual void srnd(uint32_t seed);
};

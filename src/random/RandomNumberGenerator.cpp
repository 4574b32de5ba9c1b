#include "random/RandomNumberGenerator.h"

RandomNumberGenerator::~RandomNumberGenerator() = default;

double RandomNumberGenerator::rnd() { return 0.0; }

double RandomNumberGenerator::Peek() { return 0.0; }

void RandomNumberGenerator::srnd(uint32_t /*seed*/) {}

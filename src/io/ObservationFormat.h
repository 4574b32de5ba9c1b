// The text of one observation value in the ASCII output file: ten decimals,
// then trailing zeros dropped while at least one digit stays after the
// point (0.5 → "0.5", 2 → "2.0", 1e-12 → "0.0").
#pragma once

#include <string>

std::string FormatObservationValue(double value);

// The text of one observation value under importance sampling, where a
// weighted value may be far below 1e-10: seventeen significant digits
// ("%.17g"), which read back as the same double.
std::string FormatExactObservationValue(double value);

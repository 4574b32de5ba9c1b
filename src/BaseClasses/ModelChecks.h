// Run-time checks of the values a generated model computes: a rate, weight
// or delay parameter that is negative or not a number, and a marking that
// would not fit in a place's 16 bits. A failed check names the activity and
// the model-file line that computed the value and ends the run with exit
// status 1. The checks inline to one comparison on the path that passes;
// the report is out of line.
#pragma once

#include <cstdint>

// Where a generated value comes from: the model element that computes it
// (e.g. "activity 'failure'") and its model-file line.
struct ModelSite {
  const char* element;
  const char* file;
  int line;
};

// Reports "ERROR: FILE:LINE: ELEMENT: WHAT is VALUE; RULE" and exits 1.
[[noreturn]] void FailModelValue(const ModelSite& site, const char* what, double value, const char* rule);

// A rate, weight or delay parameter: 0 and more are legal (a rate of 0
// never completes, a weight of 0 is never chosen, a delay of 0 is
// immediate), negatives and NaN are not.
inline double CheckedParameter(double value, const ModelSite& site, const char* what) {
  if (!(value >= 0.0)) [[unlikely]]
    FailModelValue(site, what, value, "it must be a number of 0 or more");
  return value;
}

// A new marking, computed in int (or wider) before it is stored.
template <class T> inline short CheckedMarking(T value, const ModelSite& site, const char* place) {
  if (!(value >= -32768 && value <= 32767)) [[unlikely]]
    FailModelValue(site, place, static_cast<double>(value), "a marking must lie in -32768 ... 32767");
  return static_cast<short>(value);
}

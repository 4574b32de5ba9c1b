// Count, mean and spread of one measure's observations, kept by Welford's
// running update so long runs of 0/1 values do not lose precision; two
// accumulators merge exactly (several processes, several files).
// Invariant: m2 >= 0; mean and m2 are 0 while count is 0.
#pragma once

#include <cstdint>

class RunningStats {
public:
    void Add(double x);
    // Combines another accumulator's observations into this one.
    void Merge(const RunningStats& other);

    int64_t Count() const { return count; }
    double Mean() const { return mean; }
    // Sample variance (n - 1 denominator); 0 with fewer than two observations.
    double Variance() const;
    double StdDev() const;
    // True while every observation seen is exactly 0 or 1.
    bool AllBinary() const { return allBinary; }
    // Number of observations equal to 1 (meaningful when AllBinary()).
    int64_t Ones() const { return ones; }

private:
    int64_t count = 0;
    double mean = 0.0;
    double m2 = 0.0;      // sum of squared deviations from the mean
    int64_t ones = 0;
    bool allBinary = true;
};

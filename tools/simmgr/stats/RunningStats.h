// Count, mean and spread of one measure's observations, kept by Welford's
// running update so long runs of 0/1 values do not lose precision; two
// accumulators merge exactly (several processes, several files). For the
// weighted observations of a change of measure it also keeps how many are
// non-zero, their sum and the largest one, which tell whether a few lucky
// replications carry the estimate, and the third and fourth central moments,
// which tell how well the spread itself is known.
// Invariant: m2 >= 0 and m4 >= 0 (up to rounding); mean, m2, m3, m4, sum and
// largest are 0 while count is 0; otherwise largest is the greatest
// observation added.
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
    int64_t NonZero() const { return nonzero; }
    // Observations seen, every one of them 0: no event yet.
    bool AllZero() const { return count > 0 && nonzero == 0; }
    double Sum() const { return sum; }
    double Largest() const { return largest; }
    // False once the sum has overflowed (or an observation was not finite):
    // no estimate from these observations can then be trusted.
    bool SumFinite() const;
    // The largest observation's share of the sum; 0 while the sum is not
    // positive (no weight seen yet), NaN while it is not finite.
    double LargestShare() const;
    // Standard error of the mean relative to the mean; infinity while the
    // mean is 0 or fewer than two observations exist.
    double RelativeError() const;
    // The estimated relative variance of the sample variance,
    // sum (x - mean)^4 / (sum (x - mean)^2)^2 - 1/n: near (kurtosis - 1) / n
    // when the tail has been seen, and between 0 and 1 always. 0 while every
    // observation is the same (no spread to be unsure of); not finite once
    // the fourth powers overflow.
    double VarianceOfVariance() const;

private:
    int64_t count = 0;
    double mean = 0.0;
    double m2 = 0.0;      // sum of squared deviations from the mean
    double m3 = 0.0;      // sum of cubed deviations (kept to update m4)
    double m4 = 0.0;      // sum of fourth powers of the deviations
    int64_t ones = 0;
    bool allBinary = true;
    int64_t nonzero = 0;
    double sum = 0.0;
    double largest = 0.0;
};

// Confidence intervals for a mean from its running statistics: the Student-t
// interval and, for 0/1 observations, the exact (Clopper-Pearson) interval
// and the Wilson score interval, which stay inside [0, 1] and keep a
// sensible width when the mean is near 0 or 1.
#pragma once

#include "simmgr/stats/RunningStats.h"

struct Interval {
    double low = 0.0;
    double high = 0.0;
    bool valid = false;   // false when the count is too small to form it

    // The larger distance from the estimate to either end.
    double HalfWidthAround(double estimate) const;
};

// mean -/+ t(1 - (1 - confidence)/2, n - 1) * s / sqrt(n); needs n >= 2.
Interval StudentInterval(const RunningStats& s, double confidence);
// The Student-t interval of weighted observations (reward x likelihood
// ratio), with the variance taken at its one-sided upper bound at the same
// confidence, s^2 (1 + z sqrt(v)), where v is the estimated relative
// variance of s^2 (RunningStats::VarianceOfVariance) and z the normal
// quantile at `confidence`. Student-t treats s^2 as known to n - 1 degrees
// of freedom; heavy-tailed weights leave it far less known, and low while
// the tail has not shown, which is when the plain interval misses (below
// the mean). For normal data v is about 2 / n, and the bound widens the
// interval by under 4 % from n = 1000 on. Needs n >= 2 and a finite v.
Interval WeightedInterval(const RunningStats& s, double confidence);
// Wilson score interval for a proportion; needs n >= 1 and 0/1 data.
Interval WilsonInterval(const RunningStats& s, double confidence);

// Exact interval for a proportion: each end misses with probability at most
// (1 - confidence) / 2 whatever the proportion, from beta quantiles; needs
// n >= 1 and 0/1 data.
Interval ClopperPearsonInterval(const RunningStats& s, double confidence);
// The smallest p with P(no event in n trials) <= error: 1 - error^(1/n).
// An upper bound on a proportion of which n trials saw nothing.
double NoEventBound(int64_t n, double error);

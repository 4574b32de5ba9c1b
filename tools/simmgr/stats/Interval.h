// Confidence intervals for a mean from its running statistics: the Student-t
// interval and, for 0/1 observations, the Wilson score interval, which stays
// inside [0, 1] and keeps a sensible width when the mean is near 0 or 1.
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
// Wilson score interval for a proportion; needs n >= 1 and 0/1 data.
Interval WilsonInterval(const RunningStats& s, double confidence);

// The interval the stopping rule judges by: Wilson when every observation
// is 0 or 1, otherwise Student-t.
Interval StoppingInterval(const RunningStats& s, double confidence);

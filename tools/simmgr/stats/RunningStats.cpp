#include "simmgr/stats/RunningStats.h"

#include <algorithm>
#include <cmath>
#include <limits>

void RunningStats::Add(double x) {
    ++count;
    const double delta = x - mean;
    mean += delta / static_cast<double>(count);
    m2 += delta * (x - mean);
    sum += x;
    largest = count == 1 ? x : std::max(largest, x);
    if (x != 0.0) ++nonzero;
    if (x == 1.0) {
        ++ones;
    } else if (x != 0.0) {
        allBinary = false;
    }
}

void RunningStats::Merge(const RunningStats& other) {
    if (other.count == 0) return;
    if (count == 0) {
        *this = other;
        return;
    }
    const double n1 = static_cast<double>(count);
    const double n2 = static_cast<double>(other.count);
    const double n = n1 + n2;
    const double delta = other.mean - mean;
    mean += delta * n2 / n;
    m2 += other.m2 + delta * delta * n1 * n2 / n;
    count += other.count;
    ones += other.ones;
    allBinary = allBinary && other.allBinary;
    nonzero += other.nonzero;
    sum += other.sum;
    largest = std::max(largest, other.largest);
}

double RunningStats::Variance() const {
    if (count < 2) return 0.0;
    return m2 / static_cast<double>(count - 1);
}

double RunningStats::StdDev() const { return std::sqrt(Variance()); }

bool RunningStats::SumFinite() const { return std::isfinite(sum); }

double RunningStats::LargestShare() const {
    if (!SumFinite()) return std::numeric_limits<double>::quiet_NaN();
    return sum > 0.0 ? largest / sum : 0.0;
}

double RunningStats::RelativeError() const {
    if (count < 2 || mean == 0.0) return std::numeric_limits<double>::infinity();
    return StdDev() / std::sqrt(static_cast<double>(count)) / std::fabs(mean);
}

#include "simmgr/stats/RunningStats.h"

#include <algorithm>
#include <cmath>
#include <limits>

// The moment updates are the pairwise ones for central sums (adding one
// observation is merging a stream of one): each new sum uses the lower ones
// as they were before the update, so m4 goes first and m2 last.
void RunningStats::Add(double x) {
    const double before = static_cast<double>(count);
    ++count;
    const double n = static_cast<double>(count);
    const double delta = x - mean;
    const double deltaN = delta / n;
    const double term = delta * deltaN * before;
    mean += deltaN;
    m4 += term * deltaN * deltaN * (n * n - 3.0 * n + 3.0) + 6.0 * deltaN * deltaN * m2 - 4.0 * deltaN * m3;
    m3 += term * deltaN * (n - 2.0) - 3.0 * deltaN * m2;
    m2 += delta * (x - mean);   // term up to rounding; plain results keep this exact form
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
    const double d2 = delta * delta;
    mean += delta * n2 / n;
    m4 += other.m4 + d2 * d2 * n1 * n2 * (n1 * n1 - n1 * n2 + n2 * n2) / (n * n * n) +
          6.0 * d2 * (n1 * n1 * other.m2 + n2 * n2 * m2) / (n * n) + 4.0 * delta * (n1 * other.m3 - n2 * m3) / n;
    m3 += other.m3 + d2 * delta * n1 * n2 * (n1 - n2) / (n * n) + 3.0 * delta * (n1 * other.m2 - n2 * m2) / n;
    m2 += other.m2 + d2 * n1 * n2 / n;
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

double RunningStats::VarianceOfVariance() const {
    if (m2 <= 0.0) return 0.0;
    // Never below 0 (the sum of fourth powers is at least the squared sum of
    // squares over n), though rounding can put it a hair below; a NaN from
    // overflowed powers is kept, not clamped to 0.
    const double vov = m4 / m2 / m2 - 1.0 / static_cast<double>(count);
    return vov < 0.0 ? 0.0 : vov;
}

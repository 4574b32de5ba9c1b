#include "simmgr/stats/Interval.h"

#include <algorithm>
#include <cmath>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>

double Interval::HalfWidthAround(double estimate) const {
    return std::max(estimate - low, high - estimate);
}

namespace {

// mean -/+ t(1 - (1 - confidence)/2, n - 1) * spread / sqrt(n).
Interval StudentAround(const RunningStats& s, double confidence, double spread) {
    Interval ci;
    if (s.Count() < 2) return ci;
    const double n = static_cast<double>(s.Count());
    boost::math::students_t dist(n - 1.0);
    const double t = boost::math::quantile(dist, 1.0 - (1.0 - confidence) / 2.0);
    const double half = t * spread / std::sqrt(n);
    ci.low = s.Mean() - half;
    ci.high = s.Mean() + half;
    ci.valid = true;
    return ci;
}

}  // namespace

Interval StudentInterval(const RunningStats& s, double confidence) { return StudentAround(s, confidence, s.StdDev()); }

Interval WeightedInterval(const RunningStats& s, double confidence) {
    const double vov = s.VarianceOfVariance();
    if (!std::isfinite(vov)) return Interval{};
    const double z = boost::math::quantile(boost::math::normal(), confidence);
    return StudentAround(s, confidence, std::sqrt(s.Variance() * (1.0 + z * std::sqrt(vov))));
}

Interval WilsonInterval(const RunningStats& s, double confidence) {
    Interval ci;
    if (s.Count() < 1 || !s.AllBinary()) return ci;
    const double n = static_cast<double>(s.Count());
    const double p = static_cast<double>(s.Ones()) / n;
    boost::math::normal dist;
    const double z = boost::math::quantile(dist, 1.0 - (1.0 - confidence) / 2.0);
    const double z2 = z * z;
    const double centre = (p + z2 / (2.0 * n)) / (1.0 + z2 / n);
    const double half = z / (1.0 + z2 / n) * std::sqrt(p * (1.0 - p) / n + z2 / (4.0 * n * n));
    // With no event (or nothing else) the end is exactly 0 (or 1); the
    // formula leaves a rounding error of 1e-19 there.
    ci.low = s.Ones() == 0 ? 0.0 : std::max(0.0, centre - half);
    ci.high = s.Ones() == s.Count() ? 1.0 : std::min(1.0, centre + half);
    ci.valid = true;
    return ci;
}

Interval ClopperPearsonInterval(const RunningStats& s, double confidence) {
    Interval ci;
    if (s.Count() < 1 || !s.AllBinary()) return ci;
    using boost::math::beta_distribution;
    const double k = static_cast<double>(s.Ones());
    const double n = static_cast<double>(s.Count());
    const double tail = (1.0 - confidence) / 2.0;
    ci.low = k == 0.0 ? 0.0 : boost::math::quantile(beta_distribution<>(k, n - k + 1.0), tail);
    ci.high = k == n ? 1.0 : boost::math::quantile(beta_distribution<>(k + 1.0, n - k), 1.0 - tail);
    ci.valid = true;
    return ci;
}

double NoEventBound(int64_t n, double error) {
    return -std::expm1(std::log(error) / static_cast<double>(n));
}

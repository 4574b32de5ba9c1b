// What the two coverage benches share: their comma-separated option lists,
// and a coverage count printed as a percentage with its 95 % Clopper-Pearson
// interval ("95.12 [94.68, 95.53]"), so that a reader can tell a shortfall
// from Monte Carlo error.
#pragma once

#include <boost/math/distributions/beta.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

inline std::vector<double> Numbers(const char* list) {
    std::vector<double> out;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) out.push_back(std::strtod(item.c_str(), nullptr));
    return out;
}

inline std::string CoverageText(int64_t covered, int64_t n) {
    if (n == 0) return "       -                ";
    using boost::math::beta_distribution;
    const auto k = static_cast<double>(covered), m = static_cast<double>(n);
    const double lo = covered == 0 ? 0.0 : boost::math::quantile(beta_distribution<>(k, m - k + 1), 0.025);
    const double hi = covered == n ? 1.0 : boost::math::quantile(beta_distribution<>(k + 1, m - k), 0.975);
    char text[64];
    std::snprintf(text, sizeof text, "%6.2f [%5.2f,%6.2f]", 100.0 * k / m, 100.0 * lo, 100.0 * hi);
    return text;
}

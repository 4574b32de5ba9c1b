#include "simmgr/run/ProgressLine.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr double kRedrawSeconds = 0.25;

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

}  // namespace

bool ProgressLine::Due(bool force) const { return enabled && (force || Now() - lastShown >= kRedrawSeconds); }

void ProgressLine::Show(const ProgressCounts& c) {
    if (!enabled) return;
    lastShown = Now();
    char widestText[32] = "-";
    if (std::isfinite(c.widest)) std::snprintf(widestText, sizeof widestText, "%.3f", c.widest);
    char line[256];
    std::snprintf(line, sizeof line,
                  "simmgr: %d running (%d blocks), %d/%zu done%s | %lld replications counted | "
                  "widest rel. half-width %s | simulator CPU %.1f s",
                  c.running, c.blocks, c.done, c.experiments,
                  c.failed ? (" (" + std::to_string(c.failed) + " failed)").c_str() : "",
                  static_cast<long long>(c.counted), widestText, c.cpuSeconds);
    std::string text = line;
    const size_t shown = text.size();
    if (text.size() < width) text.append(width - text.size(), ' ');
    width = shown;
    std::cerr << '\r' << text << std::flush;
}

void ProgressLine::Clear() {
    if (enabled && width > 0) std::cerr << "\n";
    width = 0;
}

// What the tests of the worked examples share: running an example's
// simulator as its users do and reading its ASCII observations, the
// statistics of those observations, and the exact transient probabilities
// of a small Markov chain (by uniformisation) to compare them with.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace examples {

struct SimulatorRun {
  int status = -1;
  std::string err;
  std::map<int, std::vector<double>> observations;  // per variable and time index
};

// Runs build/bin/<simulator> with `arguments` in a scratch directory and
// reads its ASCII observations (under a change of measure: reward times
// likelihood ratio).
inline SimulatorRun RunSimulator(const std::string& simulator, const std::string& arguments) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("sanc_examples_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string command = "cd '" + dir.string() + "' && '" + SAN_TEST_BIN_DIR + "/" + simulator + "' " + arguments +
                              " -a obs.txt > out.txt 2> err.txt";
  SimulatorRun run;
  const int status = std::system(command.c_str());
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(dir / "err.txt");
  run.err.assign(std::istreambuf_iterator<char>(err), {});
  std::ifstream obs(dir / "obs.txt");
  std::string line;
  while (std::getline(obs, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t comma = line.find(',');
    run.observations[std::stoi(line.substr(0, comma))].push_back(std::stod(line.substr(comma + 1)));
  }
  fs::remove_all(dir);
  return run;
}

struct Estimate {
  double mean = 0.0;
  double variance = 0.0;  // of one observation
  double standardError = 0.0;
};

inline Estimate EstimateOf(const std::vector<double>& values) {
  Estimate e;
  const auto n = static_cast<double>(values.size());
  if (values.empty()) return e;
  for (double v : values) e.mean += v;
  e.mean /= n;
  if (values.size() < 2) return e;
  for (double v : values) e.variance += (v - e.mean) * (v - e.mean);
  e.variance /= n - 1;
  e.standardError = std::sqrt(e.variance / n);
  return e;
}

// A generator matrix: rows are states, each row sums to 0.
using Generator = std::vector<std::vector<double>>;

// The probability that the chain of generator q, started in state 0, is in
// its last state at time t. q(t) = Σ Poisson(Λt; n) · Pⁿ with Λ the largest
// exit rate and P = I + q/Λ; the series is cut 12 standard deviations past
// its mean.
inline double ProbabilityInLastState(const Generator& q, double t) {
  const size_t n = q.size();
  double rate = 0.0;
  for (size_t i = 0; i < n; ++i) rate = std::max(rate, -q[i][i]);
  if (rate == 0.0 || t <= 0.0) return n == 1 ? 1.0 : 0.0;
  std::vector<double> state(n, 0.0), next(n);
  state[0] = 1.0;
  const double mean = rate * t;
  const int terms = static_cast<int>(mean + 12 * std::sqrt(mean) + 50);
  double result = 0.0;
  for (int k = 0; k <= terms; ++k) {
    result += std::exp(-mean + k * std::log(mean) - std::lgamma(k + 1.0)) * state[n - 1];
    for (size_t j = 0; j < n; ++j) next[j] = state[j];
    for (size_t i = 0; i < n; ++i)
      for (size_t j = 0; j < n; ++j) next[j] += state[i] * q[i][j] / rate;
    state.swap(next);
  }
  return result;
}

}  // namespace examples

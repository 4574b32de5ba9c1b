// Importance sampling through the simulator executable: a neutral change of
// measure changes nothing, a strong one keeps the likelihood ratio's mean at
// 1 and the estimates at the plain ones, and bad multipliers stop the run.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "simulator/simulator_process.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using simulator_process::ReadFile;
using simulator_process::RunResult;

// Mean and standard error of one variable's observations.
struct Estimate {
  double mean = 0.0;
  double standardError = 0.0;
};

// Per variable, from an ASCII output file.
std::map<int, Estimate> Estimates(const std::string& ascii) {
  std::map<int, double> sum, squares, count;
  std::istringstream lines(ascii);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    const int variable = std::stoi(line.substr(0, line.find(',')));
    const double value = std::stod(line.substr(line.find(',') + 1));
    sum[variable] += value;
    squares[variable] += value * value;
    count[variable] += 1.0;
  }
  std::map<int, Estimate> estimates;
  for (const auto& [variable, n] : count) {
    const double mean = sum[variable] / n;
    const double variance = (squares[variable] - n * mean * mean) / (n - 1.0);
    estimates[variable] = {mean, std::sqrt(std::max(variance, 0.0) / n)};
  }
  return estimates;
}

class ImportanceSamplingTest : public simulator_process::SimulatorProcessTest {};

TEST_F(ImportanceSamplingTest, NeutralMeasureGivesThePlainObservationsBitForBit) {
  // Rules of every kind, all multiplying by 1, some depending on places.
  Write("ones.cm",
        "rate sefi = 1\n"
        "rate bit_errorGroup = 1 when ram_working > 0\n"
        "rate random_failure = 2 / 2 when flash_corrupted > 0\n"
        "weight bit_error_case2 = 1\n"
        "weight page_error_case2 = 1 when flash_corrupted == 0\n");
  for (const char* run : {"-e 0 -s 7", "-e 8 -s 31415", "-e 3 -s 99"}) {
    const std::string common = std::string(run) + " -N 150";
    ASSERT_EQ(Run(common + " -b plain.bin").status, 0) << run;
    RunResult biased = Run(common + " -b biased.bin -B ones.cm");
    ASSERT_EQ(biased.status, 0) << run << biased.err;
    EXPECT_EQ(ReadFile(dir / "plain.bin"), ReadFile(dir / "biased.bin")) << run;
    EXPECT_NE(biased.out.find("Likelihood ratio at the horizon: mean 1, standard error 0"),
              std::string::npos);
  }
}

// Strong, marking-dependent bias on experiment 1, where flash outages are
// short: the ratio at the horizon has mean 1 under the biased measure.
TEST_F(ImportanceSamplingTest, HorizonRatioHasMeanOne) {
  Write("strong.cm",
        "let k = 3\n"
        "rate sefi = k when flash_working > 0 and ram_system.ram_working > 0\n"
        "rate random_failure = 50 when flash_corrupted > 0\n"
        "weight bit_error_case2 = 4 when flash_corrupted > 0\n");
  RunResult run = Run("-e 0 -s 99 -N 5000 -B strong.cm");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string label = "Likelihood ratio at the horizon: mean ";
  const size_t at = run.out.find(label);
  ASSERT_NE(at, std::string::npos);
  const double mean = std::stod(run.out.substr(at + label.size()));
  const size_t errorAt = run.out.find("standard error ", at);
  const double standardError = std::stod(run.out.substr(errorAt + 15));
  EXPECT_GT(standardError, 0.0);
  EXPECT_LT(std::fabs(mean - 1.0), 4.0 * standardError) << mean << " ± " << standardError;
}

// Experiment 9, where failure is common: the biased and the plain estimates
// of every variable agree.
TEST_F(ImportanceSamplingTest, BiasedEstimatesAgreeWithPlainOnes) {
  Write("bias.cm",
        "rate sefi = 2 when flash_working > 0 and ram_system.ram_working > 0\n"
        "rate random_failure = 5 when flash_corrupted > 0\n"
        "weight page_error_case2 = 3\n");
  ASSERT_EQ(Run("-e 8 -s 11 -N 5000 -a biased.txt -B bias.cm").status, 0);
  ASSERT_EQ(Run("-e 8 -s 13 -N 5000 -a plain.txt").status, 0);
  const std::map<int, Estimate> biased = Estimates(ReadFile(dir / "biased.txt"));
  const std::map<int, Estimate> plain = Estimates(ReadFile(dir / "plain.txt"));
  ASSERT_EQ(biased.size(), 3u);
  for (const auto& [variable, estimate] : plain) {
    const Estimate& other = biased.at(variable);
    const double combined = std::hypot(estimate.standardError, other.standardError);
    EXPECT_GT(estimate.mean, 0.05);
    EXPECT_LT(std::fabs(estimate.mean - other.mean), 4.0 * combined)
        << "variable " << variable << ": plain " << estimate.mean << ", biased " << other.mean;
  }
  // Weighted values are written so that they read back exactly.
  EXPECT_NE(ReadFile(dir / "biased.txt").find("0,0.12450755074592071"), std::string::npos);
}

// A system failed by time 30 stays failed, so both observations of such a
// replication are 1 times a ratio: the ratio up to 30 and the ratio up to
// 365, which differ since the biased sefi delays run on between them.
TEST_F(ImportanceSamplingTest, EachObservationCarriesTheRatioUpToItsOwnTime) {
  Write("bias.cm", "rate sefi = 2 when flash_working > 0 and ram_system.ram_working > 0\n");
  ASSERT_EQ(Run("-e 8 -s 11 -N 300 -a biased.txt -B bias.cm").status, 0);
  std::istringstream lines(ReadFile(dir / "biased.txt"));
  std::map<int, std::vector<double>> values;
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty() && line[0] != '#')
      values[std::stoi(line)].push_back(std::stod(line.substr(line.find(',') + 1)));
  ASSERT_EQ(values[0].size(), values[2].size());
  int failedEarly = 0;
  for (size_t r = 0; r < values[0].size(); ++r) {
    if (values[0][r] == 0.0) continue;
    ++failedEarly;
    EXPECT_NE(values[0][r], values[2][r]) << "replication " << r;
  }
  EXPECT_GT(failedEarly, 5);
}

TEST_F(ImportanceSamplingTest, BadMultipliersAtRunTimeStopTheRun) {
  // -1 while the flash works, at the very first scheduling.
  Write("rate.cm", "\nrate random_failure = flash_corrupted - 1 when ram_working > 0\n");
  RunResult rate = Run("-N 10 -B rate.cm");
  EXPECT_EQ(rate.status, 1);
  EXPECT_NE(rate.err.find("ERROR: rate.cm:2: rate multiplier of random_failure evaluated to -1;"),
            std::string::npos)
      << rate.err;
  // 0 for a case the plain run can choose.
  Write("weight.cm", "weight bit_error_case2 = ram_corrupted\n");
  RunResult weight = Run("-N 10 -B weight.cm");
  EXPECT_EQ(weight.status, 1);
  EXPECT_NE(weight.err.find("ERROR: weight.cm:1: weight multiplier of bit_error_case2 evaluated to 0;"),
            std::string::npos)
      << weight.err;
}

TEST_F(ImportanceSamplingTest, StartUpRefusalsComeBeforeAnySimulation) {
  RunResult missing = Run("-N 10 -a result.txt -B none.cm");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("ERROR: cannot open change-of-measure file 'none.cm'"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "result.txt"));

  Write("ok.cm", "rate sefi = 2\n");
  RunResult steady = Run("-t 0 -N 10 -B ok.cm");
  EXPECT_EQ(steady.status, 1);
  EXPECT_NE(steady.err.find("applies to terminating runs only"), std::string::npos);

  Write("bad.cm", "rate sefi = 2\nrate watchdog_reboot = 2\n");
  RunResult bad = Run("-N 10 -B bad.cm");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("ERROR: bad.cm:2:6: 'watchdog_reboot' is a deterministic activity"),
            std::string::npos);
  EXPECT_EQ(bad.out.find("Likelihood ratio"), std::string::npos);

  // The option stays out of the usage text.
  RunResult usage = Run("-B");
  EXPECT_EQ(usage.status, 1);
  EXPECT_NE(usage.err.find("Expect a parameter after '-B'"), std::string::npos);
  EXPECT_EQ(usage.err.find("-B "), std::string::npos);
}

}  // namespace

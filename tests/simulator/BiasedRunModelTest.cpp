// Importance sampling of models whose exponential rates read the marking,
// run in-process: a small SAN of scripted activities, replicated by the
// plain step and by the biased loop, and compared with values known exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BaseClasses/Activity.h"
#include "BaseClasses/List.h"
#include "BaseClasses/SANModel.h"
#include "BaseClasses/state/Place.h"
#include "random/Distributions.h"
#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"
#include "simulator/BiasedRun.h"
#include "simulator/Event.h"
#include "simulator/EventList.h"
#include "simulator/SimulatorClass.h"
#include "step_harness.h"
#include "study/BaseStudyClass.h"
#include "trace/TraceFileContainer.h"

namespace {

// An exponential activity whose enabling, rate and effect are the test's.
// Its delay is drawn with rate(); Rate() answers the same unless the
// activity is one that never tells its rate (the plain step never asks).
class RuleActivity : public Activity {
 public:
  RuleActivity(const char* label, int groupId) {
    ActivityInitialize(label, groupId, EXPONENTIAL, RaceEnabledPolicy, 1, 1, false);
  }
  bool Enabled() override {
    enabledBefore = enabledNow;
    enabledNow = enabled();
    return enabledNow;
  }
  double Rate() override { return tellsRate ? rate() : Activity::Rate(); }
  double SampleDistribution() override { return TheDistribution->Exponential(rate()); }
  BaseActionClass* Fire() override {
    effect();
    return this;
  }
  int Rank() override { return 1; }
  double Weight() override { return 1.0; }
  void LinkVariables() override {}

  std::function<bool()> enabled = [] { return true; };
  std::function<double()> rate;
  std::function<void()> effect = [] {};
  bool tellsRate = true;
};

// A SAN of places and rule activities; arcs are declared once both exist.
class RuleSAN : public SANModel {
 public:
  short& AddPlace(const char* label, short initial) {
    places_.push_back(std::make_unique<Place>(label, initial));
    return *places_.back()->Mark;
  }
  RuleActivity& AddActivity(const char* label) {
    activities_.push_back(std::make_unique<RuleActivity>(label, static_cast<int>(activities_.size())));
    return *activities_.back();
  }
  // After every place and activity is added: the model's arrays, then arcs
  // from each activity to the places it reads and changes (by index).
  void Finish(const std::vector<std::pair<std::vector<int>, std::vector<int>>>& arcs) {
    std::vector<BaseStateVariableClass*> placeArray;
    for (auto& place : places_) placeArray.push_back(place.get());
    std::vector<Activity*> actionArray;
    std::vector<BaseGroupClass*> groupArray;
    for (auto& activity : activities_) {
      actionArray.push_back(activity.get());
      groupArray.push_back(activity.get());
    }
    initializeSANModelNow("rules", static_cast<int>(placeArray.size()), placeArray.data(), 0, nullptr,
                          static_cast<int>(actionArray.size()), actionArray.data(),
                          static_cast<int>(groupArray.size()), groupArray.data());
    for (size_t a = 0; a < arcs.size(); ++a) {
      for (int p : arcs[a].first) AddEnableArc(places_[static_cast<size_t>(p)].get(), activities_[a].get());
      for (int p : arcs[a].second) AddAffectArc(places_[static_cast<size_t>(p)].get(), activities_[a].get());
    }
  }
  ~RuleSAN() override {
    // Places before the activities, as generated models release them.
    places_.clear();
  }

 private:
  std::vector<std::unique_ptr<Place>> places_;
  std::vector<std::unique_ptr<RuleActivity>> activities_;
};

// A generator that gives one value for ever.
class ConstantGenerator : public RandomNumberGenerator {
 public:
  explicit ConstantGenerator(double value) : value_(value) {}
  double rnd() override { return value_; }
  double Peek() override { return value_; }

 private:
  double value_;
};

// The model's uniforms from a fresh lagged Fibonacci stream, as a fresh
// process would draw them after seeding.
void SeedStream(uint32_t seed) {
  auto* generator = new LaggedFibonacci();
  TheDistribution->SetGenerator(generator);
  generator->srnd(seed);
  LaggedFibonacci::k = 0;
}

struct Estimate {
  double mean = 0.0;
  double standardError = 0.0;
};

// The simulator of a terminating run wired to a RuleSAN, replicated plainly
// or under a change of measure.
class ModelRun {
 public:
  explicit ModelRun(RuleSAN* san) {
    rewards.TopModel = san;
    sim.pvModel = &rewards;
    sim.study = &study;
    sim.traceContainer = new TraceFileContainer();
    rewards.listGroups(sim.groupList);
    sim.groups = sim.groupList->getList();
    sim.groupRecords = new GroupRecord[static_cast<size_t>(sim.NumGroups())];
    for (int32_t g = 0; g < sim.NumGroups(); ++g) sim.groups[g]->eventSlot = &sim.groupRecords[g];
    rewards.listActions(sim.actionList);
    sim.actions = sim.actionList->getList();
    sim.GenerateConnectivityList();
    sim.eventList = new EventList(sim.NumGroups() + 1);
    sim.placeholderAction = new BaseActionClass();
    initial.resize(static_cast<size_t>(rewards.StateSize()));
    rewards.CurrentState(initial.data());
    sim.GenerateInitialEnabledList();
  }
  ~ModelRun() {
    biased.reset();
    sim.study = nullptr;  // not the process's study
    sim.pvModel = nullptr;
  }

  void Bias(const std::string& text) { biased = std::make_unique<BiasedRun>(sim, "bias.cm", text); }

  // One replication up to `horizon`: reward() at its end times the
  // likelihood ratio of the path (1 when plain).
  double Replicate(double horizon, const std::function<double()>& reward) {
    rewards.SetState(initial.data());
    sim.currentTime = 0.0;
    sim.eventList->ClearEventList();
    if (biased) biased->StartReplication();
    if (biased) biased->GenerateCompleteEventList(); else sim.GenerateCompleteEventList();
    sim.lastFired = sim.placeholderAction;
    sim.currentHandle = sim.eventList->Earliest();
    if (sim.currentHandle != nullptr) {
      sim.currentTime = (*sim.currentHandle)->time;
      sim.currentGroup = static_cast<BaseGroupClass*>((*sim.currentHandle)->action);
      if (biased) biased->RunUntil(horizon); else sim.RunUntil(horizon);
    }
    const double value = reward();
    if (!biased) return value;
    biased->FinishReplication(horizon);
    return value * std::exp(biased->HorizonLogRatio());
  }

  Estimate Mean(int replications, double horizon, const std::function<double()>& reward) {
    double sum = 0.0, squares = 0.0;
    for (int r = 0; r < replications; ++r) {
      const double x = Replicate(horizon, reward);
      sum += x;
      squares += x * x;
    }
    const double n = replications;
    const double mean = sum / n;
    return {mean, std::sqrt(std::max(0.0, squares - n * mean * mean) / (n - 1.0) / n)};
  }

  // Declared first so that they outlive the simulator, whose destructor
  // still walks the model's actions.
  ScriptedRewardModel rewards;
  BaseStudyClass study;
  SimulatorClass sim{SimulatorClass::FieldsOnly{}};
  std::unique_ptr<BiasedRun> biased;
  std::vector<char> initial;
};

class BiasedRunModelTest : public ::testing::Test {
 protected:
  void TearDown() override { SeedStream(31415); }
};

#define EXPECT_WITHIN_4_SE(estimate, exact)                                             \
  EXPECT_LT(std::fabs((estimate).mean - (exact)), 4.0 * (estimate).standardError)      \
      << "estimate " << (estimate).mean << " ± " << (estimate).standardError << ", exact " << (exact)

// `fail` draws its delay at the rate the flag gives when it is scheduled and
// keeps it while the flag toggles (its enabling does not change), so it
// fails by t with probability 1 - exp(-0.1 t) exactly. The change of measure
// raises its rate while the flag is up: every toggle changes the multiplier
// of the delay in progress, whose rest is then drawn again.
TEST_F(BiasedRunModelTest, AChangedMultiplierRedrawsAtTheRateThePlainProcessKeeps) {
  auto* san = new RuleSAN();
  short& flag = san->AddPlace("flag", 0);
  short& failed = san->AddPlace("failed", 0);
  RuleActivity& toggle = san->AddActivity("toggle");
  toggle.rate = [] { return 1.0; };
  toggle.effect = [&] { flag = static_cast<short>(1 - flag); };
  RuleActivity& fail = san->AddActivity("fail");
  fail.enabled = [&] { return failed == 0; };
  fail.rate = [&] { return flag > 0 ? 2.0 : 0.1; };
  fail.effect = [&] { failed = 1; };
  san->Finish({{{0}, {0}}, {{0, 1}, {1}}});
  ModelRun run(san);
  const double horizon = 5.0;
  const double exact = 1.0 - std::exp(-0.1 * horizon);
  auto failedBy = [&] { return failed > 0 ? 1.0 : 0.0; };

  SeedStream(17);
  const Estimate plain = run.Mean(4000, horizon, failedBy);
  EXPECT_WITHIN_4_SE(plain, exact);

  run.Bias("rate fail = 5 when flag > 0\n");
  SeedStream(19);
  const Estimate biased = run.Mean(4000, horizon, failedBy);
  EXPECT_WITHIN_4_SE(biased, exact);
}

// An activity that never tells its rate (Rate() is the base 0) draws its
// delay at 0.2: the ratio must use the rate of the draw.
TEST_F(BiasedRunModelTest, TheRatioUsesTheRateTheDelayWasDrawnWith) {
  auto* san = new RuleSAN();
  short& failed = san->AddPlace("failed", 0);
  RuleActivity& fail = san->AddActivity("fail");
  fail.enabled = [&] { return failed == 0; };
  fail.rate = [] { return 0.2; };
  fail.effect = [&] { failed = 1; };
  fail.tellsRate = false;
  san->Finish({{{0}, {0}}});
  ModelRun run(san);
  run.Bias("rate fail = 4\n");
  SeedStream(23);
  const double horizon = 2.0;
  const Estimate biased = run.Mean(4000, horizon, [&] { return failed > 0 ? 1.0 : 0.0; });
  EXPECT_WITHIN_4_SE(biased, 1.0 - std::exp(-0.2 * horizon));
}

// Two ways to turn the ratio into NaN, both refused: a multiplied rate
// beyond a double (∞ − ∞ in the drift of the pending delays), and a
// likelihood ratio beyond one (0 × ∞ for a zero reward).
class NonFiniteRatioTest : public BiasedRunModelTest {
 protected:
  // `once` (rate 10) fires once; `tick` (rate 1) fires on.
  void SetUp() override {
    auto* san = new RuleSAN();
    short& fired = san->AddPlace("fired", 0);
    RuleActivity& once = san->AddActivity("once");
    once.enabled = [&fired] { return fired == 0; };
    once.rate = [] { return 10.0; };
    once.effect = [&fired] { fired = 1; };
    RuleActivity& tick = san->AddActivity("tick");
    tick.rate = [] { return 1.0; };
    san->Finish({{{0}, {0}}, {{}, {}}});
    run = std::make_unique<ModelRun>(san);
  }
  std::unique_ptr<ModelRun> run;
};

TEST_F(NonFiniteRatioTest, AMultipliedRateBeyondADoubleStopsTheRunNamingItsRule) {
  run->Bias("# 10 times 1e308 is more than a double holds\nrate once = 1e308\n");
  EXPECT_EXIT(run->Replicate(1.0, [] { return 0.0; }), ::testing::ExitedWithCode(1),
              "ERROR: bias.cm:2: rate multiplier of once evaluated to 1e\\+308; multiplied by the "
              "activity's rate 10 it is not a finite number");
}

// Uniforms next to 1 make every biased delay of tick complete almost at
// once, each completion multiplying the ratio by about 1e10.
TEST_F(NonFiniteRatioTest, ARatioBeyondADoubleStopsTheRun) {
  run->Bias("rate tick = 1e-10\n");
  EXPECT_EXIT(
      {
        TheDistribution->SetGenerator(new ConstantGenerator(1.0 - std::ldexp(1.0, -52)));
        run->Replicate(1e-4, [] { return 0.0; });
      },
      ::testing::ExitedWithCode(1),
      "ERROR: bias.cm: the likelihood ratio at t = 0.0001 is exp\\([0-9.e+]*\\), beyond the range of "
      "a double");
}

// The biased loop reads the uniform a draw will take; peeking must not
// change the stream, also where a generator starts its next block.
TEST(UniformPeekTest, PeekGivesTheNextUniformAndLeavesTheStream) {
  LaggedFibonacci lagged;
  lagged.srnd(5);
  Tausworthe tausworthe;
  tausworthe.srnd(5);
  MersenneTwister twister;
  twister.srnd(5);
  for (RandomNumberGenerator* generator : std::vector<RandomNumberGenerator*>{&lagged, &tausworthe, &twister})
    for (int i = 0; i < 1300; ++i) {
      const double peeked = generator->Peek();
      ASSERT_EQ(generator->Peek(), peeked);
      ASSERT_EQ(generator->rnd(), peeked) << "draw " << i;
    }
}

}  // namespace

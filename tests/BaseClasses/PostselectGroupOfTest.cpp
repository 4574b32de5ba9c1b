// A postselect group over case types fixed at build time must answer every
// operation exactly as the plain postselect group over the same cases: the
// same member calls in the same order, the same draws, the same selection
// table and flags, the same fired case. Two identical sets of logging cases
// are driven side by side through both groups and their logs compared.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BaseClasses/Activity.h"
#include "BaseClasses/PostselectGroup.h"
#include "BaseClasses/PostselectGroupOf.h"
#include "random/Distributions.h"
#include "random/LaggedFibonacci.h"

namespace {

// Hands out the given uniforms in turn (repeating the last).
class FixedUniforms : public RandomNumberGenerator {
 public:
  explicit FixedUniforms(std::vector<double> values) : values_(std::move(values)) {}
  double rnd() override {
    const size_t i = next_ < values_.size() ? next_ : values_.size() - 1;
    ++next_;
    return values_[i];
  }

 private:
  std::vector<double> values_;
  size_t next_ = 0;
};

// Records each call as "<name>.<operation>" in a shared log.
template <int Tag>
class LoggingCase final : public Activity {
 public:
  LoggingCase(const char* caseName, std::vector<std::string>* log) : log_(log) {
    ActivityInitialize(caseName, 0, EXPONENTIAL, RaceEnabledPolicy, 1, 1, false);
  }
  bool Enabled() override {
    Note("Enabled");
    enabledBefore = enabledNow;
    enabledNow = enabled;
    return enabledNow;
  }
  int Rank() override { return Note("Rank"), rank; }
  double Weight() override { return Note("Weight"), weight; }
  double SampleDistribution() override { return Note("Sample"), delay; }
  bool ReactivationPredicate() override { return Note("Predicate"), true; }
  bool ReactivationFunction() override { return Note("Function"), false; }
  BaseActionClass* Fire() override { return Note("Fire"), this; }
  void LinkVariables() override {}

  bool enabled = true;
  int rank = 1;
  double weight = 1.0;
  double delay = 2.0;

 private:
  void Note(const char* operation) { log_->push_back(std::string(name) + "." + operation); }
  std::vector<std::string>* log_;
};

using CaseA = LoggingCase<0>;
using CaseB = LoggingCase<1>;

// One group of each kind over its own two cases named alike.
struct Side {
  explicit Side(bool typed) {
    if (typed) {
      group = new PostselectGroupOf("g", &a, &b);
    } else {
      group = new PostselectGroup();
      group->initialize(2, "g");
      group->appendGroup(&a);
      group->appendGroup(&b);
    }
  }
  ~Side() { delete group; }
  void Set(bool aOn, int aRank, double aWeight, bool bOn, int bRank, double bWeight) {
    a.enabled = aOn, a.rank = aRank, a.weight = aWeight;
    b.enabled = bOn, b.rank = bRank, b.weight = bWeight;
  }
  // Every operation the simulator asks of a group, with what it observes.
  std::string Drive() {
    std::string seen;
    seen += group->Enabled() ? "E1 " : "E0 ";
    seen += group->EnablingChange() ? "C1 " : "C0 ";
    seen += std::to_string(group->SampleDistribution()) + " ";
    seen += group->ReactivationPredicate() ? "P1 " : "P0 ";
    seen += group->ReactivationFunction() ? "F1 " : "F0 ";
    BaseActionClass* fired = group->Fire();
    seen += fired ? std::string(fired->name) : "none";
    seen += " w" + std::to_string(group->numWeights) + " r" + std::to_string(group->maxRank);
    for (int i = 0; i < group->numWeights; ++i)
      seen += " " + std::to_string(group->weightDistribution[i].cumulativeWeight) + "@" +
              group->weightDistribution[i].action->name;
    seen += a.disabled ? " a-off" : " a-on";
    seen += b.disabled ? " b-off" : " b-on";
    return seen;
  }

  std::vector<std::string> log;
  CaseA a{"a", &log};
  CaseB b{"b", &log};
  PostselectGroup* group = nullptr;
};

class PostselectGroupOfTest : public ::testing::Test {
 protected:
  void TearDown() override { TheDistribution->SetGenerator(new LaggedFibonacci()); }

  // Runs the same scenario through both kinds of group on the same uniforms.
  void ExpectSameBehaviour(Side& plain, Side& typed, const std::vector<double>& uniforms) {
    TheDistribution->SetGenerator(new FixedUniforms(uniforms));
    const std::string plainSeen = plain.Drive();
    TheDistribution->SetGenerator(new FixedUniforms(uniforms));
    const std::string typedSeen = typed.Drive();
    EXPECT_EQ(typedSeen, plainSeen);
    EXPECT_EQ(typed.log, plain.log);
  }
};

// Enabling, rank, weight and uniform of each scenario both groups are driven
// through.
struct Scenario {
  bool aOn;
  int aRank;
  double aWeight;
  bool bOn;
  int bRank;
  double bWeight;
  double u;
};
const Scenario kScenarios[] = {
    {true, 1, 0.75, true, 1, 0.25, 0.1},   // both compete, first chosen
    {true, 1, 0.75, true, 1, 0.25, 0.9},   // both compete, second chosen
    {true, 1, 0.75, true, 1, 0.25, 0.75},  // on the boundary: the second
    {false, 1, 1.0, true, 1, 1.0, 0.0},    // only the second enabled
    {true, 1, 1.0, false, 1, 1.0, 0.99},   // only the first enabled
    {false, 1, 1.0, false, 1, 1.0, 0.5},   // none: nothing fires
    {true, 1, 1.0, true, 2, 1.0, 0.0},     // a later higher rank takes over
    {true, 2, 1.0, true, 1, 1.0, 0.99},    // a later lower rank is left out
    {true, 1, 0.0, true, 1, 0.0, 0.5},     // zero weights
};

TEST_F(PostselectGroupOfTest, EveryEnablingRankAndWeightCaseMatchesThePlainGroup) {
  Side plain(false), typed(true);
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(testing::Message() << s.aOn << s.aRank << s.bOn << s.bRank << " u=" << s.u);
    plain.Set(s.aOn, s.aRank, s.aWeight, s.bOn, s.bRank, s.bWeight);
    typed.Set(s.aOn, s.aRank, s.aWeight, s.bOn, s.bRank, s.bWeight);
    // Twice each, so the enabled-before/now pair carries over between rounds.
    ExpectSameBehaviour(plain, typed, {s.u});
    ExpectSameBehaviour(plain, typed, {s.u});
  }
}

// Marked, as generated groups are, as enabled by a function of the marking,
// the group does not ask the chosen case again for the enabling it has just
// given, and still selects, fills its table and fires as the plain group.
TEST_F(PostselectGroupOfTest, AGroupEnabledByTheMarkingChoosesAndFiresAsThePlainGroup) {
  Side plain(false), typed(true);
  typed.group->enablingFromMarking = true;
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(testing::Message() << s.aOn << s.aRank << s.bOn << s.bRank << " u=" << s.u);
    plain.Set(s.aOn, s.aRank, s.aWeight, s.bOn, s.bRank, s.bWeight);
    typed.Set(s.aOn, s.aRank, s.aWeight, s.bOn, s.bRank, s.bWeight);
    TheDistribution->SetGenerator(new FixedUniforms({s.u}));
    const std::string plainSeen = plain.Drive();
    TheDistribution->SetGenerator(new FixedUniforms({s.u}));
    EXPECT_EQ(typed.Drive(), plainSeen);
  }
}

TEST_F(PostselectGroupOfTest, AnEditedMemberArrayIsFollowedAsThePlainGroupWould) {
  Side plain(false), typed(true);
  std::vector<std::string> log;
  CaseA replacement("c", &log);
  plain.group->replaceMember(&plain.b, &replacement);
  typed.group->replaceMember(&typed.b, &replacement);

  TheDistribution->SetGenerator(new FixedUniforms({0.9}));
  BaseActionClass* plainFired = plain.group->Fire();
  const std::vector<std::string> plainCalls = log;
  log.clear();
  TheDistribution->SetGenerator(new FixedUniforms({0.9}));
  BaseActionClass* typedFired = typed.group->Fire();

  EXPECT_EQ(plainFired, &replacement);
  EXPECT_EQ(typedFired, &replacement);
  EXPECT_EQ(log, plainCalls);
  EXPECT_TRUE(typed.log.size() == plain.log.size());
  for (const std::string& call : typed.log) EXPECT_EQ(call.rfind("b.", 0), std::string::npos);
}

// The firing step leans on two shortcuts of a generated group: its change
// test says the enabling it found (enablingAtChange), and, once its
// enabling is granted as recorded, its firing reads each case's recorded
// enabling instead of asking. Neither may speak for an edited group, nor
// the second for a selection made outside a firing.
TEST_F(PostselectGroupOfTest, TheChangeTestAndARecordedFiringSpeakOnlyForTheBuiltGroup) {
  Side typed(true);
  typed.group->enablingFromMarking = true;
  for (bool bOn : {true, false}) {
    typed.Set(false, 1, 1.0, bOn, 1, 1.0);
    typed.group->enablingAtChange = -1;
    typed.group->EnablingChange();
    EXPECT_EQ(typed.group->enablingAtChange, bOn ? 1 : 0);
  }

  // Recorded: b was last found disabled, a enabled; the marking now says
  // the opposite, but the firing takes the record and asks no case.
  typed.Set(true, 1, 1.0, false, 1, 1.0);
  typed.group->Enabled();
  typed.Set(false, 1, 1.0, true, 1, 1.0);
  typed.group->enablingRecorded = true;
  typed.log.clear();
  TheDistribution->SetGenerator(new FixedUniforms({0.5}));
  EXPECT_EQ(typed.group->Fire(), &typed.a);
  for (const std::string& call : typed.log) EXPECT_EQ(call.find(".Enabled"), std::string::npos);
  // A selection outside a firing asks again.
  typed.log.clear();
  TheDistribution->SetGenerator(new FixedUniforms({0.5}));
  EXPECT_TRUE(typed.group->SelectAction());
  EXPECT_EQ(typed.group->selectedAction, &typed.b);

  std::vector<std::string> log;
  CaseA replacement("c", &log);
  typed.group->replaceMember(&typed.b, &replacement);
  typed.group->enablingAtChange = -1;
  typed.group->EnablingChange();
  EXPECT_EQ(typed.group->enablingAtChange, -1);
}

// The direct route calls every case without testing it, so a missing case
// is refused when the group is built rather than followed at the first call.
TEST(PostselectGroupOfDeathTest, AMissingCaseIsRefusedWhenTheGroupIsBuilt) {
  std::vector<std::string> log;
  CaseA a("a", &log);
  CaseB* missing = nullptr;
  EXPECT_DEATH(PostselectGroupOf("g", &a, missing), "Assertion failed: every case != nullptr");
}

}  // namespace

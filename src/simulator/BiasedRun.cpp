// The importance-sampling firing loop and its likelihood ratio.
//
// Why the ratio is exact: a path's density under either measure is the
// product, over the pieces of every delay, of an exponential density (a
// piece that completes) or survival function (a piece cut short), times the
// probability of every case chosen. A biased delay of rate λ′ = m·λ that
// completes after τ contributes log(λ/λ′) − (λ − λ′)τ; one cut short after τ
// contributes −(λ − λ′)τ; a case contributes log(p/p′). Deterministic and
// instantaneous delays and tie breaks are the same under both measures.
#include "simulator/BiasedRun.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <sstream>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/BaseModelClass.h"
#include "BaseClasses/PostselectGroup.h"
#include "BaseClasses/SANModel.h"
#include "BaseClasses/state/Place.h"
#include "random/Distributions.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "simulator/Event.h"
#include "simulator/EventList.h"
#include "simulator/SimulatorClass.h"
#include "study/BaseStudyClass.h"

namespace {

// The log of the number last asked about. A run's multipliers, weights and
// totals take few values, so most logs the loop needs are the one before.
class RememberedLog {
 public:
  double Of(double value) {
    if (!(value == number_)) {
      number_ = value;
      log_ = std::log(value);
    }
    return log_;
  }

 private:
  double number_ = std::numeric_limits<double>::quiet_NaN();
  double log_ = std::numeric_limits<double>::quiet_NaN();
};

}  // namespace

struct BiasedRun::GroupBias {
  int rateTarget = -1;                // rate rules' target, -1 when none
  std::string name;                   // the activity's name, for run errors
  BaseActionClass* timing = nullptr;  // the action whose Rate() is the group's
  std::vector<int> caseTargets;       // per member: weight rules' target, or -1
  bool weighted = false;              // some member has weight rules
  // The multipliers at the current marking, while known: they are forgotten
  // when an action that changes a place their rules read fires.
  bool rateKnown = false;
  double rateMultiplier = 1.0;
  int rateLine = 0;  // of the rule that gave it, 0 when none held
  bool weightsKnown = false;
  std::vector<double> weightMultipliers;  // per member; NaN: not evaluated yet
  // The pending biased delay.
  bool pending = false;
  double plainRate = 0.0;  // the rate its plain draw was made with
  double rateGap = 0.0;  // λ − λ′
  double multiplier = 1.0;
  double scheduledAt = 0.0;
  // Logs of the ratio terms: of the multiplier, of each member's plain and
  // biased weight, of the plain and biased totals.
  RememberedLog multiplierLog;
  std::vector<RememberedLog> weightLogs;
  std::vector<RememberedLog> biasedWeightLogs;
  RememberedLog plainTotalLog;
  RememberedLog biasedTotalLog;
};

namespace {

// Every atomic model below `model`, in tree order.
void CollectSANs(BaseModelClass* model, std::vector<SANModel*>& out) {
  if (model == nullptr) return;
  if (model->GetModelType() == 1) {
    out.push_back(static_cast<SANModel*>(model));
    return;
  }
  for (int i = 0; i < model->GetNumberOfChildren(); ++i) CollectSANs(model->GetChild(i), out);
}

const char* DescribeDelay(Distribution type) {
  switch (type) {
    case DETERMINISTIC: return "a deterministic activity";
    case INSTANTANEOUS: return "an instantaneous activity";
    default: return "an activity whose delay is not exponential";
  }
}

// −ln(u) for a positive normal u to within 3e-9 of itself: with u = m·2^e,
// m in [√½, √2), ln m = 2 atanh(s), s = (m − 1)/(m + 1), |s| ≤ 0.172, whose
// series cut after s^9 is off by at most s^10/11 of itself; near u = 1
// (e = 0) the relative error stays that of ln m. Anything else gives a
// value of no use, which the caller's test then refuses.
double MinusLogNear(double u) {
  constexpr uint64_t kMantissa = (uint64_t{1} << 52) - 1;
  constexpr uint64_t kOneExponent = uint64_t{1023} << 52;
  constexpr double kSqrt2 = 1.4142135623730951;
  constexpr double kLn2 = 0.6931471805599453;
  const auto bits = std::bit_cast<uint64_t>(u);
  auto e = static_cast<int64_t>(bits >> 52) - 1023;
  double m = std::bit_cast<double>((bits & kMantissa) | kOneExponent);
  if (m > kSqrt2) {
    m *= 0.5;
    ++e;
  }
  const double s = (m - 1.0) / (m + 1.0);
  const double s2 = s * s;
  const double tail = s2 * (1.0 / 3 + s2 * (1.0 / 5 + s2 * (1.0 / 7 + s2 * (1.0 / 9))));
  return -(2.0 * s + 2.0 * s * tail + static_cast<double>(e) * kLn2);
}

// How close Rate() must come to the rate of the draw to stand for it.
constexpr double kRateAgreement = 1e-8;

// The log of the largest double: exp() of anything above it is ∞.
const double kLargestLogRatio = std::log(std::numeric_limits<double>::max());

std::string FormatValue(double value) {
  std::ostringstream out;
  out.precision(17);
  out << value;
  return out.str();
}

// Every global variable, whatever its type, at the value this run gives it.
void AddGlobals(BaseStudyClass& study, MeasureVocabulary& v) {
  for (int i = 0; i < study.GetNumGVs(); ++i) v.globals.emplace_back(study.GetGVName(i), study.GetGVNumber(i));
}

// Places: qualified always; unqualified when every place of that name is
// the same (shared) place.
void AddPlaces(BaseModelClass* top, MeasureVocabulary& v) {
  std::vector<SANModel*> sans;
  CollectSANs(top, sans);
  std::vector<std::pair<std::string, Place*>> plain;
  for (SANModel* san : sans)
    for (int p = 0; p < san->numPlaces(); ++p) {
      auto* place = dynamic_cast<Place*>(san->places[static_cast<size_t>(p)]);
      if (place == nullptr) continue;
      v.places.emplace_back(std::string(san->name) + "." + place->name, &place->Mark);
      plain.emplace_back(place->name, place);
    }
  for (size_t i = 0; i < plain.size(); ++i) {
    bool first = true, single = true;
    for (size_t j = 0; j < plain.size(); ++j) {
      if (plain[j].first != plain[i].first) continue;
      if (j < i) first = false;
      if (plain[j].second->Mark != plain[i].second->Mark) single = false;
    }
    if (first && single) v.places.emplace_back(plain[i].first, &plain[i].second->Mark);
  }
}

}  // namespace

BiasedRun::BiasedRun(SimulatorClass& sim, const std::string& fileName, const std::string& text)
    : sim_(sim) {
  groupBias_.resize(static_cast<size_t>(std::max(sim_.NumGroups(), 0)));
  const MeasureVocabulary vocabulary = BuildVocabulary();
  measure_ = std::make_unique<ChangeOfMeasure>(fileName, text, vocabulary);
  BindGroups();
  BindWatchers();
  logWeights_.assign(static_cast<size_t>(sim_.pvModel->NumNodes), 0.0);
  weighed_.assign(logWeights_.size(), false);
}

BiasedRun::~BiasedRun() = default;

// --- Binding ------------------------------------------------------------------------

MeasureVocabulary BiasedRun::BuildVocabulary() {
  MeasureVocabulary v;
  AddGlobals(*sim_.study, v);
  AddPlaces(sim_.pvModel->TopModel, v);
  // Activities: a group of cases by its name with or without "Group", a
  // single activity by its name; cases by theirs, numbered in model order.
  int caseCount = 0;
  for (int32_t g = 0; g < sim_.NumGroups(); ++g) {
    BaseGroupClass* group = sim_.groups[g];
    GroupBias& bias = groupBias_[static_cast<size_t>(g)];
    const bool ofCases = dynamic_cast<PostselectGroup*>(group) != nullptr && group->numMembers > 0;
    bias.name = group->name;
    bias.timing = ofCases ? group->members[0] : group;
    std::vector<std::string> spellings{group->name};
    const std::string suffix = "Group";
    const std::string& name = bias.name;
    if (ofCases && name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      spellings.push_back(name.substr(0, name.size() - suffix.size()));
    for (const std::string& s : spellings) {
      if (bias.timing->distributionType == EXPONENTIAL)
        v.rateTargets.emplace_back(s, g);
      else
        v.otherActions.emplace_back(s, DescribeDelay(bias.timing->distributionType));
    }
    if (!ofCases) continue;
    bias.weightMultipliers.resize(static_cast<size_t>(group->numMembers));
    bias.weightLogs.resize(static_cast<size_t>(group->numMembers));
    bias.biasedWeightLogs.resize(static_cast<size_t>(group->numMembers));
    for (int32_t m = 0; m < group->numMembers; ++m) {
      bias.caseTargets.push_back(caseCount);
      v.caseTargets.emplace_back(group->members[m]->name, caseCount++);
    }
  }
  return v;
}

// Only targets with rules are biased; the others keep the plain step.
void BiasedRun::BindGroups() {
  for (int32_t g = 0; g < sim_.NumGroups(); ++g) {
    GroupBias& bias = groupBias_[static_cast<size_t>(g)];
    if (measure_->HasRateRules(g)) bias.rateTarget = g;
    for (int& target : bias.caseTargets) {
      if (!measure_->HasWeightRules(target)) target = -1;
      bias.weighted = bias.weighted || target >= 0;
    }
  }
}

// A rule may read places its activity's enabling does not. The groups
// whose rate or weight rules read a place are listed under every action
// that changes it: the step forgets their multipliers after that action
// fires, and looks at their rates as it looks at the groups of the action's
// affects list.
void BiasedRun::BindWatchers() {
  watchers_.assign(static_cast<size_t>(BaseActionClass::MaxID) + 1, {});
  const int actionCount = sim_.actionList->getNumItems();
  for (int32_t g = 0; g < sim_.NumGroups(); ++g) {
    const std::vector<short* const*> read = PlacesReadBy(groupBias_[static_cast<size_t>(g)]);
    if (read.empty()) continue;
    for (int a = 0; a < actionCount; ++a) {
      BaseActionClass* action = sim_.actions[a];
      bool changes = false;
      for (int s = 0; s < action->affectedSVs.getNumItems(); ++s) {
        auto* place = dynamic_cast<Place*>(action->affectedSVs.getItem(s));
        for (short* const* mark : read) changes = changes || (place != nullptr && *mark == place->Mark);
      }
      std::vector<int>& list = watchers_[static_cast<size_t>(action->actionId)];
      if (changes && std::find(list.begin(), list.end(), g) == list.end()) list.push_back(g);
    }
  }
}

std::vector<short* const*> BiasedRun::PlacesReadBy(const GroupBias& bias) const {
  std::vector<short* const*> read = measure_->PlacesReadByRate(bias.rateTarget);
  for (int target : bias.caseTargets)
    for (short* const* mark : measure_->PlacesReadByWeight(target))
      if (std::find(read.begin(), read.end(), mark) == read.end()) read.push_back(mark);
  return read;
}

BiasedRun::GroupBias& BiasedRun::BiasOf(BaseActionClass* group) {
  return groupBias_[static_cast<size_t>(group->eventSlot - sim_.groupRecords)];
}

// --- Multipliers --------------------------------------------------------------------

void BiasedRun::FailRun(int line, const char* kind, const char* name, double value, const char* why) const {
  std::cerr << "ERROR: " << measure_->FileName() << ":" << line << ": " << kind << " multiplier of " << name
            << " evaluated to " << FormatValue(value) << "; " << why << std::endl;
  std::exit(1);
}

void BiasedRun::FailBiasedRate(const GroupBias& bias, double plainRate, double multiplier) const {
  const std::string why =
      "multiplied by the activity's rate " + FormatValue(plainRate) + " it is not a finite number";
  FailRun(bias.rateLine, "rate", bias.name.c_str(), multiplier, why.c_str());
}

// Most look-ups find the multiplier known; only the others pay for a call.
inline double BiasedRun::RateMultiplier(GroupBias& bias) const {
  return bias.rateKnown ? bias.rateMultiplier : EvaluateRateMultiplier(bias);
}

double BiasedRun::EvaluateRateMultiplier(GroupBias& bias) const {
  const ChangeOfMeasure::Multiplier m = measure_->RateMultiplier(bias.rateTarget);
  if (!(m.value > 0.0) || !std::isfinite(m.value))
    FailRun(m.line, "rate", bias.name.c_str(), m.value);
  bias.rateKnown = true;
  bias.rateMultiplier = m.value;
  bias.rateLine = m.line;
  return m.value;
}

// Only the cases the step weighs are evaluated, as a multiplier that cannot
// be used is never judged; an unknown one is NaN, which no valid one is.
double BiasedRun::CaseMultiplier(GroupBias& bias, int32_t m, const BaseActionClass* member) const {
  if (!bias.weightsKnown) {
    std::fill(bias.weightMultipliers.begin(), bias.weightMultipliers.end(),
              std::numeric_limits<double>::quiet_NaN());
    bias.weightsKnown = true;
  }
  double& multiplier = bias.weightMultipliers[static_cast<size_t>(m)];
  if (std::isnan(multiplier)) multiplier = WeightMultiplier(bias.caseTargets[static_cast<size_t>(m)], member);
  return multiplier;
}

void BiasedRun::ForgetMultipliers(const BaseActionClass* fired) {
  if (fired == nullptr) return;
  for (int g : watchers_[static_cast<size_t>(fired->actionId)]) {
    GroupBias& bias = groupBias_[static_cast<size_t>(g)];
    bias.rateKnown = false;
    bias.weightsKnown = false;
  }
}

// A case the plain run can choose must stay possible in the biased run, or
// its estimate would miss those paths.
double BiasedRun::WeightMultiplier(int caseTarget, const BaseActionClass* member) const {
  const ChangeOfMeasure::Multiplier m = measure_->WeightMultiplier(caseTarget);
  if (!(m.value > 0.0) || !std::isfinite(m.value))
    FailRun(m.line, "weight", member->name, m.value);
  return m.value;
}

// --- Ratio bookkeeping ----------------------------------------------------------------

// A delay drawn with multiplier 1 has the same law under both measures and
// weighs nothing, whatever its rate. Any other must keep λ − λ′ finite: the
// drift sums add it in and take it out again, and ∞ − ∞ is no number.
inline void BiasedRun::MarkPending(GroupBias& bias, double plainRate, double multiplier) {
  const double gap = multiplier == 1.0 ? 0.0 : plainRate - multiplier * plainRate;
  if (!std::isfinite(gap)) [[unlikely]] FailBiasedRate(bias, plainRate, multiplier);
  bias.pending = true;
  bias.plainRate = plainRate;
  bias.multiplier = multiplier;
  bias.rateGap = gap;
  bias.scheduledAt = sim_.currentTime;
  driftRate_ += bias.rateGap;
  driftWeighted_ += bias.rateGap * bias.scheduledAt;
}

void BiasedRun::Unpend(GroupBias& bias) {
  driftRate_ -= bias.rateGap;
  driftWeighted_ -= bias.rateGap * bias.scheduledAt;
  bias.pending = false;
}

void BiasedRun::CutShort(GroupBias& bias) {
  if (!bias.pending) return;
  logRatio_ -= bias.rateGap * (sim_.currentTime - bias.scheduledAt);
  Unpend(bias);
}

void BiasedRun::Completed(GroupBias& bias) {
  if (!bias.pending) return;
  logRatio_ += -bias.multiplierLog.Of(bias.multiplier) - bias.rateGap * (sim_.currentTime - bias.scheduledAt);
  Unpend(bias);
}

// --- Replication --------------------------------------------------------------------

void BiasedRun::StartReplication() {
  logRatio_ = driftRate_ = driftWeighted_ = 0.0;
  // The marking was set afresh.
  for (GroupBias& bias : groupBias_) bias.pending = bias.rateKnown = bias.weightsKnown = false;
  std::fill(weighed_.begin(), weighed_.end(), false);
  std::fill(logWeights_.begin(), logWeights_.end(), 0.0);
  UpdateNextObservation();
}

int16_t BiasedRun::GenerateCompleteEventList() {
  for (int32_t i = 0; i < sim_.enabledCount; ++i) {
    sim_.currentGroup = sim_.enabledList[i];
    // Refreshes the enabling the group records for EnablingChange().
    sim_.currentGroup->Enabled();
    ScheduleGroup(sim_.currentGroup);
  }
  return 0;
}

void BiasedRun::RunUntil(double endTime) {
  while (sim_.currentTime <= endTime)
    if (!FireNext()) break;
}

void BiasedRun::FinishReplication(double endTime) {
  for (size_t i = 0; i < weighed_.size(); ++i) {
    if (weighed_[i]) continue;
    const double stop = sim_.pvModel->Nodes[i]->StopTime;
    logWeights_[i] = LogRatioAt(std::min(stop, endTime));
    weighed_[i] = true;
  }
  horizonLogRatio_ = LogRatioAt(endTime);
  for (size_t i = 0; i < weighed_.size(); ++i)
    RefuseUnrepresentable(logWeights_[i], std::min(sim_.pvModel->Nodes[i]->StopTime, endTime));
  RefuseUnrepresentable(horizonLogRatio_, endTime);
  const double ratio = std::exp(horizonLogRatio_);
  ++replications_;
  ratioSum_ += ratio;
  ratioSquares_ += ratio * ratio;
}

// A ratio beyond the largest double would weigh a zero reward as 0 × ∞.
// It comes from a path the change of measure makes far rarer than the
// plain model does, which no estimate can rest on.
void BiasedRun::RefuseUnrepresentable(double logRatio, double time) const {
  if (logRatio <= kLargestLogRatio) return;
  std::cerr << "ERROR: " << measure_->FileName() << ": the likelihood ratio at t = "
            << FormatValue(time) << " is exp(" << FormatValue(logRatio)
            << "), beyond the range of a double; the change of measure makes a path of the plain "
               "model far too rare"
            << std::endl;
  std::exit(1);
}

double BiasedRun::ObservationWeight(int variable) const {
  return std::exp(logWeights_[static_cast<size_t>(variable)]);
}

void BiasedRun::PrintRatioSummary(std::ostream& out) const {
  if (replications_ == 0) return;
  const double n = static_cast<double>(replications_);
  const double mean = ratioSum_ / n;
  const double variance = replications_ > 1 ? std::max(0.0, (ratioSquares_ - n * mean * mean) / (n - 1)) : 0.0;
  out << "Likelihood ratio at the horizon: mean " << FormatValue(mean) << ", standard error "
      << FormatValue(std::sqrt(variance / n)) << ", replications " << replications_ << std::endl;
}

// A variable completes at the first firing after its observation time; no
// firing came between, so the ratio at that time is the one held now with
// the survival of the pending delays up to it.
void BiasedRun::WeighCompletedVariables() {
  for (size_t i = 0; i < weighed_.size(); ++i) {
    const PerformanceVariableNode* node = sim_.pvModel->Nodes[i];
    if (weighed_[i] || node->Status != 2) continue;
    logWeights_[i] = LogRatioAt(node->StopTime);
    weighed_[i] = true;
  }
  UpdateNextObservation();
}

void BiasedRun::UpdateNextObservation() {
  nextObservation_ = HUGE_VAL;
  for (size_t i = 0; i < weighed_.size(); ++i)
    if (!weighed_[i]) nextObservation_ = std::min(nextObservation_, sim_.pvModel->Nodes[i]->StopTime);
}

// --- The firing step ------------------------------------------------------------------

bool BiasedRun::FireNext() {
  BaseGroupClass* group = sim_.currentGroup;
  sim_.eventList->Remove(sim_.currentHandle);
  sim_.pvModel->Accumulate(sim_.currentTime);
  if (sim_.currentTime > nextObservation_) WeighCompletedVariables();
  GroupBias& bias = BiasOf(group);
  Completed(bias);
  sim_.lastFired = bias.weighted ? FireWithBiasedCases(group, bias)
                                 : sim_.pvModel->FireAction(group, sim_.currentTime);
  ++sim_.actionsFired;
  if (LeftMarkingQuiet(group, bias, sim_.lastFired)) {
    ScheduleGroup(group);
  } else {
    ForgetMultipliers(sim_.lastFired);
    if (!sim_.reactivationList.empty()) CheckReactivationList();
    RemoveAffected(sim_.lastFired);
    InsertAffected(sim_.lastFired);
    ResampleChangedRates(sim_.lastFired);
  }
  group->enabledAfterFiring = false;
  sim_.currentHandle = sim_.eventList->Earliest();
  if (sim_.currentHandle == nullptr) return false;
  sim_.currentTime = (*sim_.currentHandle)->time;
  sim_.currentGroup = static_cast<BaseGroupClass*>((*sim_.currentHandle)->action);
  return true;
}

// As in the plain step: a firing that left the marking as it was, of an
// action whose affects list is quiet and holds its own group, changes no
// enabling and no multiplier, so the passes over the list would only
// schedule the fired group again. A case fired directly, not through its
// group, says so by its declaration instead of by the group's mark.
bool BiasedRun::LeftMarkingQuiet(BaseGroupClass* group, const GroupBias& bias,
                                 const BaseActionClass* fired) const {
  if (fired == nullptr || fired->quietOwnGroup != group || !sim_.reactivationList.empty()) return false;
  return bias.weighted ? fired->leavesMarking && group->enablingFromMarking : group->enabledAfterFiring;
}

// The plain draw divided by the multiplier: an exponential draw of rate λ
// over m is one of rate m·λ, and with m = 1 the delay is the plain one to
// the bit.
double BiasedRun::SampleBiasedDelay(BaseGroupClass* group) {
  GroupBias& bias = BiasOf(group);
  if (bias.rateTarget < 0) return group->SampleDistribution();
  const double uniform = TheDistribution->PeekUniform();
  const double delay = group->SampleDistribution();
  const double multiplier = RateMultiplier(bias);
  MarkPending(bias, SampledRate(bias, uniform, delay), multiplier);
  return delay / multiplier;
}

// The model's exponential draw of rate λ turned the uniform u into the
// delay −ln(u)/λ, so the rate it used is −ln(u)/delay. Rate() is a second
// account of it that the plain step never asks for. It is taken when it
// gives that delay to a part in 10^8 (a rate that close changes no
// estimate), so that the ratio has the same bits whichever way a model
// that keeps the two in agreement is read; the test needs no exact log.
// A draw that tells nothing (u at 0 or 1) leaves Rate().
double BiasedRun::SampledRate(const GroupBias& bias, double uniform, double delay) const {
  const double declared = bias.timing->Rate();
  const double exposure = declared * delay;
  if (std::fabs(exposure - MinusLogNear(uniform)) <= kRateAgreement * exposure) return declared;
  const double sampled = -std::log(uniform) / delay;
  return std::isfinite(sampled) ? sampled : declared;
}

void BiasedRun::ScheduleGroup(BaseGroupClass* group) {
  const double time = sim_.currentTime + SampleBiasedDelay(group);
  if (!group->neverWatched && group->ReactivationPredicate()) {
    GroupRecord* record = group->eventSlot;
    group->reactivation = true;
    record->position = sim_.reactivationList.PushFront(&record->entry, group);
    record->notInReactivationList = false;
  }
  sim_.eventList->Insert(time, sim_.currentTime, group);
}

// Resampling a pending exponential delay is valid because the delay is
// memoryless: given that it has not completed, its residual plain delay is
// again exponential with the same rate, so cutting it short and drawing
// afresh leaves the plain law of the path unchanged, and the ratio of the
// densities of the two pieces is the product of the pieces' ratios.
void BiasedRun::ResampleInPlace(BaseGroupClass* group) {
  CutShort(BiasOf(group));
  MoveEvent(group, SampleBiasedDelay(group));
}

void BiasedRun::MoveEvent(BaseGroupClass* group, double delay) {
  Event* event = *group->eventSlot->handle;
  event->time = sim_.currentTime + delay;
  event->scheduledAt = sim_.currentTime;
  sim_.eventList->ModifyKey(group->eventSlot->handle);
}

// The plain process goes on with the delay it drew, at the rate it drew it
// with, until the group is sampled again; the marking that changed the
// multiplier may have changed the model's rate too. So the rest of the
// delay is drawn again at the rate in force, with the new multiplier: by
// the memorylessness above the plain law of the path is unchanged.
void BiasedRun::RedrawWithNewMultiplier(BaseGroupClass* group, GroupBias& bias) {
  const double plainRate = bias.plainRate;
  CutShort(bias);
  const double multiplier = RateMultiplier(bias);
  MarkPending(bias, plainRate, multiplier);
  MoveEvent(group, TheDistribution->Exponential(plainRate) / multiplier);
}

void BiasedRun::CheckReactivationList() {
  ReactivationEntry* entry = sim_.reactivationList.front();
  while (entry != nullptr) {
    ReactivationEntry* next = entry->next;
    BaseGroupClass* group = entry->group;
    GroupRecord* record = group->eventSlot;
    auto drop = [&] {
      record->notInReactivationList = true;
      group->reactivation = false;
      sim_.reactivationList.Erase(record->position);
      record->position = nullptr;
    };
    if (record->handle == nullptr) {
      drop();
    } else if (!group->Enabled()) {
      CutShort(BiasOf(group));
      sim_.eventList->Remove(record->handle);
      drop();
    } else if (group->ReactivationFunction()) {
      ResampleInPlace(group);
      drop();
      if (group->ReactivationPredicate()) {
        group->reactivation = true;
        record->notInReactivationList = false;
        record->position = sim_.reactivationList.PushFront(&record->entry, group);
      }
    }
    entry = next;
  }
}

void BiasedRun::RemoveAffected(BaseActionClass* fired) {
  for (AffectsListNode* node = fired ? fired->affectsList : nullptr; node; node = node->next) {
    BaseGroupClass* group = node->group;
    GroupRecord* record = group->eventSlot;
    if (record->handle == nullptr) continue;
    if (group->EnablingChange() || (group->reactivation && group->ReactivationFunction())) {
      group->reactivation = false;
      CutShort(BiasOf(group));
      sim_.eventList->Remove(record->handle);
      if (!record->notInReactivationList) {
        sim_.reactivationList.Erase(record->position);
        record->position = nullptr;
        record->notInReactivationList = true;
      }
    }
  }
}

void BiasedRun::InsertAffected(BaseActionClass* fired) {
  for (AffectsListNode* node = fired ? fired->affectsList : nullptr; node; node = node->next) {
    BaseGroupClass* group = node->group;
    if (group->eventSlot->handle != nullptr) {
      if (!group->enablingFromMarking) group->Enabled();
      continue;
    }
    if (group->enabledAfterFiring || group->Enabled()) ScheduleGroup(group);
  }
}

void BiasedRun::ResampleChangedRates(BaseActionClass* fired) {
  if (fired == nullptr) return;
  for (int g : watchers_[static_cast<size_t>(fired->actionId)]) {
    GroupBias& bias = groupBias_[static_cast<size_t>(g)];
    if (bias.rateTarget < 0 || !bias.pending) continue;
    if (RateMultiplier(bias) == bias.multiplier) continue;
    RedrawWithNewMultiplier(sim_.groups[g], bias);
  }
}

// The group's own selection with the biased weights: the same uniform, the
// same table of enabled cases of the highest rank in member order and the
// same search, so that with every multiplier 1 the same case is chosen.
BaseActionClass* BiasedRun::FireWithBiasedCases(BaseGroupClass* group, GroupBias& bias) {
  const double u = TheDistribution->NextUniform();
  caseScratch_.clear();
  int maxRank = 0;
  for (int32_t m = 0; m < group->numMembers; ++m) {
    BaseActionClass* member = group->members[m];
    if (!member->Enabled()) continue;
    const int rank = member->Rank();
    if (caseScratch_.empty() || rank > maxRank) {
      caseScratch_.clear();
      maxRank = rank;
    } else if (rank < maxRank) {
      continue;
    }
    const double weight = member->Weight();
    const int target = bias.caseTargets[static_cast<size_t>(m)];
    // A case the plain run never chooses stays impossible.
    const double biased =
        target >= 0 && weight > 0.0 ? weight * CaseMultiplier(bias, m, member) : weight;
    caseScratch_.push_back({member, m, weight, biased, 0.0});
  }
  if (caseScratch_.empty()) {
    sim_.pvModel->LastActionTime = sim_.currentTime;
    sim_.pvModel->LastFiredAction = nullptr;
    return nullptr;
  }
  double plainTotal = 0.0;
  double biasedTotal = 0.0;
  for (size_t k = 0; k < caseScratch_.size(); ++k) {
    plainTotal = k == 0 ? caseScratch_[k].weight : plainTotal + caseScratch_[k].weight;
    biasedTotal = k == 0 ? caseScratch_[k].biasedWeight : biasedTotal + caseScratch_[k].biasedWeight;
    caseScratch_[k].cumulative = biasedTotal;
  }
  const double x = u * biasedTotal;
  size_t lo = 0;
  size_t hi = caseScratch_.size() - 1;
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (caseScratch_[mid].cumulative <= x) lo = mid + 1; else hi = mid;
  }
  const CaseEntry& chosen = caseScratch_[lo];
  const auto index = static_cast<size_t>(chosen.index);
  if (chosen.biasedWeight > 0.0 && chosen.weight > 0.0)
    logRatio_ += bias.weightLogs[index].Of(chosen.weight) - bias.plainTotalLog.Of(plainTotal) -
                 bias.biasedWeightLogs[index].Of(chosen.biasedWeight) +
                 bias.biasedTotalLog.Of(biasedTotal);
  return sim_.pvModel->FireAction(chosen.member, sim_.currentTime);
}

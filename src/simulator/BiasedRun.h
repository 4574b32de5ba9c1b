// Importance sampling of terminating replications: a firing loop of its own
// that samples exponential delays and chooses cases under a change of
// measure, and keeps the exact likelihood ratio of the path (in log space)
// so that every observation can be weighted back to the plain measure.
// It works on the simulator's event list, group records and model; it owns
// the change of measure, the per-group bias state and the observation
// weights. Invariants between firings: a group's bias state is pending
// exactly while a biased delay of the group is scheduled; driftRate_ and
// driftWeighted_ are the sums, over pending biased delays, of (λ − λ′) and
// (λ − λ′)·scheduledAt, each finite, λ being the rate the model's draw of
// that delay was made with; logRatio_ holds the contributions of every firing,
// case choice and cut-short delay of the replication so far; a multiplier
// a group holds as known is the one its rules give at the current marking.
// With every multiplier 1 the loop makes the plain step's calls in the
// plain order, so the random stream and the observations are those of plain
// simulation.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "simulator/ChangeOfMeasure.h"

class BaseActionClass;
class BaseGroupClass;
class SimulatorClass;

class BiasedRun {
 public:
  // Binds the change of measure in `text` (read from `fileName`) to the
  // simulator's model, whose global variables must already be set; throws
  // MeasureError.
  BiasedRun(SimulatorClass& sim, const std::string& fileName, const std::string& text);
  ~BiasedRun();
  BiasedRun(const BiasedRun&) = delete;
  BiasedRun& operator=(const BiasedRun&) = delete;

  // The pieces of one replication, in place of the plain ones: reset of the
  // ratio, the initial events, the firings up to endTime, and the weights
  // of the observations still open after EndAccumulate(endTime). A weight
  // beyond the range of a double ends the run with a fatal error.
  void StartReplication();
  int16_t GenerateCompleteEventList();
  void RunUntil(double endTime);
  void FinishReplication(double endTime);

  // exp(log ratio at the observation time of variable i) for the replication
  // just finished.
  double ObservationWeight(int variable) const;
  // The log ratio of the whole replication, up to endTime.
  double HorizonLogRatio() const { return horizonLogRatio_; }
  // Mean and standard error of the horizon ratio over the replications so
  // far; a mean far from 1 shows a change of measure that misses paths.
  void PrintRatioSummary(std::ostream& out) const;

  // The log ratio the path has accumulated up to time t (not before the
  // last firing): the firings so far and the survival of every pending
  // biased delay up to t.
  double LogRatioAt(double t) const { return logRatio_ - (driftRate_ * t - driftWeighted_); }

 private:
  struct GroupBias;
  struct CaseEntry {
    BaseActionClass* member;
    int32_t index;        // in the group's members
    double weight;        // plain weight
    double biasedWeight;  // weight times its multiplier
    double cumulative;    // running sum of the biased weights up to this case
  };

  MeasureVocabulary BuildVocabulary();
  void BindGroups();
  void BindWatchers();
  GroupBias& BiasOf(BaseActionClass* group);

  // One firing, as the plain step makes it.
  bool FireNext();
  bool LeftMarkingQuiet(BaseGroupClass* group, const GroupBias& bias,
                        const BaseActionClass* fired) const;
  void ScheduleGroup(BaseGroupClass* group);
  // The delay of the group under the measure, its bias state set pending.
  double SampleBiasedDelay(BaseGroupClass* group);
  // The rate of the model's exponential draw that turned `uniform` into
  // `delay`.
  double SampledRate(const GroupBias& bias, double uniform, double delay) const;
  void CheckReactivationList();
  void RemoveAffected(BaseActionClass* fired);
  void InsertAffected(BaseActionClass* fired);
  // Scheduled groups whose rate multiplier the firing changed get the rest
  // of their delay drawn again with the new one.
  void ResampleChangedRates(BaseActionClass* fired);
  void RedrawWithNewMultiplier(BaseGroupClass* group, GroupBias& bias);
  // The group's event, as the plain step resamples it for reactivation.
  void ResampleInPlace(BaseGroupClass* group);
  void MoveEvent(BaseGroupClass* group, double delay);
  BaseActionClass* FireWithBiasedCases(BaseGroupClass* group, GroupBias& bias);

  // Ratio bookkeeping of a biased delay.
  void MarkPending(GroupBias& bias, double plainRate, double multiplier);
  void CutShort(GroupBias& bias);
  void Completed(GroupBias& bias);
  void Unpend(GroupBias& bias);

  double RateMultiplier(GroupBias& bias) const;
  double EvaluateRateMultiplier(GroupBias& bias) const;
  double WeightMultiplier(int caseTarget, const BaseActionClass* member) const;
  double CaseMultiplier(GroupBias& bias, int32_t m, const BaseActionClass* member) const;
  // After `fired` fires: the multipliers whose rules read what it changed.
  void ForgetMultipliers(const BaseActionClass* fired);
  std::vector<short* const*> PlacesReadBy(const GroupBias& bias) const;
  // The fatal run error "FILE:LINE: <kind> multiplier of <name> evaluated
  // to <value>; <why>". Out of line, so that the loop's paths that can
  // fail build no message.
  [[noreturn, gnu::cold, gnu::noinline]] void FailRun(
      int line, const char* kind, const char* name, double value,
      const char* why = "a multiplier must be a positive finite number") const;
  // Kept out of line: the loop checks every biased rate.
  [[noreturn, gnu::cold, gnu::noinline]] void FailBiasedRate(const GroupBias& bias, double plainRate,
                                                             double multiplier) const;
  // Ends the run when exp(logRatio), the ratio at `time`, is beyond a double.
  void RefuseUnrepresentable(double logRatio, double time) const;

  // Observation weights of the variables that completed at this firing.
  void WeighCompletedVariables();
  void UpdateNextObservation();

  SimulatorClass& sim_;
  std::unique_ptr<ChangeOfMeasure> measure_;
  std::vector<GroupBias> groupBias_;          // per group index
  std::vector<std::vector<int>> watchers_;    // per actionId: groups whose rules read what it changes
  std::vector<CaseEntry> caseScratch_;        // enabled cases of the group firing
  std::vector<double> logWeights_;            // per variable
  std::vector<bool> weighed_;                 // per variable, this replication
  double nextObservation_ = 0.0;              // earliest open observation time
  double logRatio_ = 0.0;
  double driftRate_ = 0.0;
  double driftWeighted_ = 0.0;
  double horizonLogRatio_ = 0.0;
  // Horizon ratio statistics.
  int64_t replications_ = 0;
  double ratioSum_ = 0.0;
  double ratioSquares_ = 0.0;
};

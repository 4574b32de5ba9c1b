// The flash_system SAN: a flash memory corrupted by single-event upsets and
// functional interrupts and repaired by a power cycle after a fixed delay.
// The model owns its two places, four activities and groups; activities use
// value-cell pointers registered with the places, so they follow the sharing
// of flash_corrupted.
#pragma once

#include <array>

#include "BaseClasses/Activity.h"
#include "BaseClasses/EmptyGroup.h"
#include "BaseClasses/PostselectGroup.h"
#include "BaseClasses/SANModel.h"
#include "BaseClasses/state/Place.h"

// Final, like its activities: nothing derives from the generated classes,
// so their calls to their own operations bind directly.
class flash_systemSAN final : public SANModel {
 public:
  // Upset that leaves the flash working (weight 1 - flash_size / 512).
  class seuActivity_case1 final : public Activity {
   public:
    seuActivity_case1();
    bool Enabled() override;
    double Rate() override;
    double Weight() override;
    int Rank() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* flash_working = nullptr;
    short* flash_working_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};  // the rate
  };

  // Upset that corrupts the flash (weight flash_size / 512).
  class seuActivity_case2 final : public Activity {
   public:
    seuActivity_case2();
    bool Enabled() override;
    double Rate() override;
    double Weight() override;
    int Rank() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* flash_working = nullptr;
    short* flash_working_Mark = nullptr;
    Place* flash_corrupted = nullptr;
    short* flash_corrupted_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};
  };

  // Functional interrupt: corrupts a working flash.
  class sefiActivity final : public Activity {
   public:
    sefiActivity();
    bool Enabled() override;
    // Activity's own change test, with this class's Enabled() bound directly.
    bool EnablingChange() override { return EnablingChangeOfGroup(this); }
    double Rate() override;
    double Weight() override;
    int Rank() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* flash_working = nullptr;
    short* flash_working_Mark = nullptr;
    Place* flash_corrupted = nullptr;
    short* flash_corrupted_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};
  };

  // Deterministic repair after power_cycle_rate time units (a delay, not a
  // rate, despite its name).
  class power_cycleActivity final : public Activity {
   public:
    power_cycleActivity();
    bool Enabled() override;
    // Activity's own change test, with this class's Enabled() bound directly.
    bool EnablingChange() override { return EnablingChangeOfGroup(this); }
    double Rate() override;
    double Weight() override;
    int Rank() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;
    double DeterministicParamValue();

    Place* flash_corrupted = nullptr;
    short* flash_corrupted_Mark = nullptr;
    Place* flash_working = nullptr;
    short* flash_working_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};  // the delay
  };

  flash_systemSAN();
  ~flash_systemSAN() override;

  void assignPlacesToActivitiesTimed();
  void assignPlacesToActivitiesInst() {}
  void CustomInitialization() {}

  // --- Places, in model order (owned) ----------------------------------------
  Place* flash_corrupted = nullptr;
  Place* flash_working = nullptr;

  // --- Activities, in model order (owned) -------------------------------------
  seuActivity_case1* seu_case1 = nullptr;
  seuActivity_case2* seu_case2 = nullptr;
  sefiActivity* sefi = nullptr;
  power_cycleActivity* power_cycle = nullptr;

  // --- Groups (owned); the empty group is built but never handed over --------
  EmptyGroup* ImmediateEmptyGroup = nullptr;
  PostselectGroup* seuGroup = nullptr;
};

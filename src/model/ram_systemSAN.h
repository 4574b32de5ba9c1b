// The ram_system SAN: a memory that suffers bit and page errors, random
// failures and watchdog reboots, and that declares the whole system failed
// when it and the flash are corrupted at the same time. The model owns its
// four places, seven activities and four groups; every activity reads and
// writes markings through value-cell pointers registered with the places,
// so they follow the sharing of flash_corrupted.
#pragma once

#include <array>

#include "BaseClasses/Activity.h"
#include "BaseClasses/PostselectGroup.h"
#include "BaseClasses/PreselectGroup.h"
#include "BaseClasses/SANModel.h"
#include "BaseClasses/state/Place.h"

// Final, like its activities: nothing derives from the generated classes,
// so their calls to their own operations bind directly.
class ram_systemSAN final : public SANModel {
 public:
  // Instantaneous: marks the system failed once flash and memory are both
  // corrupted.
  class failureActivity final : public Activity {
   public:
    failureActivity();
    bool Enabled() override;
    // Activity's own change test, with this class's Enabled() bound directly.
    bool EnablingChange() override { return EnablingChangeOfGroup(this); }
    double Rate() override;
    double Weight() override;
    int Rank() override;
    double SampleDistribution() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* flash_corrupted = nullptr;
    short* flash_corrupted_Mark = nullptr;
    Place* ram_corrupted = nullptr;
    short* ram_corrupted_Mark = nullptr;
    Place* system_failed = nullptr;
    short* system_failed_Mark = nullptr;
  };

  // Deterministic: a corrupted memory is rebooted after a fixed delay.
  class watchdog_rebootActivity final : public Activity {
   public:
    watchdog_rebootActivity();
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

    Place* ram_corrupted = nullptr;
    short* ram_corrupted_Mark = nullptr;
    Place* ram_working = nullptr;
    short* ram_working_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};  // the delay
  };

  // Exponential at random_failure_rate: corrupts a healthy memory.
  class random_failureActivity final : public Activity {
   public:
    random_failureActivity();
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

    Place* ram_corrupted = nullptr;
    short* ram_corrupted_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};  // the rate
  };

  // Bit error that the memory masks (weight 1 - ram_size / 512).
  class bit_errorActivity_case1 final : public Activity {
   public:
    static constexpr bool kLeavesMarking = true;  // Fire() changes no place
    bit_errorActivity_case1();
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

    Place* ram_working = nullptr;
    short* ram_working_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};
  };

  // Bit error that corrupts the memory (weight ram_size / 512).
  class bit_errorActivity_case2 final : public Activity {
   public:
    bit_errorActivity_case2();
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

    Place* ram_working = nullptr;
    short* ram_working_Mark = nullptr;
    Place* ram_corrupted = nullptr;
    short* ram_corrupted_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};
  };

  // Page error that the memory masks (weight 0.75).
  class page_errorActivity_case1 final : public Activity {
   public:
    static constexpr bool kLeavesMarking = true;  // Fire() changes no place
    page_errorActivity_case1();
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

    Place* ram_working = nullptr;
    short* ram_working_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};
  };

  // Page error that corrupts the memory (weight 0.25).
  class page_errorActivity_case2 final : public Activity {
   public:
    page_errorActivity_case2();
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

    Place* ram_working = nullptr;
    short* ram_working_Mark = nullptr;
    Place* ram_corrupted = nullptr;
    short* ram_corrupted_Mark = nullptr;
    std::array<double, 1> TheDistributionParameters{};
  };

  ram_systemSAN();
  ~ram_systemSAN() override;

  // Point every timed (instantaneous) activity at the places it uses.
  void assignPlacesToActivitiesTimed();
  void assignPlacesToActivitiesInst();
  void CustomInitialization() {}

  // --- Places, in model order (owned) ----------------------------------------
  Place* flash_corrupted = nullptr;
  Place* ram_working = nullptr;
  Place* ram_corrupted = nullptr;
  Place* system_failed = nullptr;

  // --- Activities, in model order (owned) -------------------------------------
  failureActivity* failure = nullptr;
  watchdog_rebootActivity* watchdog_reboot = nullptr;
  random_failureActivity* random_failure = nullptr;
  bit_errorActivity_case1* bit_error_case1 = nullptr;
  bit_errorActivity_case2* bit_error_case2 = nullptr;
  page_errorActivity_case1* page_error_case1 = nullptr;
  page_errorActivity_case2* page_error_case2 = nullptr;

  // --- Groups (owned); the first two are built but never handed over ---------
  PreselectGroup* ImmediatePreselectGroup = nullptr;
  PostselectGroup* ImmediatePostselectGroup = nullptr;
  PostselectGroup* bit_errorGroup = nullptr;
  PostselectGroup* page_errorGroup = nullptr;
};

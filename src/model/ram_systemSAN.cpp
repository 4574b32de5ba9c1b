#include "model/ram_systemSAN.h"

#include "BaseClasses/PostselectGroupOf.h"
#include "model/GlobalVariables.h"
#include "random/Distributions.h"

namespace {
// A bit error corrupts the memory with probability ram_size / 512.
constexpr float kPerUnitShare = 0.001953125f;  // 1/512
constexpr double kBitErrorRate = 6.012;
constexpr double kPageErrorRate = 2.95e-06;
constexpr double kWatchdogDelay = 0.00347;
}  // namespace

// --- failure -------------------------------------------------------------------

ram_systemSAN::failureActivity::failureActivity() {
  ActivityInitialize("failure", 4, INSTANTANEOUS, RaceEnabledPolicy, 1, 3, false);
}

bool ram_systemSAN::failureActivity::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *flash_corrupted_Mark > 0 && *ram_corrupted_Mark > 0 && *system_failed_Mark == 0;
  return enabledNow;
}

double ram_systemSAN::failureActivity::Rate() { return 0.0; }
double ram_systemSAN::failureActivity::Weight() { return 1.0; }
int ram_systemSAN::failureActivity::Rank() { return 1; }
double ram_systemSAN::failureActivity::SampleDistribution() { return 0.0; }
bool ram_systemSAN::failureActivity::ReactivationPredicate() { return false; }
bool ram_systemSAN::failureActivity::ReactivationFunction() { return false; }

BaseActionClass* ram_systemSAN::failureActivity::Fire() {
  (*system_failed_Mark)++;
  return this;
}

void ram_systemSAN::failureActivity::LinkVariables() {
  flash_corrupted->registerPointer(&flash_corrupted_Mark);
  ram_corrupted->registerPointer(&ram_corrupted_Mark);
  system_failed->registerPointer(&system_failed_Mark);
}

// --- watchdog_reboot -------------------------------------------------------------

ram_systemSAN::watchdog_rebootActivity::watchdog_rebootActivity() {
  ActivityInitialize("watchdog_reboot", 0, DETERMINISTIC, RaceEnabledPolicy, 2, 1, false);
}

bool ram_systemSAN::watchdog_rebootActivity::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *ram_corrupted_Mark > 0;
  return enabledNow;
}

double ram_systemSAN::watchdog_rebootActivity::Rate() { return 0.0; }
double ram_systemSAN::watchdog_rebootActivity::Weight() { return 1.0; }
int ram_systemSAN::watchdog_rebootActivity::Rank() { return 1; }
double ram_systemSAN::watchdog_rebootActivity::DeterministicParamValue() { return kWatchdogDelay; }
double ram_systemSAN::watchdog_rebootActivity::SampleDistribution() { return kWatchdogDelay; }

double* ram_systemSAN::watchdog_rebootActivity::ReturnDistributionParameters() {
  TheDistributionParameters[0] = DeterministicParamValue();
  return TheDistributionParameters.data();
}

bool ram_systemSAN::watchdog_rebootActivity::ReactivationPredicate() { return false; }
bool ram_systemSAN::watchdog_rebootActivity::ReactivationFunction() { return false; }

BaseActionClass* ram_systemSAN::watchdog_rebootActivity::Fire() {
  *ram_corrupted_Mark = 0;
  *ram_working_Mark = 1;
  return this;
}

void ram_systemSAN::watchdog_rebootActivity::LinkVariables() {
  ram_corrupted->registerPointer(&ram_corrupted_Mark);
  ram_working->registerPointer(&ram_working_Mark);
}

// --- random_failure --------------------------------------------------------------

ram_systemSAN::random_failureActivity::random_failureActivity() {
  ActivityInitialize("random_failure", 1, EXPONENTIAL, RaceEnabledPolicy, 1, 1, false);
}

bool ram_systemSAN::random_failureActivity::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *ram_corrupted_Mark == 0;
  return enabledNow;
}

double ram_systemSAN::random_failureActivity::Rate() { return random_failure_rate; }
double ram_systemSAN::random_failureActivity::Weight() { return 1.0; }
int ram_systemSAN::random_failureActivity::Rank() { return 1; }
double ram_systemSAN::random_failureActivity::SampleDistribution() { return TheDistribution->Exponential(Rate()); }

double* ram_systemSAN::random_failureActivity::ReturnDistributionParameters() {
  TheDistributionParameters[0] = Rate();
  return TheDistributionParameters.data();
}

bool ram_systemSAN::random_failureActivity::ReactivationPredicate() { return false; }
bool ram_systemSAN::random_failureActivity::ReactivationFunction() { return false; }

BaseActionClass* ram_systemSAN::random_failureActivity::Fire() {
  (*ram_corrupted_Mark)++;
  return this;
}

void ram_systemSAN::random_failureActivity::LinkVariables() { ram_corrupted->registerPointer(&ram_corrupted_Mark); }

// --- bit_error, case 1 -------------------------------------------------------------

ram_systemSAN::bit_errorActivity_case1::bit_errorActivity_case1() {
  ActivityInitialize("bit_error_case1", 2, EXPONENTIAL, RaceEnabledPolicy, 1, 1, false);
}

bool ram_systemSAN::bit_errorActivity_case1::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *ram_working_Mark > 0;
  return enabledNow;
}

double ram_systemSAN::bit_errorActivity_case1::Rate() { return kBitErrorRate; }

double ram_systemSAN::bit_errorActivity_case1::Weight() {
  const float weight = 1.0f - kPerUnitShare * ram_size;
  return weight;
}

int ram_systemSAN::bit_errorActivity_case1::Rank() { return 1; }
double ram_systemSAN::bit_errorActivity_case1::SampleDistribution() { return TheDistribution->Exponential(kBitErrorRate); }

double* ram_systemSAN::bit_errorActivity_case1::ReturnDistributionParameters() {
  TheDistributionParameters[0] = kBitErrorRate;
  return TheDistributionParameters.data();
}

bool ram_systemSAN::bit_errorActivity_case1::ReactivationPredicate() { return false; }
bool ram_systemSAN::bit_errorActivity_case1::ReactivationFunction() { return false; }
BaseActionClass* ram_systemSAN::bit_errorActivity_case1::Fire() { return this; }
void ram_systemSAN::bit_errorActivity_case1::LinkVariables() { ram_working->registerPointer(&ram_working_Mark); }

// --- bit_error, case 2 -------------------------------------------------------------

ram_systemSAN::bit_errorActivity_case2::bit_errorActivity_case2() {
  ActivityInitialize("bit_error_case2", 2, EXPONENTIAL, RaceEnabledPolicy, 2, 1, false);
}

bool ram_systemSAN::bit_errorActivity_case2::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *ram_working_Mark > 0;
  return enabledNow;
}

double ram_systemSAN::bit_errorActivity_case2::Rate() { return kBitErrorRate; }

double ram_systemSAN::bit_errorActivity_case2::Weight() {
  const float weight = kPerUnitShare * ram_size;
  return weight;
}

int ram_systemSAN::bit_errorActivity_case2::Rank() { return 1; }
double ram_systemSAN::bit_errorActivity_case2::SampleDistribution() { return TheDistribution->Exponential(kBitErrorRate); }

double* ram_systemSAN::bit_errorActivity_case2::ReturnDistributionParameters() {
  TheDistributionParameters[0] = kBitErrorRate;
  return TheDistributionParameters.data();
}

bool ram_systemSAN::bit_errorActivity_case2::ReactivationPredicate() { return false; }
bool ram_systemSAN::bit_errorActivity_case2::ReactivationFunction() { return false; }

BaseActionClass* ram_systemSAN::bit_errorActivity_case2::Fire() {
  (*ram_working_Mark)--;
  (*ram_corrupted_Mark)++;
  return this;
}

void ram_systemSAN::bit_errorActivity_case2::LinkVariables() {
  ram_working->registerPointer(&ram_working_Mark);
  ram_corrupted->registerPointer(&ram_corrupted_Mark);
}

// --- page_error, case 1 ------------------------------------------------------------

ram_systemSAN::page_errorActivity_case1::page_errorActivity_case1() {
  ActivityInitialize("page_error_case1", 3, EXPONENTIAL, RaceEnabledPolicy, 1, 1, false);
}

bool ram_systemSAN::page_errorActivity_case1::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *ram_working_Mark > 0;
  return enabledNow;
}

double ram_systemSAN::page_errorActivity_case1::Rate() { return kPageErrorRate; }
double ram_systemSAN::page_errorActivity_case1::Weight() { return 0.75; }
int ram_systemSAN::page_errorActivity_case1::Rank() { return 1; }
double ram_systemSAN::page_errorActivity_case1::SampleDistribution() { return TheDistribution->Exponential(kPageErrorRate); }

double* ram_systemSAN::page_errorActivity_case1::ReturnDistributionParameters() {
  TheDistributionParameters[0] = kPageErrorRate;
  return TheDistributionParameters.data();
}

bool ram_systemSAN::page_errorActivity_case1::ReactivationPredicate() { return false; }
bool ram_systemSAN::page_errorActivity_case1::ReactivationFunction() { return false; }
BaseActionClass* ram_systemSAN::page_errorActivity_case1::Fire() { return this; }
void ram_systemSAN::page_errorActivity_case1::LinkVariables() { ram_working->registerPointer(&ram_working_Mark); }

// --- page_error, case 2 ------------------------------------------------------------

ram_systemSAN::page_errorActivity_case2::page_errorActivity_case2() {
  ActivityInitialize("page_error_case2", 3, EXPONENTIAL, RaceEnabledPolicy, 2, 1, false);
}

bool ram_systemSAN::page_errorActivity_case2::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *ram_working_Mark > 0;
  return enabledNow;
}

double ram_systemSAN::page_errorActivity_case2::Rate() { return kPageErrorRate; }
double ram_systemSAN::page_errorActivity_case2::Weight() { return 0.25; }
int ram_systemSAN::page_errorActivity_case2::Rank() { return 1; }
double ram_systemSAN::page_errorActivity_case2::SampleDistribution() { return TheDistribution->Exponential(kPageErrorRate); }

double* ram_systemSAN::page_errorActivity_case2::ReturnDistributionParameters() {
  TheDistributionParameters[0] = kPageErrorRate;
  return TheDistributionParameters.data();
}

bool ram_systemSAN::page_errorActivity_case2::ReactivationPredicate() { return false; }
bool ram_systemSAN::page_errorActivity_case2::ReactivationFunction() { return false; }

BaseActionClass* ram_systemSAN::page_errorActivity_case2::Fire() {
  (*ram_working_Mark)--;
  (*ram_corrupted_Mark)++;
  return this;
}

void ram_systemSAN::page_errorActivity_case2::LinkVariables() {
  ram_working->registerPointer(&ram_working_Mark);
  ram_corrupted->registerPointer(&ram_corrupted_Mark);
}

// --- the model -----------------------------------------------------------------------

ram_systemSAN::ram_systemSAN() {
  failure = new failureActivity();
  watchdog_reboot = new watchdog_rebootActivity();
  random_failure = new random_failureActivity();
  bit_error_case1 = new bit_errorActivity_case1();
  bit_error_case2 = new bit_errorActivity_case2();
  page_error_case1 = new page_errorActivity_case1();
  page_error_case2 = new page_errorActivity_case2();

  ImmediatePreselectGroup = new PreselectGroup();
  ImmediatePostselectGroup = new PostselectGroup();

  bit_errorGroup = new PostselectGroupOf("bit_errorGroup", bit_error_case1, bit_error_case2);
  page_errorGroup = new PostselectGroupOf("page_errorGroup", page_error_case1, page_error_case2);

  flash_corrupted = new Place("flash_corrupted", 0);
  ram_working = new Place("ram_working", 1);
  ram_corrupted = new Place("ram_corrupted", 0);
  system_failed = new Place("system_failed", 0);

  BaseStateVariableClass* InitialPlaces[4] = {flash_corrupted, ram_working, ram_corrupted, system_failed};
  Activity* InitialActions[7] = {failure,         watchdog_reboot,  random_failure,  bit_error_case1,
                                 bit_error_case2, page_error_case1, page_error_case2};
  BaseGroupClass* InitialGroups[5] = {watchdog_reboot, random_failure, bit_errorGroup, page_errorGroup, failure};
  initializeSANModelNow("ram_system", 4, InitialPlaces, 0, nullptr, 7, InitialActions, 5, InitialGroups);
  // Every activity's Enabled() reads the marking and records the answer,
  // each tests a change of its enabling as Activity does, and none is ever
  // reactivated.
  for (BaseGroupClass* group : InitialGroups) {
    group->enablingFromMarking = true;
    group->neverWatched = true;
  }

  assignPlacesToActivitiesInst();
  assignPlacesToActivitiesTimed();

  AddAffectArc(system_failed, failure);
  AddAffectArc(ram_corrupted, watchdog_reboot);
  AddAffectArc(ram_working, watchdog_reboot);
  AddAffectArc(ram_corrupted, random_failure);
  AddAffectArc(ram_working, bit_error_case1);
  AddAffectArc(ram_working, bit_error_case2);
  AddAffectArc(ram_corrupted, bit_error_case2);
  AddAffectArc(ram_working, page_error_case1);
  AddAffectArc(ram_working, page_error_case2);
  AddAffectArc(ram_corrupted, page_error_case2);

  AddEnableArc(flash_corrupted, failure);
  AddEnableArc(ram_corrupted, failure);
  AddEnableArc(system_failed, failure);
  AddEnableArc(ram_corrupted, watchdog_reboot);
  AddEnableArc(ram_corrupted, random_failure);
  AddEnableArc(ram_working, bit_error_case1);
  AddEnableArc(ram_working, bit_error_case2);
  AddEnableArc(ram_working, page_error_case1);
  AddEnableArc(ram_working, page_error_case2);

  for (Activity* activity : InitialActions) activity->LinkVariables();
}

ram_systemSAN::~ram_systemSAN() {
  delete flash_corrupted;
  delete ram_working;
  delete ram_corrupted;
  delete system_failed;
  delete ImmediatePreselectGroup;
  delete ImmediatePostselectGroup;
  delete bit_errorGroup;
  delete page_errorGroup;
  delete failure;
  delete watchdog_reboot;
  delete random_failure;
  delete bit_error_case1;
  delete bit_error_case2;
  delete page_error_case1;
  delete page_error_case2;
}

void ram_systemSAN::assignPlacesToActivitiesInst() {
  failure->flash_corrupted = flash_corrupted;
  failure->ram_corrupted = ram_corrupted;
  failure->system_failed = system_failed;
}

void ram_systemSAN::assignPlacesToActivitiesTimed() {
  watchdog_reboot->ram_corrupted = ram_corrupted;
  watchdog_reboot->ram_working = ram_working;
  random_failure->ram_corrupted = ram_corrupted;
  bit_error_case1->ram_working = ram_working;
  bit_error_case2->ram_working = ram_working;
  bit_error_case2->ram_corrupted = ram_corrupted;
  page_error_case1->ram_working = ram_working;
  page_error_case2->ram_working = ram_working;
  page_error_case2->ram_corrupted = ram_corrupted;
}

#include "model/flash_systemSAN.h"

#include "BaseClasses/PostselectGroupOf.h"
#include "model/GlobalVariables.h"
#include "random/Distributions.h"

namespace {
// An upset corrupts the flash with probability flash_size / 512.
constexpr float kPerUnitShare = 0.001953125f;  // 1/512
constexpr double kUpsetRate = 1.5e-16;
constexpr double kInterruptRate = 0.00274;
}  // namespace

// --- seu, case 1 -------------------------------------------------------------------

flash_systemSAN::seuActivity_case1::seuActivity_case1() {
  ActivityInitialize("seu_case1", 0, EXPONENTIAL, RaceEnabledPolicy, 1, 1, false);
}

bool flash_systemSAN::seuActivity_case1::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *flash_working_Mark > 0;
  return enabledNow;
}

double flash_systemSAN::seuActivity_case1::Rate() { return kUpsetRate; }

double flash_systemSAN::seuActivity_case1::Weight() {
  const float weight = 1.0f - kPerUnitShare * flash_size;
  return weight;
}

int flash_systemSAN::seuActivity_case1::Rank() { return 1; }
double flash_systemSAN::seuActivity_case1::SampleDistribution() { return TheDistribution->Exponential(kUpsetRate); }

double* flash_systemSAN::seuActivity_case1::ReturnDistributionParameters() {
  TheDistributionParameters[0] = kUpsetRate;
  return TheDistributionParameters.data();
}

bool flash_systemSAN::seuActivity_case1::ReactivationPredicate() { return false; }
bool flash_systemSAN::seuActivity_case1::ReactivationFunction() { return false; }

BaseActionClass* flash_systemSAN::seuActivity_case1::Fire() {
  *flash_working_Mark = 1;
  return this;
}

void flash_systemSAN::seuActivity_case1::LinkVariables() { flash_working->registerPointer(&flash_working_Mark); }

// --- seu, case 2 -------------------------------------------------------------------

flash_systemSAN::seuActivity_case2::seuActivity_case2() {
  ActivityInitialize("seu_case2", 0, EXPONENTIAL, RaceEnabledPolicy, 2, 1, false);
}

bool flash_systemSAN::seuActivity_case2::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *flash_working_Mark > 0;
  return enabledNow;
}

double flash_systemSAN::seuActivity_case2::Rate() { return kUpsetRate; }

double flash_systemSAN::seuActivity_case2::Weight() {
  const float weight = kPerUnitShare * flash_size;
  return weight;
}

int flash_systemSAN::seuActivity_case2::Rank() { return 1; }
double flash_systemSAN::seuActivity_case2::SampleDistribution() { return TheDistribution->Exponential(kUpsetRate); }

double* flash_systemSAN::seuActivity_case2::ReturnDistributionParameters() {
  TheDistributionParameters[0] = kUpsetRate;
  return TheDistributionParameters.data();
}

bool flash_systemSAN::seuActivity_case2::ReactivationPredicate() { return false; }
bool flash_systemSAN::seuActivity_case2::ReactivationFunction() { return false; }

BaseActionClass* flash_systemSAN::seuActivity_case2::Fire() {
  *flash_working_Mark = 0;
  *flash_corrupted_Mark = 1;
  return this;
}

void flash_systemSAN::seuActivity_case2::LinkVariables() {
  flash_working->registerPointer(&flash_working_Mark);
  flash_corrupted->registerPointer(&flash_corrupted_Mark);
}

// --- sefi ------------------------------------------------------------------------------

flash_systemSAN::sefiActivity::sefiActivity() {
  ActivityInitialize("sefi", 1, EXPONENTIAL, RaceEnabledPolicy, 2, 1, false);
}

bool flash_systemSAN::sefiActivity::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *flash_working_Mark > 0;
  return enabledNow;
}

double flash_systemSAN::sefiActivity::Rate() { return kInterruptRate; }
double flash_systemSAN::sefiActivity::Weight() { return 1.0; }
int flash_systemSAN::sefiActivity::Rank() { return 1; }
double flash_systemSAN::sefiActivity::SampleDistribution() { return TheDistribution->Exponential(kInterruptRate); }

double* flash_systemSAN::sefiActivity::ReturnDistributionParameters() {
  TheDistributionParameters[0] = kInterruptRate;
  return TheDistributionParameters.data();
}

bool flash_systemSAN::sefiActivity::ReactivationPredicate() { return false; }
bool flash_systemSAN::sefiActivity::ReactivationFunction() { return false; }

BaseActionClass* flash_systemSAN::sefiActivity::Fire() {
  *flash_working_Mark = 0;
  *flash_corrupted_Mark = 1;
  return this;
}

void flash_systemSAN::sefiActivity::LinkVariables() {
  flash_working->registerPointer(&flash_working_Mark);
  flash_corrupted->registerPointer(&flash_corrupted_Mark);
}

// --- power_cycle -------------------------------------------------------------------

flash_systemSAN::power_cycleActivity::power_cycleActivity() {
  ActivityInitialize("power_cycle", 2, DETERMINISTIC, RaceEnabledPolicy, 2, 1, false);
}

bool flash_systemSAN::power_cycleActivity::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = *flash_corrupted_Mark == 1;
  return enabledNow;
}

double flash_systemSAN::power_cycleActivity::Rate() { return 0.0; }
double flash_systemSAN::power_cycleActivity::Weight() { return 1.0; }
int flash_systemSAN::power_cycleActivity::Rank() { return 1; }
double flash_systemSAN::power_cycleActivity::DeterministicParamValue() { return power_cycle_rate; }
double flash_systemSAN::power_cycleActivity::SampleDistribution() { return power_cycle_rate; }

double* flash_systemSAN::power_cycleActivity::ReturnDistributionParameters() {
  TheDistributionParameters[0] = DeterministicParamValue();
  return TheDistributionParameters.data();
}

bool flash_systemSAN::power_cycleActivity::ReactivationPredicate() { return false; }
bool flash_systemSAN::power_cycleActivity::ReactivationFunction() { return false; }

BaseActionClass* flash_systemSAN::power_cycleActivity::Fire() {
  *flash_corrupted_Mark = 0;
  *flash_working_Mark = 1;
  return this;
}

void flash_systemSAN::power_cycleActivity::LinkVariables() {
  flash_corrupted->registerPointer(&flash_corrupted_Mark);
  flash_working->registerPointer(&flash_working_Mark);
}

// --- the model -----------------------------------------------------------------------

flash_systemSAN::flash_systemSAN() {
  seu_case1 = new seuActivity_case1();
  seu_case2 = new seuActivity_case2();
  sefi = new sefiActivity();
  power_cycle = new power_cycleActivity();

  ImmediateEmptyGroup = new EmptyGroup();

  seuGroup = new PostselectGroupOf("seuGroup", seu_case1, seu_case2);

  flash_corrupted = new Place("flash_corrupted", 0);
  flash_working = new Place("flash_working", 1);

  BaseStateVariableClass* InitialPlaces[2] = {flash_corrupted, flash_working};
  Activity* InitialActions[4] = {seu_case1, seu_case2, sefi, power_cycle};
  BaseGroupClass* InitialGroups[3] = {seuGroup, sefi, power_cycle};
  initializeSANModelNow("flash_system", 2, InitialPlaces, 0, nullptr, 4, InitialActions, 3, InitialGroups);
  // Every activity's Enabled() reads the marking and records the answer,
  // each tests a change of its enabling as Activity does, and none is ever
  // reactivated.
  for (BaseGroupClass* group : InitialGroups) {
    group->enablingFromMarking = true;
    group->neverWatched = true;
  }

  assignPlacesToActivitiesInst();
  assignPlacesToActivitiesTimed();

  AddAffectArc(flash_working, seu_case1);
  AddAffectArc(flash_working, seu_case2);
  AddAffectArc(flash_corrupted, seu_case2);
  AddAffectArc(flash_working, sefi);
  AddAffectArc(flash_corrupted, sefi);
  AddAffectArc(flash_corrupted, power_cycle);
  AddAffectArc(flash_working, power_cycle);

  AddEnableArc(flash_working, seu_case1);
  AddEnableArc(flash_working, seu_case2);
  AddEnableArc(flash_working, sefi);
  AddEnableArc(flash_corrupted, power_cycle);

  for (Activity* activity : InitialActions) activity->LinkVariables();
}

flash_systemSAN::~flash_systemSAN() {
  delete flash_corrupted;
  delete flash_working;
  delete ImmediateEmptyGroup;
  delete seuGroup;
  delete seu_case1;
  delete seu_case2;
  delete sefi;
  delete power_cycle;
}

void flash_systemSAN::assignPlacesToActivitiesTimed() {
  seu_case1->flash_working = flash_working;
  seu_case2->flash_working = flash_working;
  seu_case2->flash_corrupted = flash_corrupted;
  sefi->flash_working = flash_working;
  sefi->flash_corrupted = flash_corrupted;
  power_cycle->flash_corrupted = flash_corrupted;
  power_cycle->flash_working = flash_working;
}

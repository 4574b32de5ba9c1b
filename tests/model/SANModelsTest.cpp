#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/GlobalVariables.h"
#include "model/flash_systemSAN.h"
#include "model/ram_systemSAN.h"

namespace {

std::vector<std::string> Names(List<BaseActionClass>* list) {
  std::vector<std::string> names;
  for (int i = 0; i < list->getNumItems(); ++i) names.emplace_back(list->getItem(i)->name);
  return names;
}

std::vector<std::string> Names(const List<BaseStateVariableClass>& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.getNumItems(); ++i) names.emplace_back(list.getItem(i)->name);
  return names;
}

using Strings = std::vector<std::string>;

TEST(RamSystem, PlacesActivitiesAndGroupsAsGenerated) {
  ram_systemSAN ram;
  EXPECT_STREQ(ram.name, "ram_system");
  ASSERT_EQ(ram.numStateVariables, 4);
  EXPECT_EQ(ram.places[0], ram.flash_corrupted);
  EXPECT_EQ(ram.places[3], ram.system_failed);
  EXPECT_EQ(ram.ram_working->getMark(), 1);
  EXPECT_EQ(ram.system_failed->getMark(), 0);
  ASSERT_EQ(ram.numActions, 7);
  const int groupIds[7] = {4, 0, 1, 2, 2, 3, 3};
  const Distribution codes[7] = {INSTANTANEOUS, DETERMINISTIC, EXPONENTIAL, EXPONENTIAL,
                                 EXPONENTIAL,   EXPONENTIAL,   EXPONENTIAL};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(ram.actions[i]->groupId, groupIds[i]) << i;
    EXPECT_EQ(ram.actions[i]->distributionType, codes[i]) << i;
    EXPECT_EQ(ram.actions[i]->policy, RaceEnabledPolicy);
    EXPECT_FALSE(ram.actions[i]->reactivation);
    EXPECT_EQ(ram.actions[i]->parentModel, &ram);
    EXPECT_EQ(ram.actions[i]->Rank(), 1);
    EXPECT_FALSE(ram.actions[i]->ReactivationPredicate());
    EXPECT_FALSE(ram.actions[i]->ReactivationFunction());
  }
  ASSERT_EQ(ram.numGroups, 5);
  EXPECT_EQ(ram.groups[2], ram.bit_errorGroup);
  EXPECT_EQ(ram.groups[4], ram.failure);
  EXPECT_EQ(ram.bit_errorGroup->numMembers, 2);
  EXPECT_EQ(ram.page_errorGroup->members[1], ram.page_error_case2);
  EXPECT_EQ(ram.bit_errorGroup->parentModel, &ram);
  EXPECT_EQ(ram.ImmediatePostselectGroup->parentModel, nullptr);  // never handed over
}

TEST(RamSystem, ArcsAreDeclaredInOrderOnBothSides) {
  ram_systemSAN ram;
  EXPECT_EQ(Names(ram.ram_working->getAffectingActions()),
            (Strings{"watchdog_reboot", "bit_error_case1", "bit_error_case2", "page_error_case1", "page_error_case2"}));
  EXPECT_EQ(Names(ram.ram_corrupted->getAffectingActions()),
            (Strings{"watchdog_reboot", "random_failure", "bit_error_case2", "page_error_case2"}));
  EXPECT_EQ(Names(ram.ram_corrupted->getEnabledActions()), (Strings{"failure", "watchdog_reboot", "random_failure"}));
  EXPECT_EQ(ram.flash_corrupted->getNumAffectingActions(), 0);
  EXPECT_EQ(Names(ram.failure->enablingSVs), (Strings{"flash_corrupted", "ram_corrupted", "system_failed"}));
  EXPECT_EQ(Names(ram.failure->affectedSVs), (Strings{"system_failed"}));
  EXPECT_EQ(Names(ram.watchdog_reboot->affectedSVs), (Strings{"ram_corrupted", "ram_working"}));
}

TEST(RamSystem, EveryValueCellPointerIsRegisteredWithItsPlace) {
  ram_systemSAN ram;
  // Two records of the place itself, plus one per activity field.
  EXPECT_EQ(ram.flash_corrupted->getSharingCount(), 3);
  EXPECT_EQ(ram.ram_working->getSharingCount(), 7);
  EXPECT_EQ(ram.ram_corrupted->getSharingCount(), 7);
  EXPECT_EQ(ram.system_failed->getSharingCount(), 3);
  EXPECT_EQ(ram.bit_error_case2->ram_corrupted_Mark, ram.ram_corrupted->Mark);
  EXPECT_EQ(ram.failure->system_failed, ram.system_failed);
}

TEST(RamSystem, CaseWeightsAreSinglePrecisionAndReadTheGlobalEachTime) {
  ram_systemSAN ram;
  ram_size = 128.0f;
  EXPECT_EQ(ram.bit_error_case1->Weight(), 0.75);
  EXPECT_EQ(ram.bit_error_case2->Weight(), 0.25);
  ram_size = 512.0f;
  EXPECT_EQ(ram.bit_error_case1->Weight(), 0.0);
  EXPECT_EQ(ram.bit_error_case2->Weight(), 1.0);
  ram_size = 0.3f;
  const float single = 1.0f - 0.001953125f * ram_size;
  EXPECT_EQ(ram.bit_error_case1->Weight(), static_cast<double>(single));
  EXPECT_NE(ram.bit_error_case1->Weight(), 1.0 - 0.001953125 * static_cast<double>(ram_size));
  EXPECT_EQ(ram.page_error_case1->Weight(), 0.75);
  EXPECT_EQ(ram.page_error_case2->Weight(), 0.25);
  ram_size = 128.0f;
}

TEST(RamSystem, TimingOfEachActivity) {
  ram_systemSAN ram;
  random_failure_rate = 0.005f;
  EXPECT_EQ(ram.random_failure->Rate(), static_cast<double>(0.005f));
  EXPECT_EQ(*ram.random_failure->ReturnDistributionParameters(), static_cast<double>(0.005f));
  random_failure_rate = 0.25f;
  EXPECT_EQ(ram.random_failure->Rate(), 0.25);
  EXPECT_GE(ram.random_failure->SampleDistribution(), 0.0);
  EXPECT_EQ(ram.watchdog_reboot->SampleDistribution(), 0.00347);
  EXPECT_EQ(ram.watchdog_reboot->DeterministicParamValue(), 0.00347);
  EXPECT_EQ(*ram.watchdog_reboot->ReturnDistributionParameters(), 0.00347);
  EXPECT_EQ(ram.watchdog_reboot->Rate(), 0.0);
  EXPECT_EQ(ram.failure->SampleDistribution(), 0.0);
  EXPECT_EQ(ram.failure->Rate(), 0.0);
  EXPECT_EQ(ram.bit_error_case2->Rate(), 6.012);
  EXPECT_EQ(*ram.page_error_case1->ReturnDistributionParameters(), 2.95e-06);
  random_failure_rate = 0.005f;
}

TEST(RamSystem, FiringEffectsAndEnabling) {
  ram_systemSAN ram;
  EXPECT_TRUE(ram.bit_error_case1->Enabled());
  EXPECT_TRUE(ram.random_failure->Enabled());
  EXPECT_FALSE(ram.watchdog_reboot->Enabled());

  EXPECT_EQ(ram.bit_error_case1->Fire(), ram.bit_error_case1);
  EXPECT_EQ(ram.ram_working->getMark(), 1);  // a masked error changes nothing
  ram.page_error_case2->Fire();
  EXPECT_EQ(ram.ram_working->getMark(), 0);
  EXPECT_EQ(ram.ram_corrupted->getMark(), 1);
  EXPECT_FALSE(ram.bit_error_case2->Enabled());
  EXPECT_FALSE(ram.random_failure->Enabled());
  EXPECT_TRUE(ram.watchdog_reboot->EnablingChange());
  EXPECT_FALSE(ram.watchdog_reboot->EnablingChange());

  ram.watchdog_reboot->Fire();
  EXPECT_EQ(ram.ram_corrupted->getMark(), 0);
  EXPECT_EQ(ram.ram_working->getMark(), 1);
  // A reboot of a memory that is still working keeps it at one.
  ram.random_failure->Fire();
  ram.watchdog_reboot->Fire();
  EXPECT_EQ(ram.ram_working->getMark(), 1);

  // The failure needs a corrupted flash and memory, and happens once.
  ram.ram_corrupted->setMark(1);
  EXPECT_FALSE(ram.failure->Enabled());
  ram.flash_corrupted->setMark(1);
  EXPECT_TRUE(ram.failure->Enabled());
  ram.failure->Fire();
  EXPECT_EQ(ram.system_failed->getMark(), 1);
  EXPECT_FALSE(ram.failure->Enabled());
}

TEST(FlashSystem, PlacesActivitiesAndGroupsAsGenerated) {
  flash_systemSAN flash;
  EXPECT_STREQ(flash.name, "flash_system");
  ASSERT_EQ(flash.numStateVariables, 2);
  EXPECT_EQ(flash.places[0], flash.flash_corrupted);
  EXPECT_EQ(flash.flash_working->getMark(), 1);
  ASSERT_EQ(flash.numActions, 4);
  const char* names[4] = {"seu_case1", "seu_case2", "sefi", "power_cycle"};
  const int groupIds[4] = {0, 0, 1, 2};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(flash.actions[i]->name, names[i]);
    EXPECT_EQ(flash.actions[i]->groupId, groupIds[i]);
  }
  EXPECT_EQ(flash.power_cycle->distributionType, DETERMINISTIC);
  EXPECT_EQ(flash.sefi->distributionType, EXPONENTIAL);
  ASSERT_EQ(flash.numGroups, 3);
  EXPECT_EQ(flash.groups[0], flash.seuGroup);
  EXPECT_STREQ(flash.seuGroup->name, "seuGroup");
  EXPECT_EQ(flash.groups[2], flash.power_cycle);
  EXPECT_EQ(Names(flash.flash_corrupted->getAffectingActions()), (Strings{"seu_case2", "sefi", "power_cycle"}));
  EXPECT_EQ(Names(flash.flash_corrupted->getEnabledActions()), (Strings{"power_cycle"}));
  EXPECT_EQ(Names(flash.power_cycle->affectedSVs), (Strings{"flash_corrupted", "flash_working"}));
  EXPECT_EQ(flash.flash_working->getSharingCount(), 2 + 4);
  EXPECT_EQ(flash.flash_corrupted->getSharingCount(), 2 + 3);
}

TEST(FlashSystem, WeightsAndPowerCycleDelayFollowTheGlobals) {
  flash_systemSAN flash;
  flash_size = 64.0f;
  EXPECT_EQ(flash.seu_case1->Weight(), 0.875);
  EXPECT_EQ(flash.seu_case2->Weight(), 0.125);
  EXPECT_EQ(flash.seu_case2->Rate(), 1.5e-16);
  EXPECT_EQ(flash.sefi->Rate(), 0.00274);
  power_cycle_rate = 0.03125f;
  EXPECT_EQ(flash.power_cycle->SampleDistribution(), 0.03125);
  power_cycle_rate = 8.0f;
  EXPECT_EQ(flash.power_cycle->SampleDistribution(), 8.0);
  EXPECT_EQ(flash.power_cycle->DeterministicParamValue(), 8.0);
  EXPECT_EQ(*flash.power_cycle->ReturnDistributionParameters(), 8.0);
  EXPECT_EQ(flash.power_cycle->Rate(), 0.0);
}

TEST(FlashSystem, CorruptionAndRepair) {
  flash_systemSAN flash;
  EXPECT_FALSE(flash.power_cycle->Enabled());
  flash.seu_case1->Fire();
  EXPECT_EQ(flash.flash_working->getMark(), 1);
  EXPECT_EQ(flash.flash_corrupted->getMark(), 0);
  flash.seu_case2->Fire();
  EXPECT_EQ(flash.flash_working->getMark(), 0);
  EXPECT_EQ(flash.flash_corrupted->getMark(), 1);
  EXPECT_FALSE(flash.sefi->Enabled());
  EXPECT_TRUE(flash.power_cycle->Enabled());
  // Only a marking of exactly one enables the repair.
  flash.flash_corrupted->setMark(2);
  EXPECT_FALSE(flash.power_cycle->Enabled());
  flash.flash_corrupted->setMark(1);
  EXPECT_EQ(flash.power_cycle->Fire(), flash.power_cycle);
  EXPECT_EQ(flash.flash_working->getMark(), 1);
  EXPECT_EQ(flash.flash_corrupted->getMark(), 0);
}

}  // namespace

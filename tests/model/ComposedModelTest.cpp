#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "model/GlobalVariables.h"
#include "Composer/SharedStateVarLink.h"
#include "model/basic_modelRJ.h"

namespace {

std::vector<std::string> ActionNames(const BaseModelClass& model) {
  std::vector<std::string> names;
  for (int i = 0; i < model.numActions; ++i) names.emplace_back(model.actions[i]->name);
  return names;
}

TEST(ComposedModel, ActionsAreFlashsFourThenRamsSeven) {
  basic_modelRJ model;
  EXPECT_STREQ(model.name, "Join1");
  EXPECT_EQ(model.GetNumberOfChildren(), 2);
  EXPECT_EQ(model.GetChild(0), model.flash_system);
  EXPECT_EQ(model.GetChild(1), model.ram_system);
  const std::vector<std::string> expected = {
      "seu_case1",      "seu_case2",       "sefi",        "power_cycle",     "failure",          "watchdog_reboot",
      "random_failure", "bit_error_case1", "bit_error_case2", "page_error_case1", "page_error_case2"};
  EXPECT_EQ(ActionNames(model), expected);
  EXPECT_EQ(model.NumDistinctActionNames, 11);
  EXPECT_EQ(model.TableSize, 44);
  for (const std::string& name : expected) EXPECT_EQ(model.CountActionsNamed(name.c_str()), 1) << name;
}

TEST(ComposedModel, EightGroupsNumberedInComposedOrder) {
  basic_modelRJ model;
  ASSERT_EQ(model.numGroups, 8);
  const char* groupNames[8] = {"seuGroup", "sefi", "power_cycle", "watchdog_reboot",
                               "random_failure", "bit_errorGroup", "page_errorGroup", "failure"};
  for (int i = 0; i < 8; ++i) EXPECT_STREQ(model.groups[i]->name, groupNames[i]) << i;
  // Every action's group id indexes its group in the composed list.
  for (int i = 0; i < model.numActions; ++i) {
    BaseActionClass* action = model.actions[i];
    ASSERT_GE(action->groupId, 0);
    ASSERT_LT(action->groupId, 8);
    BaseGroupClass* group = model.groups[action->groupId];
    EXPECT_TRUE(group == action || group->IsAMember(action)) << action->name;
  }
  EXPECT_EQ(model.flash_system->seu_case2->groupId, 0);
  EXPECT_EQ(model.flash_system->power_cycle->groupId, 2);
  EXPECT_EQ(model.ram_system->watchdog_reboot->groupId, 3);
  EXPECT_EQ(model.ram_system->page_error_case1->groupId, 6);
  EXPECT_EQ(model.ram_system->failure->groupId, 7);
}

TEST(ComposedModel, FlashCorruptedIsOneCellAcrossBothModels) {
  flash_size = 64.0f;
  basic_modelRJ model;
  Place* shared = model.flash_corrupted;
  ASSERT_NE(shared, nullptr);
  EXPECT_TRUE(shared->getStored());
  EXPECT_FALSE(model.flash_system->flash_corrupted->getStored());
  EXPECT_FALSE(model.ram_system->flash_corrupted->getStored());
  EXPECT_EQ(model.flash_system->flash_corrupted->Mark, shared->Mark);
  EXPECT_EQ(model.ram_system->failure->flash_corrupted_Mark, shared->Mark);

  // A functional interrupt in the flash, then a random failure of the
  // memory: the memory's failure activity sees the corrupted flash.
  model.ram_system->random_failure->Fire();
  EXPECT_FALSE(model.ram_system->failure->Enabled());
  model.flash_system->sefi->Fire();
  EXPECT_EQ(model.ram_system->flash_corrupted->getMark(), 1);
  EXPECT_EQ(shared->getMark(), 1);
  EXPECT_TRUE(model.ram_system->failure->Enabled());
  model.ram_system->failure->Fire();
  EXPECT_EQ(model.ram_system->system_failed->getMark(), 1);
  // The power cycle repairs the one cell, which disables the failure again.
  model.flash_system->power_cycle->Fire();
  EXPECT_EQ(*model.ram_system->failure->flash_corrupted_Mark, 0);
}

TEST(ComposedModel, ActionsNameTheSharedHolderOnce) {
  basic_modelRJ model;
  Place* shared = model.flash_corrupted;
  auto namesHolder = [&](const List<BaseStateVariableClass>& list) {
    int holder = 0;
    for (int i = 0; i < list.getNumItems(); ++i) {
      EXPECT_NE(list.getItem(i), model.flash_system->flash_corrupted);
      EXPECT_NE(list.getItem(i), model.ram_system->flash_corrupted);
      holder += list.getItem(i) == shared;
    }
    return holder;
  };
  for (BaseActionClass* a : {static_cast<BaseActionClass*>(model.flash_system->seu_case2),
                             static_cast<BaseActionClass*>(model.flash_system->sefi),
                             static_cast<BaseActionClass*>(model.flash_system->power_cycle)}) {
    EXPECT_EQ(namesHolder(a->affectedSVs), 1) << a->name;
  }
  EXPECT_EQ(namesHolder(model.flash_system->power_cycle->enablingSVs), 1);
  EXPECT_EQ(namesHolder(model.ram_system->failure->enablingSVs), 1);
  EXPECT_EQ(namesHolder(model.ram_system->failure->affectedSVs), 0);
  EXPECT_EQ(namesHolder(model.flash_system->seu_case1->affectedSVs), 0);

  // The holder's lists are the union of both places' actions.
  EXPECT_EQ(shared->getNumAffectingActions(), 3);
  EXPECT_EQ(shared->getNumEnabledActions(), 2);
  EXPECT_TRUE(shared->getEnabledActions()->contains(model.ram_system->failure));
  EXPECT_EQ(model.ram_system->flash_corrupted->getEnabledActions(), shared->getEnabledActions());
}

TEST(ComposedModel, FiveStateVariablesAndTheirSharingRecord) {
  basic_modelRJ model;
  EXPECT_EQ(model.getNumStateVariables(), 5);
  EXPECT_EQ(model.NumSharedStateVariables, 1);
  EXPECT_EQ(model.GetSharedStateVariables()[0], model.flash_corrupted);
  EXPECT_EQ(model.getMainSharedVariable(model.ram_system->flash_corrupted), model.flash_corrupted);
  EXPECT_EQ(model.getMainSharedVariable(model.ram_system->ram_working), nullptr);
  SharedStateVarLink* chain = model.getListOfSharedVariables(model.flash_corrupted);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->Model, model.flash_system);
  ASSERT_NE(chain->Next, nullptr);
  EXPECT_EQ(chain->Next->Model, model.ram_system);
}

TEST(ComposedModel, StateIsChildrenThenSharedValueAndRestores) {
  basic_modelRJ model;
  // flash_working; ram_working, ram_corrupted, system_failed; flash_corrupted.
  ASSERT_EQ(model.StateSize(), 10);
  short initial[5];
  model.CurrentState(initial);
  const short expected[5] = {1, 1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(initial, expected, sizeof initial), 0);

  model.flash_system->sefi->Fire();
  model.ram_system->bit_error_case2->Fire();
  short changed[5];
  model.CurrentState(changed);
  const short after[5] = {0, 0, 1, 0, 1};
  EXPECT_EQ(std::memcmp(changed, after, sizeof changed), 0);
  EXPECT_FALSE(model.CompareState(initial, changed));

  model.SetState(initial);
  EXPECT_EQ(model.flash_system->flash_working->getMark(), 1);
  EXPECT_EQ(model.ram_system->ram_corrupted->getMark(), 0);
  EXPECT_EQ(*model.flash_system->power_cycle->flash_corrupted_Mark, 0);
  EXPECT_TRUE(model.HasLocalState());
}

TEST(ComposedModel, ListsByNameReachTheRightSubmodel) {
  basic_modelRJ model;
  List<BaseStateVariableClass> svs;
  List<BaseModelClass> models;
  model.listSVs("ram_system", "system_failed", &svs, &models);
  ASSERT_EQ(svs.getNumItems(), 1);
  EXPECT_EQ(svs.getItem(0), model.ram_system->system_failed);
  EXPECT_EQ(models.getItem(0), model.ram_system);
  List<BaseModelClass> flash;
  model.listModels("flash_system", &flash);
  ASSERT_EQ(flash.getNumItems(), 1);
  EXPECT_EQ(flash.getItem(0), model.flash_system);
}

}  // namespace

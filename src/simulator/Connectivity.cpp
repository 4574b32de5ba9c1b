// Affects lists: for every action, the groups whose enabling can change when
// it fires. Built once at start-up, read after every firing.
#include <cstring>
#include <ostream>
#include <vector>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/BaseModelClass.h"
#include "BaseClasses/List.h"
#include "BaseClasses/state/BaseStateVariableClass.h"
#include "simulator/SimulatorClass.h"

namespace {

int NumActions(const List<BaseActionClass>* list) { return list ? list->getNumItems() : 0; }

}  // namespace

int SimulatorClass::AddActionAffects(BaseGroupClass* group, BaseActionClass* action) {
  action->affectsList = new AffectsListNode{group, action->affectsList};
  return 0;
}

int SimulatorClass::AddActionAffectsOld(BaseGroupClass* group, BaseActionClass* action) {
  AffectsListNode** link = &action->affectsList;
  for (; *link != nullptr; link = &(*link)->next)
    if ((*link)->group == group) return 0;
  *link = new AffectsListNode{group, nullptr};
  return 0;
}

void SimulatorClass::ClearActionAffectsList(BaseActionClass* action) {
  AffectsListNode* node = action->affectsList;
  while (node != nullptr) {
    AffectsListNode* next = node->next;
    delete node;
    node = next;
  }
  action->affectsList = nullptr;
}

void SimulatorClass::DestructConnectivityList() {
  int count = NumActions(actionList);
  for (int i = 0; i < count; ++i) ClearActionAffectsList(actions[i]);
}

void SimulatorClass::MarkQuietAffectsLists() {
  int count = NumActions(actionList);
  for (int i = 0; i < count; ++i) {
    BaseActionClass* action = actions[i];
    BaseGroupClass* own = groups[action->groupId];
    bool ownListed = false;
    bool quiet = true;
    for (AffectsListNode* node = action->affectsList; node != nullptr; node = node->next) {
      BaseGroupClass* group = node->group;
      ownListed = ownListed || group == own;
      quiet = quiet && group->enablingFromMarking && group->neverWatched;
      // The one walk over a quiet list takes each group once; a group
      // listed twice keeps the list on the two passes.
      for (AffectsListNode* later = node->next; later != nullptr; later = later->next)
        quiet = quiet && later->group != group;
    }
    action->quietOwnGroup = ownListed && quiet ? own : nullptr;
  }
  int32_t groupCount = NumGroups();
  pendingSchedule.assign(static_cast<size_t>(groupCount > 0 ? groupCount : 1), nullptr);
}

void SimulatorClass::MarkRecordedEnabling() {
  for (int32_t g = 0; g < NumGroups(); ++g) groups[g]->enablingRecorded = groups[g]->enablingFromMarking;
}

int SimulatorClass::GenerateConnectivityList() {
  int32_t n = BaseActionClass::MaxID;
  // Stamp of the last action that added each group, so a group is listed
  // once per action.
  std::vector<int32_t> stamp(static_cast<size_t>(n) + 1, -1);
  int count = NumActions(actionList);
  for (int i = 0; i < count; ++i) {
    BaseActionClass* action = actions[i];
    int32_t s = action->actionId;
    BaseGroupClass* own = groups[action->groupId];
    if (stamp[own->actionId] != s) {
      AddActionAffects(own, action);
      stamp[own->actionId] = s;
    }
    List<BaseStateVariableClass>& changed = action->affectedSVs;
    for (int v = 0; v < changed.getNumItems(); ++v) {
      List<BaseActionClass>* readers = changed.getItem(v)->SVEnabledActions;
      if (readers == nullptr) continue;
      for (int e = 0; e < readers->getNumItems(); ++e) {
        BaseGroupClass* group = groups[readers->getItem(e)->groupId];
        if (stamp[group->actionId] != s) {
          stamp[group->actionId] = s;
          AddActionAffects(group, action);
        }
      }
    }
  }
  return 0;
}

int SimulatorClass::GenerateConnectivityListOld() {
  const char* simtest = std::getenv("SIMTEST");
  bool useMatrix = simtest != nullptr && std::atoi(simtest) == 1;
  size_t side = static_cast<size_t>(BaseActionClass::MaxID) + 1;
  // listed[action][group]: the group is already in the action's list.
  std::vector<unsigned char> listed(useMatrix ? side * side : 0, 0);
  auto add = [&](BaseGroupClass* group, BaseActionClass* target) {
    if (!useMatrix) {
      AddActionAffectsOld(group, target);
      return;
    }
    unsigned char& seen =
        listed[static_cast<size_t>(target->actionId) * side + static_cast<size_t>(group->actionId)];
    if (seen) return;
    seen = 1;
    AddActionAffects(group, target);
  };
  int count = NumActions(actionList);
  for (int i = 0; i < count; ++i) {
    BaseActionClass* action = actions[i];
    BaseGroupClass* own = groups[action->groupId];
    add(own, action);
    List<BaseStateVariableClass>& read = action->enablingSVs;
    for (int v = 0; v < read.getNumItems(); ++v) {
      List<BaseActionClass>* writers = read.getItem(v)->SVAffectingActions;
      if (writers == nullptr) continue;
      for (int b = 0; b < writers->getNumItems(); ++b) add(own, writers->getItem(b));
    }
  }
  return 0;
}

namespace {

void PrintQualifiedName(std::ostream& out, const BaseActionClass* item) {
  const BaseModelClass* model = item->parentModel;
  if (model != nullptr)
    out << model->name << "(" << model->modelId << ")->";
  else
    out << "Unknown Model(-1)->";
  out << item->name << " (" << item->actionId << ")";
}

}  // namespace

void SimulatorClass::PrintConnectivityList(std::ostream& out) {
  int count = NumActions(actionList);
  for (int i = 0; i < count; ++i) {
    BaseActionClass* action = actions[i];
    out << "Action: ";
    PrintQualifiedName(out, action);
    out << std::endl << "Checking my Affects" << std::endl;
    for (AffectsListNode* node = action->affectsList; node != nullptr; node = node->next) {
      out << "    ";
      PrintQualifiedName(out, node->group);
      out << std::endl;
    }
  }
}

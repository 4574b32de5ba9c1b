// The firing step and the bookkeeping that keeps the event list in step with
// the enabling of the groups: only the fired action's affects list and the
// reactivation list are re-examined after a firing.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseGroupClass.h"
#include "rewards/PVModel.h"
#include "simulator/Event.h"
#include "simulator/EventList.h"
#include "simulator/SimulatorClass.h"

namespace {

inline GroupRecord* RecordOf(BaseActionClass* group) { return group->eventSlot; }

// A firing that reports no action (a group with nothing to fire) affects
// nothing.
inline AffectsListNode* AffectsOf(BaseActionClass* fired) {
  return fired != nullptr ? fired->affectsList : nullptr;
}

}  // namespace

int SimulatorClass::GenerateInitialEnabledList() {
  int32_t groupCount = NumGroups();
  delete[] enabledList;
  enabledList = new BaseGroupClass*[groupCount > 0 ? groupCount : 1];
  enabledCount = 0;
  for (int32_t i = 0; i < groupCount; ++i) {
    currentGroup = groups[i];
    if (currentGroup->Enabled()) enabledList[enabledCount++] = currentGroup;
  }
  if (enabledCount < groupCount / 2) {
    auto* shrunk = new BaseGroupClass*[enabledCount > 0 ? enabledCount : 1];
    for (int32_t i = 0; i < enabledCount; ++i) shrunk[i] = enabledList[i];
    delete[] enabledList;
    enabledList = shrunk;
  }
  return 0;
}

inline void SimulatorClass::ScheduleGroup(BaseGroupClass* group) {
  // The delay is drawn first and the clock read after it, so that the clock
  // need not be held across the call.
  const double delay = group->SampleDistribution();
  const double time = currentTime + delay;
  if (!group->neverWatched && group->ReactivationPredicate()) [[unlikely]] {
    GroupRecord* record = RecordOf(group);
    group->reactivation = true;
    record->position = reactivationList.PushFront(&record->entry, group);
    record->notInReactivationList = false;
  }
  eventList->Insert(time, currentTime, group);
}

// ScheduleGroup for a group never watched for reactivation, as every group
// on a quiet affects list is: its reactivation predicate is not asked.
inline void SimulatorClass::ScheduleUnwatchedGroup(BaseGroupClass* group) {
  const double delay = group->SampleDistribution();
  eventList->Insert(currentTime + delay, currentTime, group);
}

int16_t SimulatorClass::GenerateCompleteEventList() {
  for (int32_t i = 0; i < enabledCount; ++i) {
    currentGroup = enabledList[i];
    // Refreshes the enabling the group records for EnablingChange().
    currentGroup->Enabled();
    ScheduleGroup(currentGroup);
  }
  return 0;
}

int16_t SimulatorClass::GenerateCompleteEventListSS() {
  int32_t groupCount = NumGroups();
  for (int32_t i = 0; i < groupCount; ++i) {
    currentGroup = groups[i];
    if (currentGroup->Enabled()) ScheduleGroup(currentGroup);
  }
  return 0;
}

// One firing, inlined both into SimStep() and into the replication loop of
// RunUntil(), so that the loop pays no call per firing.
inline bool SimulatorClass::FireNext() {
  // The fired event's record is held aside, and goes back to the pool
  // before any other operation of the event list, unless the firing
  // schedules the same group again at once and the record is used for it:
  // the pool then ends as the removal and the insertion would leave it.
  Event* const parked = eventList->RemoveParking(currentHandle);
  pvModel->Accumulate(currentTime);
  lastFired = pvModel->FireAction(currentGroup, currentTime);
  ++actionsFired;
  if (currentGroup->enabledAfterFiring && lastFired->quietOwnGroup == currentGroup &&
      reactivationList.empty()) [[likely]] {
    // The firing left the marking as it was, so every other group on the
    // list is still scheduled exactly when it is enabled: the removal pass
    // would remove nothing and the insertion pass schedule only the fired
    // group, which it would take as enabled without asking; the group is
    // never watched for reactivation.
    const double time = currentTime + currentGroup->SampleDistribution();
    eventList->InsertParked(parked, time, currentTime, currentGroup);
  } else {
    eventList->Unpark(parked);
    // The pass visits nothing when the list is empty, as it is in models
    // without reactivation; the test saves the call at every firing.
    if (!reactivationList.empty()) [[unlikely]] CheckReactivationList();
    if (lastFired != nullptr && lastFired->quietOwnGroup == currentGroup)
      UpdateQuietAffected(lastFired->affectsList);
    else
      UpdateAffected();
  }
  currentGroup->enabledAfterFiring = false;
  currentHandle = eventList->Earliest();
  if (currentHandle == nullptr) [[unlikely]] return false;
  currentTime = (*currentHandle)->time;
  currentGroup = static_cast<BaseGroupClass*>((*currentHandle)->action);
  return true;
}

bool SimulatorClass::SimStep() { return FireNext(); }

bool SimulatorClass::SimStepSS() { return FireNext(); }

// Out of line: inlined into the replication loop's caller, the step shares
// its registers with the whole run and costs more per firing.
[[gnu::noinline]] void SimulatorClass::RunUntil(double endTime) {
  while (currentTime <= endTime)
    if (!FireNext()) break;
}

void SimulatorClass::DropReactivationEntry(BaseGroupClass* group) {
  GroupRecord* record = RecordOf(group);
  record->notInReactivationList = true;
  group->reactivation = false;
  reactivationList.Erase(record->position);
  record->position = nullptr;
}

void SimulatorClass::CheckReactivationList() {
  // Entries pushed to the front during the pass lie before the cursor and
  // are therefore not visited.
  ReactivationEntry* entry = reactivationList.front();
  while (entry != nullptr) {
    ReactivationEntry* next = entry->next;
    BaseGroupClass* group = entry->group;
    GroupRecord* record = RecordOf(group);
    if (record->handle == nullptr) {
      DropReactivationEntry(group);
    } else if (!group->Enabled()) {
      eventList->Remove(record->handle);
      DropReactivationEntry(group);
    } else if (group->ReactivationFunction()) {
      Event* event = *record->handle;
      event->time = currentTime + group->SampleDistribution();
      event->scheduledAt = currentTime;
      eventList->ModifyKey(record->handle);
      DropReactivationEntry(group);
      if (group->ReactivationPredicate()) {
        group->reactivation = true;
        record->notInReactivationList = false;
        record->position = reactivationList.PushFront(&record->entry, group);
      }
    }
    entry = next;
  }
}

void SimulatorClass::UpdateAffected() {
  AffectsListNode* const affected = AffectsOf(lastFired);
  RemoveAffected(affected);
  InsertAffected(affected);
}

void SimulatorClass::RemoveAffectedActions() { RemoveAffected(AffectsOf(lastFired)); }

void SimulatorClass::InsertAffectedActions() { InsertAffected(AffectsOf(lastFired)); }

inline void SimulatorClass::RemoveAffected(AffectsListNode* first) {
  for (AffectsListNode* cursor = first; cursor != nullptr;
       cursor = cursor->next) {
    BaseGroupClass* group = cursor->group;
    GroupRecord* record = RecordOf(group);
    if (record->handle == nullptr) continue;
    if (group->EnablingChange() || (group->reactivation && group->ReactivationFunction())) {
      group->reactivation = false;
      eventList->Remove(record->handle);
      if (!record->notInReactivationList) {
        reactivationList.Erase(record->position);
        record->position = nullptr;
        record->notInReactivationList = true;
      }
    }
  }
}

inline void SimulatorClass::InsertAffected(AffectsListNode* first) {
  for (AffectsListNode* cursor = first; cursor != nullptr;
       cursor = cursor->next) {
    BaseGroupClass* group = cursor->group;
    GroupRecord* record = RecordOf(group);
    if (record->handle != nullptr) {
      // A group still scheduled here was kept by the removal pass, which has
      // just asked for its enabling on this same marking.
      if (!group->enablingFromMarking) group->Enabled();
      continue;
    }
    if (group->enabledAfterFiring || group->Enabled()) ScheduleGroup(group);
  }
}

// The removal pass and the insertion pass in one walk. Every call either
// pass would make reads only the marking, which neither changes, and sets
// only its own group's enabling, so asking each group in turn what both
// passes would ask gives the same answers. The removals still all come
// before the insertions, each in list order, so the event list and the
// draws of the scheduling are those of the two passes. Groups whose
// reactivation is never watched leave the passes' reactivation steps idle.
// A group enabled by a function of the marking is not asked again by the
// insertion pass once the removal pass has asked it: a kept group is
// enabled, and a removed one is as its change test found it, where that
// test says.
inline void SimulatorClass::UpdateQuietAffected(AffectsListNode* first) {
  BaseGroupClass** const pending = pendingSchedule.data();
  int32_t count = 0;
  for (AffectsListNode* cursor = first; cursor != nullptr; cursor = cursor->next) {
    BaseGroupClass* group = cursor->group;
    GroupRecord* record = RecordOf(group);
    if (record->handle != nullptr) {
      group->enablingAtChange = -1;
      if (!group->EnablingChange()) continue;
      eventList->Remove(record->handle);
      // Asked again on the same marking, the group would find the enabling
      // its change test has just found.
      const int8_t found = group->enablingAtChange;
      if (found >= 0 ? found != 0 : group->Enabled()) pending[count++] = group;
      continue;
    }
    if (group->enabledAfterFiring || group->Enabled()) pending[count++] = group;
  }
  for (int32_t i = 0; i < count; ++i) ScheduleUnwatchedGroup(pending[i]);
}

void SimulatorClass::HandleInvalidDistParams(BaseActionClass* action, const char* message) {
  static const char kTag[] = "INVALID_DIST_PARAMS:";
  std::string rest = message ? message : "";
  size_t at = rest.find(kTag);
  if (at != std::string::npos) rest.erase(at, sizeof(kTag) - 1);
  std::cerr << "FATAL ERROR: In action " << action->name << "," << rest << std::endl;
  std::exit(1);
}

#include "BaseClasses/SANModel.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <set>

#include "BaseClasses/Activity.h"
#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/ErrorHandling.h"
#include "BaseClasses/Primes.h"
#include "BaseClasses/state/BaseStateVariableClass.h"
#include "BaseClasses/state/Place.h"

namespace {

template <typename T>
std::unique_ptr<T*[]> copyPointers(T* const* source, int n) {
  T** copy = new (std::nothrow) T*[n > 0 ? n : 0]();
  if (copy == nullptr) MemoryAllocationError();
  for (int i = 0; i < n && source != nullptr; ++i) copy[i] = source[i];
  return std::unique_ptr<T*[]>(copy);
}

bool sameName(const char* a, const char* b) {
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

}  // namespace

SANModel::SANModel(const char* newName, int numPlaces, BaseStateVariableClass** newPlaces,
                   int numReadOnly, BaseStateVariableClass** newReadOnly, int newNumActions,
                   Activity** activities, int newNumGroups, BaseGroupClass** newGroups) {
  initializeSANModelNow(newName, numPlaces, newPlaces, numReadOnly, newReadOnly, newNumActions,
                        activities, newNumGroups, newGroups);
}

SANModel::~SANModel() = default;

void SANModel::initializeSANModelNow(const char* newName, int numPlaces,
                                     BaseStateVariableClass** newPlaces, int numReadOnly,
                                     BaseStateVariableClass** newReadOnly, int newNumActions,
                                     Activity** activities, int newNumGroups,
                                     BaseGroupClass** newGroups) {
  DefineName(newName);
  NumSharedStateVariables = 0;
  numReadOnlyPlaces = numReadOnly;
  numStateVariables = numPlaces + numReadOnly;
  numActions = newNumActions;
  numGroups = newNumGroups;
  places = copyPointers(newPlaces, numPlaces);
  readOnlyPlaces = copyPointers(newReadOnly, numReadOnly);
  actions = std::unique_ptr<BaseActionClass*[]>(new (std::nothrow) BaseActionClass*[
      newNumActions > 0 ? newNumActions : 0]());
  if (actions == nullptr) MemoryAllocationError();
  groups = copyPointers(newGroups, newNumGroups);
  SetActions(activities);
  SetGroups(newGroups);
}

void SANModel::SetPlaces(BaseStateVariableClass** newPlaces) {
  for (int i = 0; i < numPlaces(); ++i) places[i] = newPlaces[i];
}

void SANModel::SetReadOnlyPlaces(BaseStateVariableClass** newReadOnly) {
  for (int i = 0; i < numReadOnlyPlaces; ++i) readOnlyPlaces[i] = newReadOnly[i];
}

void SANModel::SetActions(Activity** activities) {
  if (activities == nullptr) return;
  for (int i = 0; i < numActions; ++i) {
    actions[i] = activities[i];
    if (activities[i] != nullptr) activities[i]->parentModel = this;
  }
}

void SANModel::SetGroups(BaseGroupClass** newGroups) {
  if (newGroups == nullptr) return;
  for (int i = 0; i < numGroups; ++i) {
    groups[i] = newGroups[i];
    if (newGroups[i] != nullptr) newGroups[i]->parentModel = this;
  }
}

void SANModel::listModels(const char* modelName, List<BaseModelClass>* list) {
  if (sameName(modelName, name)) list->append(this);
}

void SANModel::listActions(List<BaseActionClass>* list) {
  for (int i = 0; i < numActions; ++i) list->append(actions[i]);
}

void SANModel::listActions(const char* actionName, List<BaseActionClass>* list) {
  for (int i = 0; i < numActions; ++i) {
    if (sameName(actionName, actions[i]->name)) {
      list->append(actions[i]);
      return;
    }
  }
}

void SANModel::listGroups(List<BaseGroupClass>* list) {
  for (int i = 0; i < numGroups; ++i) list->append(groups[i]);
}

void SANModel::listSVs(const char* modelName, const char* svName,
                       List<BaseStateVariableClass>* svList, List<BaseModelClass>* modelList) {
  if (!sameName(modelName, name)) return;
  auto collect = [&](BaseStateVariableClass* v) {
    if (!sameName(svName, v->name)) return;
    svList->append(v);
    modelList->append(this);
  };
  for (int i = 0; i < numPlaces(); ++i) collect(places[i]);
  for (int i = 0; i < numReadOnlyPlaces; ++i) collect(readOnlyPlaces[i]);
}

int SANModel::StateSize() {
  int total = 0;
  for (int i = 0; i < numPlaces(); ++i)
    if (places[i]->getStored()) total += places[i]->StateSize();
  return total;
}

// The image holds every place that keeps its own value (the same places
// StateSize counts), so a place that holds a sharing group is saved and
// restored with this model; places merged into another hold no value here.
void SANModel::CurrentState(void* buffer) {
  char* cursor = static_cast<char*>(buffer);
  for (int i = 0; i < numPlaces(); ++i) {
    if (!places[i]->getStored()) continue;
    places[i]->CurrentState(cursor);
    cursor += places[i]->StateSize();
  }
}

void SANModel::SetState(void* buffer) {
  char* cursor = static_cast<char*>(buffer);
  for (int i = 0; i < numPlaces(); ++i) {
    if (!places[i]->getStored()) continue;
    places[i]->SetState(cursor);
    cursor += places[i]->StateSize();
  }
}

bool SANModel::CompareState(void* a, void* b) {
  return std::memcmp(a, b, static_cast<size_t>(StateSize())) == 0;
}

void SANModel::printState(std::ostream* out) {
  *out << "Model: (" << modelId << ")" << (name ? name : "") << std::endl;
  for (int i = 0; i < numPlaces(); ++i) {
    *out << "  ";
    places[i]->printState(out);
  }
  for (int i = 0; i < numReadOnlyPlaces; ++i) {
    *out << "  ";
    readOnlyPlaces[i]->printState(out);
  }
}

BaseStateVariableClass** SANModel::GetLocalStateVariables(std::ostream*) { return places.get(); }

BaseModelClass* SANModel::GetChild(int) { FatalAssertion("false", "SANModel"); }

void SANModel::GetGlobalActions(ActionSList& out) {
  const std::set<BaseActionClass*> own(actions.get(), actions.get() + numActions);
  std::set<BaseActionClass*> global;
  auto collect = [&](List<BaseActionClass>* list) {
    if (list == nullptr) return;
    for (int j = 0; j < list->getNumItems(); ++j)
      if (own.count(list->getItem(j)) != 0) global.insert(list->getItem(j));
  };
  // After sharing, a merged place reports the action lists of its whole
  // group, so only this model's own actions are kept.
  for (int i = 0; i < numPlaces(); ++i) {
    if (places[i]->getStored()) continue;
    collect(places[i]->getAffectingActions());
    collect(places[i]->getEnabledActions());
  }
  for (BaseActionClass* a : global) out.push_front(a);
}

void SANModel::GetLocalActions(ActionSList& out) {
  ActionSList global;
  GetGlobalActions(global);
  const std::set<BaseActionClass*> globalSet(global.begin(), global.end());
  for (int i = 0; i < numActions; ++i)
    if (globalSet.count(actions[i]) == 0) out.push_front(actions[i]);
}

bool SANModel::HasLocalState() { return StateSize() > 0; }

void SANModel::GetLocalState(State* s) { s->GetState(this); }

void SANModel::SetLocalState(const State* s) { s->SetState(this); }

void SANModel::ConstructLocalState(State*& s) {
  s = new (std::nothrow) LocalState(this);
  if (s == nullptr) MemoryAllocationError();
}

void SANModel::DestructLocalState(State* s) { delete s; }

void SANModel::PrintSANModelInfo() {
  std::printf("SANModelInfo\n");
  std::printf("Number of Actions = %i, Number of Groups = %i, Number of State Variables = %i\n",
              numActions, numGroups, numStateVariables);
  for (int i = 0; i < numActions; ++i) {
    BaseActionClass* a = actions[i];
    std::printf("ActionName = %s\n", a->name);
    std::printf("Group Id = %i\n", a->groupId);
    std::printf("DistributionType = %i\n", static_cast<int>(a->distributionType));
    std::printf("ExecutionPolicy = %i\n", static_cast<int>(a->policy));
    std::printf("Number of affected state variables = %i\n", a->affectedSVs.getNumItems());
    std::printf("Number of enabling state variables = %i\n", a->enablingSVs.getNumItems());
  }
  std::printf("\n");
  for (int i = 0; i < numGroups; ++i) std::printf("Group Name = %s \n", groups[i]->name);
  for (int i = 0; i < numPlaces(); ++i) std::printf("Place Name = %s\n", places[i]->name);
  for (int i = 0; i < numReadOnlyPlaces; ++i)
    std::printf("Read Only Place Name = %s\n", readOnlyPlaces[i]->name);
  std::fflush(stdout);
}

bool checkLocalSVs(SANModel* model, Place** expected) {
  for (int i = 0; i < model->numPlaces(); ++i)
    if (model->places[i] != static_cast<BaseStateVariableClass*>(expected[i])) return false;
  return true;
}

bool checkReadOnlyPlaces(SANModel* model, BaseStateVariableClass** expected) {
  for (int i = 0; i < model->numReadOnlyPlaces; ++i)
    if (model->readOnlyPlaces[i] != expected[i]) return false;
  return true;
}

bool checkLocalActions(SANModel* model, Activity** expected) {
  for (int i = 0; i < model->numActions; ++i)
    if (model->actions[i] != static_cast<BaseActionClass*>(expected[i])) return false;
  return true;
}

// --- SANModel::LocalState ---

SANModel::LocalState::LocalState(SANModel* model) : State(model->StateSize()) {}

int32_t SANModel::LocalState::hash() const {
  uint32_t sum = 0;  // wraps around like the 32-bit sum it stands for
  for (int32_t i = 0; i < size; ++i)
    sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(data[i])) *
                                 primes[i % 256]);
  return static_cast<int32_t>(sum);
}

int SANModel::LocalState::compare(const State& other) const {
  const int32_t common = size < other.size ? size : other.size;
  const int bytes = std::memcmp(data.get(), other.data.get(), static_cast<size_t>(common));
  if (bytes != 0 || size == other.size) return bytes;
  return size < other.size ? -1 : 1;
}

State& SANModel::LocalState::operator=(const State& other) {
  if (&other == this) return *this;
  SAN_ASSERT(size == other.size, "size == _localS->size", "SANModel");
  std::memcpy(data.get(), other.data.get(), static_cast<size_t>(size));
  return *this;
}

SANModel::LocalState& SANModel::LocalState::operator=(const LocalState& other) {
  static_cast<State&>(*this) = static_cast<const State&>(other);
  return *this;
}

void SANModel::LocalState::print() const {
  for (int32_t i = 0; i < size; ++i) std::printf("%5d", static_cast<signed char>(data[i]));
  std::printf("\n");
  std::fflush(stdout);
}

bool SANModel::LocalState::fwriteState(FILE* file) const {
  if (std::fwrite(&size, sizeof size, 1, file) != 1) return true;
  return std::fwrite(data.get(), 1, static_cast<size_t>(size), file) <
         static_cast<size_t>(size);
}

bool SANModel::LocalState::freadState(FILE* file) {
  int32_t storedSize = 0;
  if (std::fread(&storedSize, sizeof storedSize, 1, file) != 1) return true;
  // An image of another size would not fit this state's buffer.
  if (storedSize != size) return true;
  return std::fread(data.get(), 1, static_cast<size_t>(size), file) < static_cast<size_t>(size);
}

void SANModel::LocalState::SetState(BaseModelClass* model) const { model->SetState(data.get()); }

void SANModel::LocalState::GetState(BaseModelClass* model) { model->CurrentState(data.get()); }

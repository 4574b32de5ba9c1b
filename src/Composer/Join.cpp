#include "Composer/Join.h"

#include <cstdio>
#include <cstring>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/ErrorHandling.h"
#include "BaseClasses/Primes.h"
#include "BaseClasses/state/BaseStateVariableClass.h"

Join::Join(const char* name, int numChildren, int numShared, const char* const* sharedNames)
    : BaseComposerClass(name, numChildren, numShared, sharedNames) {}

void Join::Setup() {
  GeneralSetup();
  ChildStateSizes.clear();
  for (BaseModelClass* child : Children) ChildStateSizes.push_back(child ? child->StateSize() : 0);
  NumDistinctActionNames = CountDistinctActionNames();
  TableSize = 4 * NumDistinctActionNames;
  ActionNameSlots.assign(TableSize, nullptr);
  ActionNameCounts.assign(TableSize, 0);
  HashActions();
}

int Join::CountDistinctActionNames() const {
  int distinct = 0;
  for (int i = 0; i < numActions; ++i) {
    bool seenBefore = false;
    for (int j = 0; j < i && !seenBefore; ++j) {
      seenBefore = std::strcmp(actions[i]->name, actions[j]->name) == 0;
    }
    if (!seenBefore) ++distinct;
  }
  return distinct;
}

void Join::HashActions() {
  if (TableSize == 0) return;
  for (int i = 0; i < numActions; ++i) {
    const int slot = FindNameSlot(actions[i]->name);
    if (ActionNameSlots[slot] == nullptr) {
      ActionNameSlots[slot] = actions[i]->name;
      ActionNameCounts[slot] = 1;
    } else {
      ++ActionNameCounts[slot];
    }
  }
}

// Quadratic probing (h, h + 1², h − 1², h + 2², …) does not reach every slot
// of a table whose size is not a suitable prime, so after a full round of
// probes the search goes on slot by slot; the table is at most a quarter
// full, so that always ends.
int Join::FindNameSlot(const char* actionName) const {
  if (TableSize == 0) return -1;
  auto usable = [this, actionName](int slot) {
    return ActionNameSlots[slot] == nullptr || std::strcmp(ActionNameSlots[slot], actionName) == 0;
  };
  const int64_t size = TableSize;
  const int64_t h = Hash(actionName, TableSize);
  if (usable(static_cast<int>(h))) return static_cast<int>(h);
  for (int64_t k = 1; k <= size; ++k) {
    const int64_t step = (k * k) % size;
    const int up = static_cast<int>((h + step) % size);
    if (usable(up)) return up;
    const int down = static_cast<int>(((h - step) % size + size) % size);
    if (usable(down)) return down;
  }
  for (int slot = 0; slot < TableSize; ++slot) {
    if (usable(slot)) return slot;
  }
  return -1;
}

int32_t Join::CountActionsNamed(const char* actionName) const {
  const int slot = FindNameSlot(actionName);
  if (slot < 0 || ActionNameSlots[slot] == nullptr) return 0;
  return ActionNameCounts[slot];
}

int Join::StateSize() {
  int size = 0;
  for (BaseModelClass* child : Children) size += child ? child->StateSize() : 0;
  return size + SharedStateSize();
}

void Join::CurrentState(void* buffer) {
  char* at = static_cast<char*>(buffer);
  for (int i = 0; i < NumChildren; ++i) {
    if (Children[i] == nullptr) continue;
    Children[i]->CurrentState(at);
    at += i < static_cast<int>(ChildStateSizes.size()) ? ChildStateSizes[i] : Children[i]->StateSize();
  }
  WriteSharedValues(at, SharedStateSize());
}

void Join::SetState(void* buffer) {
  char* at = static_cast<char*>(buffer);
  for (int i = 0; i < NumChildren; ++i) {
    if (Children[i] == nullptr) continue;
    Children[i]->SetState(at);
    at += i < static_cast<int>(ChildStateSizes.size()) ? ChildStateSizes[i] : Children[i]->StateSize();
  }
  ReadSharedValues(at, SharedStateSize());
}

int Join::WriteSharedValues(char* to, int capacity) {
  int used = 0;
  for (BaseStateVariableClass* sv : SharedStateVariables) {
    if (sv == nullptr || !sv->getStored()) continue;
    if (used + sv->StateSize() > capacity) break;
    sv->CurrentState(to + used);
    used += sv->StateSize();
  }
  return used;
}

int Join::ReadSharedValues(const char* from, int capacity) {
  int used = 0;
  for (BaseStateVariableClass* sv : SharedStateVariables) {
    if (sv == nullptr || !sv->getStored()) continue;
    if (used + sv->StateSize() > capacity) break;
    sv->SetState(const_cast<char*>(from + used));
    used += sv->StateSize();
  }
  return used;
}

BaseModelClass* Join::GetChild(int i) {
  SAN_ASSERT(i >= 0 && i < GetNumberOfChildren(), "i < GetNumberOfChildren()", "Join");
  return Children[i];
}

void Join::GetLocalActions(ActionSList&) { SAN_ASSERT(false, "false", "Join"); }

void Join::GetGlobalActions(ActionSList&) { SAN_ASSERT(false, "false", "Join"); }

bool Join::HasLocalState() { return SharedStateSize() > 0; }

void Join::GetLocalState(State* s) {
  if (s != nullptr) s->GetState(this);
}

void Join::SetLocalState(const State* s) {
  if (s != nullptr) s->SetState(this);
}

void Join::ConstructLocalState(State*& s) { s = new LocalState(SharedStateSize()); }

void Join::DestructLocalState(State* s) { delete s; }

// --- Join::LocalState --------------------------------------------------------

Join::LocalState::LocalState(int32_t bytes) : State(bytes < 0 ? 0 : bytes) {}

int32_t Join::LocalState::hash() const {
  uint32_t sum = 0;
  for (int32_t i = 0; i < size; ++i) {
    const int32_t byte = static_cast<signed char>(data[i]);
    sum += static_cast<uint32_t>(byte) * static_cast<uint32_t>(primes[i % 256]);
  }
  return static_cast<int32_t>(sum);
}

int Join::LocalState::compare(const State& other) const {
  const int32_t common = size < other.size ? size : other.size;
  const int bytes = common > 0 ? std::memcmp(data.get(), other.data.get(), static_cast<size_t>(common)) : 0;
  if (bytes != 0 || size == other.size) return bytes;
  return size < other.size ? -1 : 1;
}

void Join::LocalState::print() const {
  for (int32_t i = 0; i < size; ++i) std::printf("%5d", static_cast<int>(static_cast<signed char>(data[i])));
  std::printf("\n");
  std::fflush(stdout);
}

bool Join::LocalState::fwriteState(FILE* file) const {
  const int32_t length = size;
  if (std::fwrite(&length, sizeof length, 1, file) != 1) return true;
  if (size == 0) return false;
  return std::fwrite(data.get(), 1, static_cast<size_t>(size), file) < static_cast<size_t>(size);
}

// A stored state of another length does not fit this buffer: it is refused
// rather than read past the end.
bool Join::LocalState::freadState(FILE* file) {
  int32_t length = 0;
  if (std::fread(&length, sizeof length, 1, file) != 1) return true;
  if (length != size) return true;
  if (size == 0) return false;
  return std::fread(data.get(), 1, static_cast<size_t>(size), file) < static_cast<size_t>(size);
}

State& Join::LocalState::operator=(const State& other) {
  if (this == &other) return *this;
  SAN_ASSERT(size == other.size, "size == _localS->size", "Join");
  if (size > 0) std::memcpy(data.get(), other.data.get(), static_cast<size_t>(size));
  return *this;
}

Join::LocalState& Join::LocalState::operator=(const LocalState& other) {
  static_cast<State&>(*this) = static_cast<const State&>(other);  // the override above
  return *this;
}

void Join::LocalState::SetState(BaseModelClass* model) const {
  if (Join* join = dynamic_cast<Join*>(model)) join->ReadSharedValues(data.get(), size);
}

void Join::LocalState::GetState(BaseModelClass* model) {
  if (Join* join = dynamic_cast<Join*>(model)) join->WriteSharedValues(data.get(), size);
}

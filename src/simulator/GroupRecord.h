// Per-group scheduling record and the reactivation list it points into.
// A group's record tells whether the group has an event (handle) and, while
// notInReactivationList is false, where the group stands in the list.
#pragma once

class BaseGroupClass;
class Event;

// One entry of the reactivation list: a doubly linked node, so an entry can
// be unlinked through the position kept in its group's record.
struct ReactivationEntry {
  BaseGroupClass* group = nullptr;
  ReactivationEntry* prev = nullptr;
  ReactivationEntry* next = nullptr;
};

// Enabled groups whose reactivation is examined after each firing; new
// entries go to the front. Owns its entries.
class ReactivationList {
 public:
  ReactivationList() = default;
  ~ReactivationList() { Clear(); }
  ReactivationList(const ReactivationList&) = delete;
  ReactivationList& operator=(const ReactivationList&) = delete;

  ReactivationEntry* front() const { return head_; }
  bool empty() const { return head_ == nullptr; }

  ReactivationEntry* PushFront(BaseGroupClass* group) {
    auto* entry = new ReactivationEntry{group, nullptr, head_};
    if (head_) head_->prev = entry;
    head_ = entry;
    return entry;
  }

  // Unlinks and frees one entry.
  void Erase(ReactivationEntry* entry) {
    if (entry->prev) entry->prev->next = entry->next; else head_ = entry->next;
    if (entry->next) entry->next->prev = entry->prev;
    delete entry;
  }

  void Clear() {
    while (head_) Erase(head_);
  }

 private:
  ReactivationEntry* head_ = nullptr;  // front of the list; null when empty
};

struct GroupRecord {
  Event** handle = nullptr;              // event-list handle; null when unscheduled
  bool notInReactivationList = true;
  ReactivationEntry* position = nullptr; // valid while notInReactivationList is false
};

// Per-group scheduling record and the reactivation list that threads through
// the records. A group's record tells whether the group has an event (handle)
// and, while notInReactivationList is false, where the group stands in the
// list. Each record carries its own list entry, so a group is in the list at
// most once and joining or leaving the list never allocates.
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
// entries go to the front. The entries belong to the group records; the list
// only links them.
class ReactivationList {
 public:
  ReactivationList() = default;
  ~ReactivationList() { Clear(); }
  ReactivationList(const ReactivationList&) = delete;
  ReactivationList& operator=(const ReactivationList&) = delete;

  ReactivationEntry* front() const { return head_; }
  bool empty() const { return head_ == nullptr; }

  ReactivationEntry* PushFront(ReactivationEntry* entry, BaseGroupClass* group) {
    entry->group = group;
    entry->prev = nullptr;
    entry->next = head_;
    if (head_) head_->prev = entry;
    head_ = entry;
    return entry;
  }

  // Unlinks one entry.
  void Erase(ReactivationEntry* entry) {
    if (entry->prev) entry->prev->next = entry->next; else head_ = entry->next;
    if (entry->next) entry->next->prev = entry->prev;
    entry->prev = entry->next = nullptr;
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
  ReactivationEntry entry;               // storage of this group's list entry
};

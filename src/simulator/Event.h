// One scheduled completion: the group that completes, when, and when it was
// scheduled. Records are owned by the EventList and copied, never shared.
#pragma once

class BaseActionClass;

class Event {
 public:
  Event() = default;
  Event(double time, double scheduledAt, BaseActionClass* action)
      : time(time), scheduledAt(scheduledAt), action(action) {}
  Event(const Event&) = default;
  Event& operator=(const Event&) = default;
  ~Event() = default;

  double time = -1.0;                 // completion time
  double scheduledAt = 0.0;           // time of scheduling or last resampling
  BaseActionClass* action = nullptr;  // the completing group; null in the pool
};

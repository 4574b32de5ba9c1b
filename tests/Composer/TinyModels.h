// Small atomic models for exercising composition on its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "BaseClasses/Activity.h"
#include "BaseClasses/SANModel.h"
#include "BaseClasses/state/Place.h"

// Enabled while its place is marked; each firing adds one token.
class TickActivity : public Activity {
 public:
  TickActivity(const char* actionName, Place* p) : place(p) {
    ActivityInitialize(actionName, 0, EXPONENTIAL, RaceEnabledPolicy, 1, 1, false);
  }
  bool Enabled() override {
    enabledBefore = enabledNow;
    enabledNow = *mark > 0;
    return enabledNow;
  }
  BaseActionClass* Fire() override {
    ++*mark;
    return this;
  }
  void LinkVariables() override { place->registerPointer(&mark); }

  Place* place;
  short* mark = nullptr;
};

// A SAN with the places "link" (shareable) and "local", and one activity on
// "link"; with no places at all when `empty`.
class TinySAN : public SANModel {
 public:
  TinySAN(const char* modelName, const char* actionName, short linkMark, short localMark, bool empty = false) {
    if (!empty) {
      link = std::make_unique<Place>("link", linkMark);
      local = std::make_unique<Place>("local", localMark);
    }
    tick = std::make_unique<TickActivity>(actionName, link.get());
    BaseStateVariableClass* placeArray[2] = {link.get(), local.get()};
    Activity* actionArray[1] = {tick.get()};
    BaseGroupClass* groupArray[1] = {tick.get()};
    initializeSANModelNow(modelName, empty ? 0 : 2, placeArray, 0, nullptr, 1, actionArray, 1, groupArray);
    if (!empty) {
      AddAffectArc(link.get(), tick.get());
      AddEnableArc(link.get(), tick.get());
      tick->LinkVariables();
    }
  }
  ~TinySAN() override {
    // Places before the activity, as generated models do.
    link.reset();
    local.reset();
  }

  std::unique_ptr<Place> link;
  std::unique_ptr<Place> local;
  std::unique_ptr<TickActivity> tick;
};

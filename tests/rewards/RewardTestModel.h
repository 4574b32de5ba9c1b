// Small hand-built models for the reward tests: a named model with places
// and marking-setting actions, optionally with child models whose lookups it
// forwards (so several instances of one submodel name can be composed).
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseModelClass.h"
#include "BaseClasses/state/Place.h"
#include "rewards/ImpulseNodeClass.h"
#include "rewards/InstantOfTime.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"

// Fires by writing a fixed marking into its place.
class SetMarkAction : public BaseActionClass {
 public:
  SetMarkAction(const char* actionName, Place* target, short value) : target_(target), value_(value) {
    defineName(actionName);
  }
  BaseActionClass* Fire() override {
    if (target_) *target_->Mark = value_;
    return this;
  }

 private:
  Place* target_;
  short value_;
};

class TestModel : public BaseModelClass {
 public:
  explicit TestModel(const char* modelName) { DefineName(modelName); }
  ~TestModel() override = default;

  Place* AddPlace(const char* placeName, short marking) {
    places_.push_back(std::make_unique<Place>(placeName, marking));
    numStateVariables++;
    return places_.back().get();
  }
  // An action that writes `value` into each of `targets`.
  SetMarkAction* AddAction(const char* actionName, std::vector<Place*> targets, short value) {
    own_.push_back(std::make_unique<SetMarkAction>(actionName, targets.empty() ? nullptr : targets[0], value));
    for (Place* p : targets) AddAffectArc(p, own_.back().get());
    return own_.back().get();
  }
  TestModel* AddChild(const char* childName) {
    children_.push_back(std::make_unique<TestModel>(childName));
    return children_.back().get();
  }
  Place* FindPlace(const char* placeName) const {
    for (const auto& p : places_)
      if (std::strcmp(p->name, placeName) == 0) return p.get();
    return nullptr;
  }
  // Publishes the action list of this model and its children (call last).
  void Finish() {
    std::vector<BaseActionClass*> all;
    CollectActions(all);
    numActions = static_cast<int32_t>(all.size());
    actions.reset(new BaseActionClass*[all.size()]);
    for (size_t i = 0; i < all.size(); i++) actions[i] = all[i];
    for (auto& c : children_) c->Finish();
  }

  void listModels(const char* wanted, List<BaseModelClass>* list) override {
    if (std::strcmp(wanted, name) == 0) list->append(this);
    for (auto& c : children_) c->listModels(wanted, list);
  }
  void listActions(List<BaseActionClass>* list) override {
    for (int32_t i = 0; i < numActions; i++) list->append(actions[i]);
  }
  void listGroups(List<BaseGroupClass>*) override {}
  void listActions(const char* wanted, List<BaseActionClass>* list) override {
    for (auto& a : own_)
      if (std::strcmp(a->name, wanted) == 0) {
        list->append(a.get());
        break;
      }
    for (auto& c : children_) c->listActions(wanted, list);
  }
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svList,
               List<BaseModelClass>* modelList) override {
    if (std::strcmp(modelName, name) == 0)
      for (auto& p : places_)
        if (std::strcmp(p->name, svName) == 0) {
          svList->append(p.get());
          modelList->append(this);
        }
    for (auto& c : children_) c->listSVs(modelName, svName, svList, modelList);
  }
  int StateSize() override {
    int size = 2 * static_cast<int>(places_.size());
    for (auto& c : children_) size += c->StateSize();
    return size;
  }
  void CurrentState(void* buffer) override {
    auto* out = static_cast<char*>(buffer);
    for (auto& p : places_) {
      p->CurrentState(out);
      out += 2;
    }
    for (auto& c : children_) {
      c->CurrentState(out);
      out += c->StateSize();
    }
  }
  void SetState(void* buffer) override {
    auto* in = static_cast<char*>(buffer);
    for (auto& p : places_) {
      p->SetState(in);
      in += 2;
    }
    for (auto& c : children_) {
      c->SetState(in);
      in += c->StateSize();
    }
  }
  bool CompareState(void* a, void* b) override { return std::memcmp(a, b, static_cast<size_t>(StateSize())) == 0; }

 private:
  void CollectActions(std::vector<BaseActionClass*>& all) {
    for (auto& a : own_) all.push_back(a.get());
    for (auto& c : children_) c->CollectActions(all);
  }

  std::vector<std::unique_ptr<Place>> places_;
  std::vector<std::unique_ptr<SetMarkAction>> own_;
  std::vector<std::unique_ptr<TestModel>> children_;
};

// Instant-of-time worker reading the marking of one place of its first
// bound model.
class MarkingWorker : public InstantOfTime {
 public:
  explicit MarkingWorker(std::string placeName) : placeName_(std::move(placeName)) {
    AddModelSlot(&first);
    AddModelSlot(&second);
  }
  double Reward_Function() override {
    return static_cast<TestModel*>(first)->FindPlace(placeName_.c_str())->getMark();
  }
  BaseModelClass* first = nullptr;
  BaseModelClass* second = nullptr;

 private:
  std::string placeName_;
};

// Interval worker: the marking times the part of (last, now] inside the
// window; the node adds it at every step with weight 1.
class IntervalMarkingWorker : public MarkingWorker {
 public:
  using MarkingWorker::MarkingWorker;
  void Accumulate(double now, double last) override {
    RewardWeight = 1.0;
    const double from = last > StartTime ? last : StartTime;
    const double to = now < StopTime ? now : StopTime;
    Value = to > from ? Reward_Function() * (to - from) : 0.0;
    SquaredValue = Value * Value;
  }
};

// Counts the firings of its action.
class CountingImpulse : public ImpulseNodeClass {
 public:
  void EndAccumulate(double) override {}
  double Impulse_Function() override { return 1.0; }
  void Accumulate(double, double) override { Value += Impulse_Function(); }
  void CurrentReward() override { Value = SquaredValue = 1.0; }
  void Reset() override { ImpulseNodeClass::Reset(); }
  ImpulseNodeClass** CreateWorkerList(int n) override {
    auto** workers = new ImpulseNodeClass*[static_cast<size_t>(n)];
    for (int i = 0; i < n; i++) workers[i] = new CountingImpulse();
    return workers;
  }
};

// A node whose workers come from a factory; the tests choose its
// dependencies and window.
class TestNode : public PerformanceVariableNode {
 public:
  using Factory = std::function<PerformanceVariableWorker*()>;
  TestNode(const char* variableName, int type, std::vector<double> starts, std::vector<double> stops,
           int timeIndex, Factory factory)
      : factory_(std::move(factory)) {
    TopModelSlot = &top_;
    Initialize(variableName, type, static_cast<int>(starts.size()), starts.data(), stops.data(),
               timeIndex, 0, 2, 1);
  }
  ~TestNode() override {
    for (PerformanceVariableWorker* w : Workers) delete w;
  }
  void CreateWorkerList() override {
    for (PerformanceVariableWorker*& w : Workers) w = factory_();
  }
  // The set-up the reward model performs for one node, for nodes driven by hand.
  void Bind(BaseModelClass* top) {
    FixReferences(top);
    CreateModelGroupList();
    CreateWorkerList();
    FixWorkerList();
  }

  CountingImpulse prototype;  // used by the impulse tests

 private:
  BaseModelClass* top_ = nullptr;
  Factory factory_;
};

// A reward model over a TestModel, with nodes made by a test-supplied function.
class TestPVModel : public PVModel {
 public:
  using NodeMaker = std::function<PerformanceVariableNode*(int, int)>;
  TestPVModel(TestModel* top, NodeMaker maker) : maker_(std::move(maker)) { TopModel = top; }
  PerformanceVariableNode* createPVNode(int variableIndex, int timeIndex) override {
    return maker_(variableIndex, timeIndex);
  }

 private:
  NodeMaker maker_;
};

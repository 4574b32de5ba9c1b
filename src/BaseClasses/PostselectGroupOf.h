// A postselect group whose cases are activities of types known when the
// model is built. It behaves exactly as PostselectGroup, member call for
// member call and in the same order, but reaches its cases through their
// concrete (final) types, so the calls bind directly instead of through the
// members array. Owns nothing beyond PostselectGroup; the cases belong to
// the model. Invariants: no case is null; while the members array has not
// been edited since the cases were appended (memberEdits unchanged), it
// holds exactly the cases, in order, and every operation takes the direct
// route; once it is edited, the group falls back to PostselectGroup's.
#pragma once

#include <cstdint>
#include <tuple>
#include <type_traits>

#include "BaseClasses/Activity.h"
#include "BaseClasses/ErrorHandling.h"
#include "BaseClasses/PostselectGroup.h"

template <class... Cases>
class PostselectGroupOf final : public PostselectGroup {
  static_assert(sizeof...(Cases) > 0, "a postselect group has at least one case");
  static_assert((std::is_final_v<Cases> && ...), "cases must be final for their calls to bind");
  static_assert((std::is_base_of_v<Activity, Cases> && ...), "cases are activities");

 public:
  // Every case must exist: the direct route calls each one without a test.
  PostselectGroupOf(const char* groupName, Cases*... cases) : cases_(cases...) {
    SAN_ASSERT(((cases != nullptr) && ...), "every case != nullptr", "PostselectGroupOf.h");
    initialize(static_cast<int>(sizeof...(Cases)), groupName);
    (appendGroup(cases), ...);
    builtEdits_ = memberEdits;
  }

  bool Enabled() override {
    return AsBuilt() ? AnyMemberEnabled(view()) : PostselectGroup::Enabled();
  }
  bool EnablingChange() override {
    return AsBuilt() ? AnyMemberEnablingChange(view()) : PostselectGroup::EnablingChange();
  }
  bool SelectAction() override {
    return AsBuilt() ? SelectFrom(view()) : PostselectGroup::SelectAction();
  }
  BaseActionClass* Fire() override {
    return AsBuilt() ? FireFrom(view()) : PostselectGroup::Fire();
  }
  // All cases share the timing of the first.
  bool ReactivationPredicate() override {
    return AsBuilt() ? first()->ReactivationPredicate() : PostselectGroup::ReactivationPredicate();
  }
  bool ReactivationFunction() override {
    return AsBuilt() ? first()->ReactivationFunction() : PostselectGroup::ReactivationFunction();
  }
  double SampleDistribution() override {
    return AsBuilt() ? first()->SampleDistribution() : PostselectGroup::SampleDistribution();
  }

 private:
  // The cases through their own types; the algorithms of BaseGroupClass run
  // over it as over the members array.
  struct CaseView {
    const std::tuple<Cases*...>& cases;

    template <class F> void forEach(F&& f) const {
      std::apply([&](auto*... c) { (VisitCase(c, f), ...); }, cases);
    }
    template <class Case> static bool EnablingChange(Case* c) {
      if constexpr (UsesActivityEnablingChange<Case>()) return Activity::EnablingChangeOf(c);
      else return c->EnablingChange();
    }
    BaseActionClass* Selection(BaseActionClass* chosen) const {
      BaseActionClass* selection = nullptr;
      const bool found = OnCase(chosen, [&](auto* c) {
        SelectCase(c);
        selection = c->selectedAction;
      });
      return found ? selection : ArrayMembers::Selection(chosen);
    }
    BaseActionClass* Fire(BaseActionClass* selected) const {
      BaseActionClass* fired = nullptr;
      const bool found = OnCase(selected, [&](auto* c) { fired = c->Fire(); });
      return found ? fired : selected->Fire();
    }

   private:
    // Calls f on the first case that is `target`, through its own type;
    // false when no case is.
    template <class F> bool OnCase(BaseActionClass* target, F&& f) const {
      bool found = false;
      forEach([&](auto* c) {
        if (found || c != target) return;
        found = true;
        f(c);
      });
      return found;
    }
    template <class Case, class F> static void VisitCase(Case* c, F& f) { f(c); }
    template <class Case> static void SelectCase(Case* c) {
      if constexpr (UsesActivitySelectAction<Case>()) Activity::SelectActionOf(c);
      else c->SelectAction();
    }
    // Whether the case inherits Activity's own operation, whose body the
    // direct route then repeats with the case's type.
    template <class Case> static constexpr bool UsesActivityEnablingChange() {
      return std::is_same_v<decltype(&Case::EnablingChange), bool (Activity::*)()>;
    }
    template <class Case> static constexpr bool UsesActivitySelectAction() {
      return std::is_same_v<decltype(&Case::SelectAction), bool (Activity::*)()>;
    }
  };

  CaseView view() const { return CaseView{cases_}; }
  auto* first() const { return std::get<0>(cases_); }

  bool AsBuilt() const { return memberEdits == builtEdits_; }

  std::tuple<Cases*...> cases_;  // the cases, in member order (not owned)
  uint32_t builtEdits_ = 0;      // memberEdits once the cases were appended
};

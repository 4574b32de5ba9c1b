// A postselect group whose cases are activities of types known when the
// model is built. It behaves exactly as PostselectGroup, member call for
// member call and in the same order, but reaches its cases through their
// concrete (final) types, so the calls bind directly instead of through the
// members array. When the model marks the group enablingFromMarking, the
// chosen case is not asked again for the enabling it gave a moment before,
// and firing a case the model declares kLeavesMarking leaves the group's
// enabling known (enabledAfterFiring). Owns nothing beyond PostselectGroup;
// the cases belong to the model. Invariants: no case is null; while the
// members array has not been edited since the cases were appended
// (memberEdits unchanged), it holds exactly the cases, in order, and every
// operation takes the direct route; once it is edited, the group falls back
// to PostselectGroup's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

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
    ((cases->leavesMarking = LeavesMarking<Cases>()), ...);
    builtEdits_ = memberEdits;
  }

  bool Enabled() override {
    return AsBuilt() ? AnyMemberEnabled(view()) : PostselectGroup::Enabled();
  }
  bool EnablingChange() override {
    if (!AsBuilt()) return PostselectGroup::EnablingChange();
    const bool changed = AnyMemberEnablingChange(view());
    enablingAtChange = AnyCaseEnabled(kAllCases);
    return changed;
  }
  bool SelectAction() override {
    return AsBuilt() ? ChooseCase<false>() >= 0 : PostselectGroup::SelectAction();
  }
  BaseActionClass* Fire() override {
    return AsBuilt() ? FireCase() : PostselectGroup::Fire();
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
    BaseActionClass* Fire(BaseActionClass* selected) const {
      BaseActionClass* fired = nullptr;
      const bool found = OnCase(selected, [&](auto* c) { fired = c->Fire(); });
      return found ? fired : selected->Fire();
    }

    template <class Case> static void SelectCase(Case* c) {
      if constexpr (UsesActivitySelectAction<Case>()) Activity::SelectActionOf(c);
      else c->SelectAction();
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
    // Whether the case inherits Activity's own operation, whose body the
    // direct route then repeats with the case's type.
    template <class Case> static constexpr bool UsesActivityEnablingChange() {
      return std::is_same_v<decltype(&Case::EnablingChange), bool (Activity::*)()>;
    }

   public:
    template <class Case> static constexpr bool UsesActivitySelectAction() {
      return std::is_same_v<decltype(&Case::SelectAction), bool (Activity::*)()>;
    }
  };

  static constexpr std::size_t kCaseCount = sizeof...(Cases);
  static constexpr auto kAllCases = std::index_sequence_for<Cases...>{};

  // The cases as SelectFrom sees them when the group chooses one, unrolled,
  // with the case number of each table entry kept beside the table, so that
  // the chosen case is reached through its own type without searching the
  // cases for it. When Firing and the group's enabling is recorded, each
  // case's recorded enabling stands for its Enabled().
  template <bool Firing> class CaseChoice {
   public:
    explicit CaseChoice(PostselectGroupOf& group) : group_(group) {}

    void EnterEach(bool& anyEnabled, int& k) {
      const bool recorded = Firing && group_.enablingRecorded;
      EnterCases(recorded, anyEnabled, k, kAllCases);
    }
    BaseActionClass* Selection(int entry) {
      chosen = caseOf_[entry];
      return SelectChosen(kAllCases);
    }

    int chosen = -1;  // the number of the chosen case, once Selection ran

   private:
    template <std::size_t... I>
    void EnterCases(bool recorded, bool& anyEnabled, int& k, std::index_sequence<I...>) {
      (EnterCase<I>(recorded, anyEnabled, k), ...);
    }
    template <std::size_t I> void EnterCase(bool recorded, bool& anyEnabled, int& k) {
      auto* c = std::get<I>(group_.cases_);
      const int entry =
          group_.EnterMemberEnabled(c, recorded ? c->enabledNow : c->Enabled(), anyEnabled, k);
      if (entry >= 0) caseOf_[entry] = static_cast<int>(I);
    }
    template <std::size_t... I> BaseActionClass* SelectChosen(std::index_sequence<I...>) {
      BaseActionClass* selected = nullptr;
      ((chosen == static_cast<int>(I) ? void(selected = group_.template SelectOnCase<I>()) : void()),
       ...);
      return selected;
    }

    PostselectGroupOf& group_;
    int caseOf_[kCaseCount];  // the case of each table entry in use
  };

  // SelectFrom over the cases. Returns the number of the chosen case, or
  // -1 where SelectFrom returns false.
  template <bool Firing> [[gnu::always_inline]] int ChooseCase() {
    CaseChoice<Firing> choice(*this);
    return SelectFrom(choice) ? choice.chosen : -1;
  }

  // The chosen case's own selection, then what it selected. An activity's
  // own selection is its Enabled(), just asked on the same marking when
  // the case was entered; for a group whose enabling is a function of the
  // marking the answer is reused.
  template <std::size_t I> BaseActionClass* SelectOnCase() {
    auto* c = std::get<I>(cases_);
    using Case = std::remove_pointer_t<decltype(c)>;
    if (!(enablingFromMarking && CaseView::template UsesActivitySelectAction<Case>()))
      CaseView::SelectCase(c);
    return c->selectedAction;
  }

  // FireFrom over the cases: a case that selected itself fires through its
  // own type; anything else it selected is fired as the members view would.
  BaseActionClass* FireCase() {
    const int chosen = ChooseCase<true>();
    if (chosen < 0 || selectedAction == nullptr) return nullptr;
    BaseActionClass* firedAction = FireChosen(chosen, kAllCases);
    selectedAction = nullptr;
    return firedAction;
  }
  template <std::size_t... I> BaseActionClass* FireChosen(int chosen, std::index_sequence<I...>) {
    BaseActionClass* firedAction = nullptr;
    const bool direct = ((chosen == static_cast<int>(I) && FireIfSelected<I>(firedAction)) || ...);
    return direct ? firedAction : view().Fire(selectedAction);
  }
  template <std::size_t I> bool FireIfSelected(BaseActionClass*& firedAction) {
    auto* c = std::get<I>(cases_);
    if (selectedAction != c) return false;
    firedAction = c->Fire();
    // Every case was asked in EnterCase and one was enabled; the mark also
    // tells the firing step that the firing reported its action.
    using Case = std::remove_pointer_t<decltype(c)>;
    if constexpr (LeavesMarking<Case>()) enabledAfterFiring = enablingFromMarking && firedAction != nullptr;
    return true;
  }
  // Whether any case's recorded enabling is true.
  template <std::size_t... I> bool AnyCaseEnabled(std::index_sequence<I...>) const {
    return (std::get<I>(cases_)->enabledNow || ...);
  }
  // Whether the model declares that the case's Fire() changes no place.
  template <class Case> static constexpr bool LeavesMarking() {
    if constexpr (requires { Case::kLeavesMarking; }) return Case::kLeavesMarking;
    else return false;
  }

  CaseView view() const { return CaseView{cases_}; }
  auto* first() const { return std::get<0>(cases_); }

  bool AsBuilt() const { return memberEdits == builtEdits_; }

  std::tuple<Cases*...> cases_;  // the cases, in member order (not owned)
  uint32_t builtEdits_ = 0;      // memberEdits once the cases were appended
};

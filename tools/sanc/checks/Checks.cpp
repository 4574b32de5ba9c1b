#include "checks/Checks.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "model/Analysis.h"
#include "model/Diagnostic.h"

namespace sanc {
namespace {

class Checker {
 public:
  explicit Checker(const Model& model) : model_(model) {}

  void Run() {
    CheckGlobals();
    CheckSubmodelNames();
    for (const San& san : model_.sans) CheckSan(san);
    for (const Join& join : model_.joins) CheckJoin(join);
    CheckNoCycles();
    CheckReward();
    CheckStudy();
  }

 private:
  [[noreturn]] void Refuse(Where where, const std::string& what) const { Fail(model_, where, what); }

  // --- Names ---
  void CheckDeclaredName(const Name& name, const char* what) const {
    static const std::set<std::string> kCppWords = {
        "auto", "bool", "break", "case", "char", "class", "const", "continue", "default", "delete", "do",
        "double", "else", "enum", "explicit", "extern", "false", "float", "for", "friend", "goto", "if",
        "inline", "int", "long", "namespace", "new", "operator", "private", "protected", "public",
        "register", "return", "short", "signed", "sizeof", "static", "struct", "switch", "template", "this",
        "throw", "true", "try", "typedef", "union", "unsigned", "using", "virtual", "void", "volatile",
        "while", "std"};
    if (name.text.find('.') != std::string::npos)
      Refuse(name.where, std::string("a ") + what + " name may not contain '.'");
    if (kCppWords.count(name.text))
      Refuse(name.where, std::string("'") + name.text + "' is a word of C++ and cannot name a " + what);
    // Places and activities become members of classes derived from the
    // framework's; these names are the framework's own there.
    static const std::set<std::string> kFrameworkNames = {
        "Enabled", "EnablingChange", "Rate", "Weight", "Rank", "SampleDistribution", "ReturnDistributionParameters",
        "ReactivationPredicate", "ReactivationFunction", "Fire", "LinkVariables", "DeterministicParamValue",
        "TheDistributionParameters", "Children", "Share", "Setup", "TheModel", "Model", "Workers", "TheStudy"};
    if (kFrameworkNames.count(name.text))
      Refuse(name.where, "'" + name.text + "' is a name of the simulator's framework and cannot name a " + what);
  }
  template <class List, class NameOf>
  void CheckUnique(const List& list, NameOf nameOf, const std::string& what) const {
    std::map<std::string, Where> seen;
    for (const auto& item : list) {
      const Name& name = nameOf(item);
      auto [it, fresh] = seen.emplace(name.text, name.where);
      if (!fresh)
        Refuse(name.where, "duplicate " + what + " '" + name.text + "' (first declared on line " +
                               std::to_string(it->second.line) + ")");
    }
  }

  std::vector<std::string> GlobalNames() const {
    std::vector<std::string> names;
    for (const Global& g : model_.globals) names.push_back(g.name.text);
    return names;
  }
  std::vector<std::string> PlaceNames(const San& san) const {
    std::vector<std::string> names;
    for (const Place& p : san.places) names.push_back(p.name.text);
    return names;
  }
  void CheckPlace(const San& san, const Name& place) const {
    if (FindPlace(san, place.text) == nullptr)
      Refuse(place.where, "unknown place '" + place.text + "' in san " + san.name.text + "; " +
                              Candidates(place.text, PlaceNames(san), "places"));
  }

  // --- Expressions ---
  // Every name of the expression means something in `scope`; whole numbers
  // fit an int.
  void CheckNames(const Expression& e, const Scope& scope) const {
    std::function<void(const expr::Node&)> visit = [&](const expr::Node& node) {
      for (const expr::Node& operand : node.operands) visit(operand);
      const Where where{e.where.line, node.token.column};
      const std::string& text = node.token.text;
      if (node.op == expr::Op::Number &&
          (text.find_first_of("xXpP") != std::string::npos || (text.size() > 1 && text[0] == '0' && std::isdigit(static_cast<unsigned char>(text[1])))))
        Refuse(where, "write numbers in decimal, without leading zeros ('" + text + "')");
      if (node.op == expr::Op::Number && IsIntegral(TypeOf(model_, node, scope)) && node.token.number > INT_MAX)
        Refuse(where, "the whole number " + node.token.text + " does not fit an int; write it as " +
                          node.token.text + ".0");
      if (node.op != expr::Op::Name) return;
      const std::string& name = node.token.text;
      if (scope.kind == Scope::Numbers)
        Refuse(where, "'" + name + "': only numbers may be written here");
      if (FindGlobal(model_, name) != nullptr) return;
      std::vector<std::string> valid = GlobalNames();
      if (scope.kind == Scope::SanPlaces) {
        if (FindPlace(*scope.san, name) != nullptr) return;
        for (const Place& p : scope.san->places) valid.push_back(p.name.text);
        Refuse(where, "unknown name '" + name + "'; " + Candidates(name, valid, "places and global variables"));
      }
      if (scope.kind == Scope::RewardPlaces) {
        std::string place;
        const San* san = SanOfQualified(model_, name, &place);
        if (san != nullptr && measured_.count(san->name.text)) return;
        for (const std::string& s : measured_)
          for (const Place& p : FindSan(model_, s)->places) valid.push_back(s + "." + p.name.text);
        Refuse(where, "unknown name '" + name + "'; " +
                          Candidates(name, valid, "submodel.place of the measured model, and global variables"));
      }
      Refuse(where, "unknown name '" + name + "'; " + Candidates(name, valid, "global variables"));
    };
    visit(e.tree);
  }
  void CheckWhole(const Expression& e, const Scope& scope, const std::string& what) const {
    CheckNames(e, scope);
    const Type type = TypeOf(model_, e.tree, scope);
    if (!IsIntegral(type))
      Refuse(e.where, "type mismatch: " + what + " is a whole number, but '" + e.text + "' is a " + TypeName(type));
  }
  void CheckNotNegative(const Expression& e, const std::string& what) const {
    if (!IsConstant(e.tree)) return;
    const double value = ConstantValue(e.tree);
    if (!(value >= 0.0))
      Refuse(e.where, what + " '" + e.text + "' is negative or not a number; it must be 0 or more");
  }
  // A number that the type holds (whole and in range for the integer types).
  void CheckValueOfType(const Expression& e, Type type, const std::string& what) const {
    CheckNames(e, Scope{});
    const double value = ConstantValue(e.tree);
    if (!std::isfinite(value)) Refuse(e.where, what + " '" + e.text + "' is not a finite number");
    if (!IsIntegral(type)) return;
    const double lowest = type == Type::Char ? -128 : type == Type::Short ? -32768 : INT_MIN;
    const double highest = type == Type::Char ? 127 : type == Type::Short ? 32767 : INT_MAX;
    if (value != std::floor(value) || value < lowest || value > highest)
      Refuse(e.where, "type mismatch: " + what + " '" + e.text + "' is not a " + TypeName(type) + " (a whole number from " +
                          std::to_string(static_cast<long long>(lowest)) + " to " +
                          std::to_string(static_cast<long long>(highest)) + ")");
  }

  // --- Globals ---
  void CheckGlobals() const {
    CheckUnique(model_.globals, [](const Global& g) -> const Name& { return g.name; }, "global variable");
    for (const Global& g : model_.globals) {
      CheckDeclaredName(g.name, "global variable");
      CheckValueOfType(g.value, g.type, "the default of " + g.name.text);
    }
  }

  // --- SANs ---
  void CheckSubmodelNames() const {
    std::vector<Name> names;
    for (const San& s : model_.sans) names.push_back(s.name);
    for (const Join& j : model_.joins) names.push_back(j.name);
    CheckUnique(names, [](const Name& n) -> const Name& { return n; }, "submodel");
    for (const Name& n : names) CheckDeclaredName(n, "submodel");
  }

  void CheckSan(const San& san) const {
    if (san.activities.empty()) Refuse(san.name.where, "san " + san.name.text + " has no activity");
    CheckUnique(san.places, [](const Place& p) -> const Name& { return p.name; }, "place");
    const Scope globals{Scope::Globals, nullptr};
    for (const Place& p : san.places) {
      CheckDeclaredName(p.name, "place");
      if (FindGlobal(model_, p.name.text) != nullptr)
        Refuse(p.name.where, "place '" + p.name.text + "' has the name of a global variable");
      CheckWhole(p.initial, globals, "a marking");
      if (IsConstant(p.initial.tree)) {
        const double value = ConstantValue(p.initial.tree);
        if (value < -32768 || value > 32767) Refuse(p.initial.where, "a marking must lie in -32768 ... 32767");
      }
    }
    std::vector<Name> actions;
    for (const Activity& a : san.activities) {
      actions.push_back(a.name);
      if (a.explicitCases)
        for (size_t k = 0; k < a.cases.size(); ++k)
          actions.push_back({a.name.text + "_case" + std::to_string(k + 1), a.cases[k].where});
    }
    CheckUnique(actions, [](const Name& n) -> const Name& { return n; }, "activity");
    // Places, activities and groups of cases are members of one class.
    std::vector<Name> members;
    for (const Place& p : san.places) members.push_back(p.name);
    for (const Activity& a : san.activities) {
      members.push_back(a.name);
      if (a.explicitCases) members.push_back({a.name.text + "Group", a.name.where});
    }
    CheckUnique(members, [](const Name& n) -> const Name& { return n; }, "name in san " + san.name.text + ":");
    for (const Activity& a : san.activities) CheckActivity(san, a);
  }

  void CheckActivity(const San& san, const Activity& a) const {
    CheckDeclaredName(a.name, "activity");
    const Scope scope{Scope::SanPlaces, &san};
    if (a.timed) {
      const DistributionInfo* d = FindDistribution(a.distribution.text);
      if (d == nullptr)
        Refuse(a.distribution.where, "unknown distribution '" + a.distribution.text + "'; " +
                                         Candidates(a.distribution.text, DistributionNames(), "distributions"));
      if (a.parameters.size() != d->parameters.size())
        Refuse(a.distribution.where, a.distribution.text + " takes " + std::to_string(d->parameters.size()) +
                                         " parameter" + (d->parameters.size() == 1 ? "" : "s") + ", not " +
                                         std::to_string(a.parameters.size()));
      for (size_t i = 0; i < a.parameters.size(); ++i) {
        CheckNames(a.parameters[i], scope);
        if (d->parameters[i].second) CheckNotNegative(a.parameters[i], std::string("the ") + d->parameters[i].first);
      }
    }
    if (a.reactivation) {
      if (!a.timed) Refuse(a.reactivation->where, "an instantaneous activity is never reactivated");
      if (a.explicitCases)
        Refuse(a.reactivation->where, "reactivation of an activity with cases is not supported");
      CheckNames(*a.reactivation, scope);
    }
    for (const Arc& arc : a.inputArcs) CheckPlace(san, arc.place);
    for (const Gate& gate : a.inputGates) {
      CheckNames(*gate.predicate, scope);
      CheckFunction(san, gate.function);
    }
    for (const Case& c : a.cases) {
      CheckNames(c.weight, scope);
      CheckNotNegative(c.weight, "the case weight");
      for (const Output& output : c.outputs) {
        if (output.arc) CheckPlace(san, output.arc->place);
        if (output.gate) CheckFunction(san, output.gate->function);
      }
    }
  }

  void CheckFunction(const San& san, const std::vector<Assignment>& function) const {
    const Scope scope{Scope::SanPlaces, &san};
    for (const Assignment& a : function) {
      CheckPlace(san, a.place);
      CheckWhole(a.value, scope, "a marking");
    }
  }

  // --- Joins ---
  // The places a submodel offers to a join above it: a SAN's places, a
  // join's shared places.
  std::vector<std::string> Offered(const std::string& submodel) const {
    if (const San* san = FindSan(model_, submodel)) return PlaceNames(*san);
    std::vector<std::string> names;
    if (const Join* join = FindJoin(model_, submodel))
      for (const Share& s : join->shares) names.push_back(s.place.text);
    return names;
  }

  void CheckJoin(const Join& join) const {
    if (join.children.empty()) Refuse(join.name.where, "join " + join.name.text + " has no submodel");
    std::vector<std::string> submodels;
    for (const San& s : model_.sans) submodels.push_back(s.name.text);
    for (const Join& j : model_.joins) submodels.push_back(j.name.text);
    std::vector<std::string> children;
    for (const Name& child : join.children) {
      if (FindSan(model_, child.text) == nullptr && FindJoin(model_, child.text) == nullptr)
        Refuse(child.where, "unknown submodel '" + child.text + "'; " + Candidates(child.text, submodels, "sans and joins"));
      if (child.text == join.name.text) Refuse(child.where, "a join cannot contain itself");
      children.push_back(child.text);
      for (const Join& other : model_.joins)
        for (const Name& c : other.children)
          if (c.text == child.text && c.where.line != child.where.line)
            Refuse(child.where, "submodel '" + child.text + "' is already joined on line " + std::to_string(c.where.line));
    }
    CheckUnique(join.children, [](const Name& n) -> const Name& { return n; }, "submodel of the join");
    CheckUnique(join.shares, [](const Share& s) -> const Name& { return s.place; }, "shared place");
    std::vector<Name> members = join.children;
    for (const Share& share : join.shares) members.push_back(share.place);
    CheckUnique(members, [](const Name& n) -> const Name& { return n; }, "name in join " + join.name.text + ":");
    for (const Share& share : join.shares) {
      CheckDeclaredName(share.place, "place");
      std::vector<Name> members = share.children;
      if (members.empty())
        for (const Name& child : join.children) members.push_back({child.text, share.place.where});
      if (members.size() < 2 && join.children.size() >= 2)
        Refuse(share.place.where, "a shared place joins the places of two submodels or more");
      for (const Name& member : members) {
        if (std::find(children.begin(), children.end(), member.text) == children.end())
          Refuse(member.where, "'" + member.text + "' is not a submodel of join " + join.name.text + "; " +
                                   Candidates(member.text, children, "its submodels"));
        const std::vector<std::string> offered = Offered(member.text);
        if (std::find(offered.begin(), offered.end(), share.place.text) == offered.end())
          Refuse(share.place.where, "shared place '" + share.place.text + "': submodel " + member.text + " has no place '" +
                                        share.place.text + "'; " + Candidates(share.place.text, offered, "its places"));
      }
      CheckSameInitialMarking(share, members);
    }
  }

  // The shared place starts with the first child's marking; children that
  // say otherwise would be silently overruled.
  void CheckSameInitialMarking(const Share& share, const std::vector<Name>& members) const {
    const Place* first = nullptr;
    std::string firstSan;
    for (const Name& member : members) {
      const San* san = FindSan(model_, member.text);
      const Place* place = san != nullptr ? FindPlace(*san, share.place.text) : nullptr;
      if (place == nullptr) continue;
      if (first == nullptr) {
        first = place;
        firstSan = member.text;
      } else if (place->initial.text != first->initial.text) {
        Refuse(share.place.where, "shared place '" + share.place.text + "' starts with '" + first->initial.text +
                                      "' in " + firstSan + " (line " + std::to_string(first->initial.where.line) +
                                      ") but '" + place->initial.text + "' in " + member.text + " (line " +
                                      std::to_string(place->initial.where.line) + "); give both the same");
      }
    }
  }

  void CheckNoCycles() const {
    for (const Join& join : model_.joins) {
      std::set<std::string> seen;
      std::function<void(const std::string&)> walk = [&](const std::string& name) {
        const Join* j = FindJoin(model_, name);
        if (j == nullptr) return;
        if (!seen.insert(name).second) Refuse(join.name.where, "join " + join.name.text + " contains itself");
        for (const Name& child : j->children) walk(child.text);
      };
      walk(join.name.text);
    }
  }

  // --- Reward ---
  void CollectMeasured(const std::string& name) {
    if (FindSan(model_, name) != nullptr) measured_.insert(name);
    if (const Join* j = FindJoin(model_, name))
      for (const Name& child : j->children) CollectMeasured(child.text);
  }

  void CheckReward() {
    if (!model_.reward) Refuse({static_cast<int>(model_.lines.size()), 0}, "the model has no reward block ('reward NAME of MODEL')");
    const Reward& reward = *model_.reward;
    CheckDeclaredName(reward.name, "reward");
    if (FindSan(model_, reward.model.text) == nullptr && FindJoin(model_, reward.model.text) == nullptr) {
      std::vector<std::string> submodels;
      for (const San& s : model_.sans) submodels.push_back(s.name.text);
      for (const Join& j : model_.joins) submodels.push_back(j.name.text);
      Refuse(reward.model.where, "unknown model '" + reward.model.text + "'; " +
                                     Candidates(reward.model.text, submodels, "sans and joins"));
    }
    CollectMeasured(reward.model.text);
    if (reward.variables.empty()) Refuse(reward.name.where, "reward " + reward.name.text + " has no variable");
    CheckUnique(reward.variables, [](const Variable& v) -> const Name& { return v.name; }, "variable");
    for (const Variable& v : reward.variables) CheckVariable(v);
  }

  void CheckVariable(const Variable& v) const {
    if (v.times.empty()) Refuse(v.name.where, "variable " + v.name.text + " needs 'instant T, ...' or 'interval START to STOP'");
    if (!v.rate) Refuse(v.name.where, "variable " + v.name.text + " needs 'rate EXPR'");
    for (const Impulse& impulse : v.impulses) CheckImpulse(v, impulse);
    for (size_t i = 0; i < v.times.size(); ++i) {
      if (!(v.times[i] >= 0.0) || !std::isfinite(v.times[i])) Refuse(v.timesWhere, "times are finite and 0 or more");
      if (i > 0 && !(v.times[i] > v.times[i - 1]))
        Refuse(v.timesWhere, v.kind == Variable::Instant ? "instants must increase" : "an interval must end after it starts");
    }
    const Scope scope{Scope::RewardPlaces, nullptr};
    CheckNames(*v.rate, scope);
    std::vector<std::string> measured(measured_.begin(), measured_.end());
    for (const Name& s : v.submodels)
      if (!measured_.count(s.text))
        Refuse(s.where, "'" + s.text + "' is no san of the measured model; " + Candidates(s.text, measured, "sans"));
  }

  // An impulse names submodel.activity of the measured model; its value
  // reads that submodel's places and global variables.
  void CheckImpulse(const Variable& v, const Impulse& impulse) const {
    if (v.kind != Variable::Interval)
      Refuse(impulse.activity.where, "an impulse is earned over an interval: give variable " + v.name.text +
                                         " 'interval START to STOP'");
    const std::string& name = impulse.activity.text;
    const size_t dot = name.find('.');
    const San* san = dot == std::string::npos ? nullptr : FindSan(model_, name.substr(0, dot));
    bool known = san != nullptr && measured_.count(san->name.text);
    if (known)
      known = std::any_of(san->activities.begin(), san->activities.end(),
                          [&](const Activity& a) { return a.name.text == name.substr(dot + 1); });
    if (!known) {
      std::vector<std::string> valid;
      for (const std::string& s : measured_)
        for (const Activity& a : FindSan(model_, s)->activities) valid.push_back(s + "." + a.name.text);
      Refuse(impulse.activity.where, "unknown activity '" + name + "'; " + Candidates(name, valid, "submodel.activity"));
    }
    CheckNames(impulse.value, Scope{Scope::RewardPlaces, nullptr});
    std::function<void(const expr::Node&)> own = [&](const expr::Node& node) {
      for (const expr::Node& operand : node.operands) own(operand);
      if (node.op != expr::Op::Name || FindGlobal(model_, node.token.text) != nullptr) return;
      if (node.token.text.rfind(san->name.text + ".", 0) != 0)
        Refuse({impulse.value.where.line, node.token.column},
               "an impulse of " + san->name.text + " reads only its places and global variables, not '" +
                   node.token.text + "'");
    };
    own(impulse.value.tree);
  }

  // --- Study ---
  void CheckStudy() const {
    if (!model_.study) Refuse({static_cast<int>(model_.lines.size()), 0}, "the model has no study block ('study NAME of REWARD')");
    const Study& study = *model_.study;
    CheckDeclaredName(study.name, "study");
    if (study.reward.text != model_.reward->name.text)
      Refuse(study.reward.where, "unknown reward '" + study.reward.text + "'; " +
                                     Candidates(study.reward.text, {model_.reward->name.text}, "rewards"));
    if (study.experiments.empty())
      Refuse(study.name.where, "study " + study.name.text + " is empty; give it one 'experiment NAME [set GLOBAL = NUMBER, ...]' or more");
    CheckUnique(study.experiments, [](const Experiment& e) -> const Name& { return e.name; }, "experiment");
    for (const Experiment& e : study.experiments) {
      CheckUnique(e.settings, [](const Setting& s) -> const Name& { return s.global; }, "setting");
      for (const Setting& s : e.settings) {
        const Global* g = FindGlobal(model_, s.global.text);
        if (g == nullptr)
          Refuse(s.global.where, "unknown global variable '" + s.global.text + "'; " +
                                     Candidates(s.global.text, GlobalNames(), "global variables"));
        CheckValueOfType(s.value, g->type, "the value of " + g->name.text);
      }
    }
  }

  const Model& model_;
  std::set<std::string> measured_;  // the SANs under the reward's model
};

}  // namespace

void Check(const Model& model) { Checker(model).Run(); }

}  // namespace sanc

// The classes above the SANs: joins, the reward model with its nodes and
// workers, the study, and the global variables.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "model/Analysis.h"
#include "writer/Cpp.h"
#include "writer/Writer.h"

namespace sanc {
namespace {

std::string Include(const WriterOptions& options, const std::string& file) {
  return "#include \"" + options.includeDir + "/" + file + "\"\n";
}

std::string Joined(const std::vector<std::string>& items, const std::string& separator) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
  return out;
}

// --- Joins --------------------------------------------------------------------------

std::vector<std::string> SharedChildren(const sanc::Join& join, const Share& share) {
  std::vector<std::string> children;
  for (const Name& child : share.children.empty() ? join.children : share.children) children.push_back(child.text);
  return children;
}

}  // namespace

std::vector<GeneratedFile> WriteJoin(const Model& model, const sanc::Join& join, const WriterOptions& options) {
  const std::string cls = join.name.text + "RJ";
  size_t number = 1;
  while (&model.joins[number - 1] != &join) ++number;
  std::vector<std::string> sharedNames;
  for (const Share& s : join.shares) sharedNames.push_back("\"" + s.place.text + "\"");
  std::vector<std::string> childNames;
  for (const Name& c : join.children) childNames.push_back(c.text);

  Text h(cls + ".h");
  h << GeneratedBanner(model);
  h << "// The join " + join.name.text + " (line " + std::to_string(join.name.where.line) + "): " +
           Joined(childNames, ", ") + " side by side";
  h << (join.shares.empty() ? ".\n" : ", sharing " + Joined(sharedNames, ", ") + ".\n");
  h << "// Owns its children and its shared places (which exist only when some\n// child has state variables).\n";
  h << "#pragma once\n\n#include \"BaseClasses/state/Place.h\"\n#include \"Composer/Join.h\"\n";
  for (const Name& c : join.children) h << Include(options, SubmodelClass(model, c.text) + ".h");
  h << "\n// Names of the join's shared variables, in the order they are added.\n";
  if (!join.shares.empty())
    h << "extern const char* const " + cls + "__SharedNames[" + std::to_string(join.shares.size()) + "];\n";
  h << "\nclass " + cls + " : public Join {\n public:\n  " + cls + "();\n  ~" + cls + "() override;\n\n";
  for (const Share& s : join.shares) h << "  Place* " + s.place.text + " = nullptr;  // shared; owned\n";
  for (size_t i = 0; i < join.children.size(); ++i)
    h << "  " + SubmodelClass(model, join.children[i].text) + "* " + join.children[i].text + " = nullptr;  // child " +
             std::to_string(i) + "; owned\n";
  if (!join.shares.empty()) {
    h << "\n private:\n  // Merges `childPlace` of `child` into `shared` and records it.\n";
    h << "  void Share(Place* shared, BaseModelClass* child, Place* childPlace);\n";
  }
  h << "};\n";

  Text c(cls + ".cpp");
  c << GeneratedBanner(model) + Include(options, cls + ".h") + "\n";
  if (!join.shares.empty())
    c << "const char* const " + cls + "__SharedNames[" + std::to_string(join.shares.size()) + "] = {" +
             Joined(sharedNames, ", ") + "};\n\n";
  c << cls + "::" + cls + "() : Join(\"Join" + std::to_string(number) + "\", " + std::to_string(join.children.size()) +
           ", " + std::to_string(join.shares.size()) + ", " + (join.shares.empty() ? "nullptr" : cls + "__SharedNames") +
           ") {\n";
  for (const Name& child : join.children)
    c << "  " + child.text + " = new " + SubmodelClass(model, child.text) + "();\n";
  for (size_t i = 0; i < join.children.size(); ++i)
    c << "  Children[" + std::to_string(i) + "] = " + join.children[i].text + ";\n";
  c << "  SetupActions();\n";
  if (join.shares.empty()) {
    c << "  NumSharedStateVariables = 0;\n";
  } else {
    c << "  if (AllChildrenEmpty()) {\n    NumSharedStateVariables = 0;\n  } else {\n";
    for (const Share& s : join.shares) {
      const std::string& p = s.place.text;
      c << "    " + p + " = new Place(\"" + p + "\");\n    addSharedPtr(" + p + ", \"" + p + "\");\n";
      for (const std::string& child : SharedChildren(join, s))
        c << "    Share(" + p + ", " + child + ", " + child + "->" + p + ");\n";
    }
    c << "  }\n";
  }
  c << "  Setup();\n}\n\n";
  if (!join.shares.empty()) {
    c << "void " + cls + "::Share(Place* shared, BaseModelClass* child, Place* childPlace) {\n";
    c << "  if (child->getNumStateVariables() == 0) return;\n  shared->ShareWith(childPlace);\n";
    c << "  addSharingInfo(childPlace, shared, child);\n}\n\n";
  }
  c << cls + "::~" + cls + "() {\n";
  for (const Share& s : join.shares) c << "  delete " + s.place.text + ";\n";
  for (const Name& child : join.children) c << "  delete " + child.text + ";\n";
  c << "}\n";
  return {{h.Name(), h.Str()}, {c.Name(), c.Str()}};
}

// --- Rewards ----------------------------------------------------------------------------

namespace {

// The submodels a variable's workers bind, in dependency order: those its
// rate reads (its variable dependencies), then the others it names.
struct Dependencies {
  std::vector<std::pair<std::string, std::string>> variables;  // place, submodel
  std::vector<std::string> submodels;
};

Dependencies DependenciesOf(const Model& model, const Variable& v) {
  Dependencies d;
  std::vector<std::string> names;
  std::function<void(const expr::Node&)> visit = [&](const expr::Node& node) {
    if (node.op == expr::Op::Name && std::find(names.begin(), names.end(), node.token.text) == names.end())
      names.push_back(node.token.text);
    for (const expr::Node& operand : node.operands) visit(operand);
  };
  visit(v.rate->tree);
  for (const std::string& name : names) {
    std::string place;
    const San* san = SanOfQualified(model, name, &place);
    if (san == nullptr) continue;
    d.variables.emplace_back(place, san->name.text);
    if (std::find(d.submodels.begin(), d.submodels.end(), san->name.text) == d.submodels.end())
      d.submodels.push_back(san->name.text);
  }
  for (const Name& s : v.submodels)
    if (std::find(d.submodels.begin(), d.submodels.end(), s.text) == d.submodels.end()) d.submodels.push_back(s.text);
  return d;
}

// The SAN of an impulse's submodel.activity and the framework actions it
// stands for: the activity, or each of its cases.
struct ImpulseTarget {
  const San* san;
  std::vector<std::string> actions;
};

ImpulseTarget TargetOf(const Model& model, const Impulse& impulse) {
  const std::string& name = impulse.activity.text;
  const size_t dot = name.find('.');
  ImpulseTarget target{FindSan(model, name.substr(0, dot)), {}};
  for (const Activity& a : target.san->activities) {
    if (a.name.text != name.substr(dot + 1)) continue;
    if (!a.explicitCases) target.actions.push_back(a.name.text);
    for (size_t k = 0; a.explicitCases && k < a.cases.size(); ++k)
      target.actions.push_back(a.name.text + "_case" + std::to_string(k + 1));
  }
  return target;
}

// A reward expression in C++: submodel.place read through `instance` (the
// submodel's pointer in the worker), global variables as they are.
std::string RewardCpp(const Model& model, const Expression& e, const std::function<std::string(const San&)>& instance) {
  const Scope scope{Scope::RewardPlaces, nullptr};
  return CppExpression(model, e.tree, scope, [&](const std::string& name) {
    std::string place;
    const San* san = SanOfQualified(model, name, &place);
    if (san == nullptr) return name;
    return "*static_cast<" + san->name.text + "SAN*>(" + instance(*san) + ")->" + place + "->Mark";
  });
}

bool ReadsGlobals(const Model& model, const expr::Node& node) {
  if (node.op == expr::Op::Name && FindGlobal(model, node.token.text) != nullptr) return true;
  return std::any_of(node.operands.begin(), node.operands.end(),
                     [&](const expr::Node& operand) { return ReadsGlobals(model, operand); });
}

size_t ImpulseCount(const Model& model, const Variable& v) {
  size_t count = 0;
  for (const Impulse& impulse : v.impulses) count += TargetOf(model, impulse).actions.size();
  return count;
}

std::string TimesLiteral(const std::vector<double>& times) {
  std::vector<std::string> items;
  for (double t : times) items.push_back(CppLiteral(t, Type::Double));
  return "{" + Joined(items, ", ") + "}";
}

GeneratedFile WriteVariableHeader(const Model& model, const Reward& reward, const Variable& v, size_t index,
                                  const Dependencies& d) {
  const std::string node = reward.name.text + "PV" + std::to_string(index);
  const bool instant = v.kind == Variable::Instant;
  Text h(node + ".h");
  h << GeneratedBanner(model);
  std::vector<std::string> times;
  for (double t : v.times) times.push_back(CppLiteral(t, Type::Double));
  h << "// The node of the variable \"" + v.name.text + "\" (line " + std::to_string(v.name.where.line) + "): " +
           (instant ? "its value at the instants " + Joined(times, ", ")
                    : "its rate accumulated over " + times[0] + " to " + times[1]) +
           ".\n// Owns its workers and the slot for the top model.\n";
  h << "#pragma once\n\n#include \"rewards/" + std::string(instant ? "InstantOfTime" : "IntervalOfTime") + ".h\"\n";
  if (!v.impulses.empty()) h << "#include \"rewards/ImpulseNodeClass.h\"\n";
  h << "#include \"rewards/PerformanceVariableNode.h\"\n\nclass BaseModelClass;\n\n";
  h << "// Worker of \"" + v.name.text + "\": " + v.rate->text + "\n";
  h << "class " + node + "Worker : public " + (instant ? "InstantOfTime" : "IntervalOfTime") + " {\n public:\n";
  h << "  " + node + "Worker();\n\n  double Reward_Function() override;\n\n";
  h << "  // --- Bound submodel instances, in dependency order ---\n";
  for (const std::string& s : d.submodels)
    h << "  BaseModelClass* " + s + " = nullptr;  // a " + SubmodelClass(model, s) + "\n";
  h << "};\n\n";
  for (size_t i = 0; i < v.impulses.size(); ++i) {
    const Impulse& impulse = v.impulses[i];
    const std::string cls = node + "Impulse" + std::to_string(i);
    h << "// Impulse earned when " + impulse.activity.text + " fires inside the window: " + impulse.value.text + "\n";
    h << "class " + cls + " : public ImpulseNodeClass {\n public:\n";
    h << "  void EndAccumulate(double) override {}\n  double Impulse_Function() override;\n";
    h << "  void Accumulate(double now, double last) override;\n  void CurrentReward() override;\n";
    h << "  void Reset() override { ImpulseNodeClass::Reset(); }\n";
    h << "  ImpulseNodeClass** CreateWorkerList(int n) override;\n};\n\n";
  }
  h << "class " + node + " : public PerformanceVariableNode {\n public:\n";
  h << "  explicit " + node + "(int timeIndex);\n  ~" + node + "() override;\n\n";
  h << "  void CreateWorkerList() override;\n\n";
  h << "  BaseModelClass* TheModel = nullptr;  // the top model; TopModelSlot points here\n";
  if (!v.impulses.empty()) h << "  // Impulse prototypes, one per activity or case they are earned on.\n";
  for (size_t i = 0; i < v.impulses.size(); ++i)
    for (const std::string& action : TargetOf(model, v.impulses[i]).actions)
      h << "  " + node + "Impulse" + std::to_string(i) + " impulse" + std::to_string(i) + "_" + action + ";\n";
  h << "};\n";
  return {h.Name(), h.Str()};
}

GeneratedFile WriteVariableSource(const Model& model, const Reward& reward, const Variable& v, size_t index,
                                  const Dependencies& d, const WriterOptions& options) {
  const std::string node = reward.name.text + "PV" + std::to_string(index);
  const bool instant = v.kind == Variable::Instant;
  const std::string value = RewardCpp(model, *v.rate, [](const San& san) { return san.name.text; });
  std::vector<std::string> impulseValues;
  for (const Impulse& impulse : v.impulses)
    impulseValues.push_back(RewardCpp(model, impulse.value, [](const San&) { return std::string("Model"); }));
  std::string allValues = value;
  for (const std::string& iv : impulseValues) allValues += " " + iv;
  Text c(node + ".cpp");
  c << GeneratedBanner(model) + Include(options, node + ".h") + "\n";
  const bool algorithm = allValues.find("std::min") != std::string::npos || allValues.find("std::max") != std::string::npos;
  const bool cmath = allValues.find("std::pow") != std::string::npos || allValues.find("std::exp") != std::string::npos ||
                     allValues.find("std::log") != std::string::npos || allValues.find("std::sqrt") != std::string::npos;
  if (algorithm) c << "#include <algorithm>\n";
  if (cmath) c << "#include <cmath>\n";
  if (algorithm || cmath) c << "\n";
  c << "#include \"BaseClasses/state/Place.h\"\n";
  bool globals = ReadsGlobals(model, v.rate->tree);
  for (const Impulse& impulse : v.impulses) globals = globals || ReadsGlobals(model, impulse.value.tree);
  if (globals) c << Include(options, "GlobalVariables.h");
  std::vector<std::string> included;
  for (const std::string& s : d.submodels)
    if (std::any_of(d.variables.begin(), d.variables.end(), [&](const auto& p) { return p.second == s; }))
      included.push_back(s);
  for (const Impulse& impulse : v.impulses)
    if (std::find(included.begin(), included.end(), TargetOf(model, impulse).san->name.text) == included.end() &&
        impulse.value.text.find('.') != std::string::npos)
      included.push_back(TargetOf(model, impulse).san->name.text);
  for (const std::string& s : included) c << Include(options, SubmodelClass(model, s) + ".h");
  c << "\n" + node + "Worker::" + node + "Worker() {\n";
  for (const std::string& s : d.submodels) c << "  AddModelSlot(&" + s + ");\n";
  c << "}\n\n";
  c << "double " + node + "Worker::Reward_Function() {\n";
  c.ModelLine("  return static_cast<double>(" + value + ");", v.rate->where.line, model.file);
  c << "}\n\n";
  for (size_t i = 0; i < v.impulses.size(); ++i) {
    const std::string cls = node + "Impulse" + std::to_string(i);
    c << "double " + cls + "::Impulse_Function() {\n";
    c.ModelLine("  return static_cast<double>(" + impulseValues[i] + ");", v.impulses[i].value.where.line, model.file);
    c << "}\n\n";
    c << "void " + cls + "::Accumulate(double now, double /*last*/) {\n";
    c << "  if (now < StartTime || now > StopTime) return;\n";
    c << "  Value += Impulse_Function();\n  SquaredValue = Value * Value;\n}\n\n";
    c << "void " + cls + "::CurrentReward() {\n  Value = Impulse_Function();\n  SquaredValue = Value * Value;\n}\n\n";
    c << "ImpulseNodeClass** " + cls + "::CreateWorkerList(int n) {\n";
    c << "  auto** workers = new ImpulseNodeClass*[static_cast<size_t>(n)];\n";
    c << "  for (int i = 0; i < n; ++i) workers[i] = new " + cls + "();\n  return workers;\n}\n\n";
  }
  c << node + "::" + node + "(int timeIndex) {\n  TopModelSlot = &TheModel;\n";
  const std::string n = std::to_string(instant ? v.times.size() : 1);
  const std::vector<double> starts = instant ? v.times : std::vector<double>{v.times[0]};
  const std::vector<double> stops = instant ? v.times : std::vector<double>{v.times[1]};
  c << "  static const double starts[" + n + "] = " + TimesLiteral(starts) + ";\n";
  const std::string stopsName = instant ? "starts" : "stops";
  if (!instant) c << "  static const double stops[" + n + "] = " + TimesLiteral(stops) + ";\n";
  c << "  Initialize(\"" + v.name.text + "\", " + (instant ? "InstantOfTimeReward" : "IntervalOfTimeReward") + ", " +
           n + ", starts, " + stopsName + ", timeIndex, " + std::to_string(ImpulseCount(model, v)) + ", " +
           std::to_string(d.submodels.size()) + ", " +
           std::to_string(d.variables.size()) + ");\n";
  for (const auto& [place, submodel] : d.variables)
    c << "  AddVariableDependency(\"" + place + "\", \"" + submodel + "\");\n";
  for (const std::string& s : d.submodels)
    if (std::none_of(d.variables.begin(), d.variables.end(), [&](const auto& p) { return p.second == s; }))
      c << "  AddModelDependency(\"" + s + "\");\n";
  for (size_t i = 0; i < v.impulses.size(); ++i) {
    const ImpulseTarget target = TargetOf(model, v.impulses[i]);
    for (const std::string& action : target.actions)
      c << "  AddImpulse(\"" + action + "\", \"" + target.san->name.text + "\", &impulse" + std::to_string(i) + "_" +
               action + ");\n";
  }
  c << "}\n\n";
  c << node + "::~" + node + "() {\n  for (PerformanceVariableWorker* worker : Workers) delete worker;\n";
  c << "  Workers.clear();\n}\n\n";
  c << "void " + node + "::CreateWorkerList() {\n  for (PerformanceVariableWorker*& worker : Workers) {\n";
  c << "    delete worker;\n    worker = new " + node + "Worker();\n  }\n}\n";
  return {c.Name(), c.Str()};
}

}  // namespace

std::vector<GeneratedFile> WriteReward(const Model& model, const WriterOptions& options) {
  const Reward& reward = *model.reward;
  const std::string cls = reward.name.text + "PVModel";
  std::vector<GeneratedFile> files;
  std::vector<std::string> names;
  for (const Variable& v : reward.variables) names.push_back("\"" + v.name.text + "\"");

  Text h(cls + ".h");
  h << GeneratedBanner(model);
  h << "// The reward model " + reward.name.text + ": measures " + reward.model.text +
           " (which it creates and owns) with the variable" + (names.size() == 1 ? " " : "s ") + Joined(names, ", ") + ".\n";
  h << "#pragma once\n\n#include \"rewards/PVModel.h\"\n\nclass " + cls + " : public PVModel {\n public:\n";
  h << "  // With allTimePoints, one node per time of each variable; otherwise\n  // only the first.\n";
  h << "  explicit " + cls + "(bool allTimePoints);\n\n";
  h << "  // Variables in model order; null for any other index.\n";
  h << "  PerformanceVariableNode* createPVNode(int variableIndex, int timeIndex) override;\n};\n";
  files.push_back({h.Name(), h.Str()});

  Text c(cls + ".cpp");
  c << GeneratedBanner(model) + Include(options, cls + ".h") + "\n";
  c << Include(options, SubmodelClass(model, reward.model.text) + ".h");
  for (size_t i = 0; i < reward.variables.size(); ++i) c << Include(options, reward.name.text + "PV" + std::to_string(i) + ".h");
  c << "\n" + cls + "::" + cls + "(bool allTimePoints) {\n";
  c << "  TopModel = new " + SubmodelClass(model, reward.model.text) + "();\n";
  c << "  DefineName(\"" + cls + "\");\n";
  c << "  CreatePVList(" + std::to_string(reward.variables.size()) + ", allTimePoints);\n  Initialize();\n}\n\n";
  c << "PerformanceVariableNode* " + cls + "::createPVNode(int variableIndex, int timeIndex) {\n";
  c << "  switch (variableIndex) {\n";
  for (size_t i = 0; i < reward.variables.size(); ++i)
    c << "    case " + std::to_string(i) + ": return new " + reward.name.text + "PV" + std::to_string(i) + "(timeIndex);\n";
  c << "    default: return nullptr;\n  }\n}\n";
  files.push_back({c.Name(), c.Str()});

  for (size_t i = 0; i < reward.variables.size(); ++i) {
    const Dependencies d = DependenciesOf(model, reward.variables[i]);
    files.push_back(WriteVariableHeader(model, reward, reward.variables[i], i, d));
    files.push_back(WriteVariableSource(model, reward, reward.variables[i], i, d, options));
  }
  return files;
}

// --- Study and global variables --------------------------------------------------------------

namespace {

// The value of a global in an experiment: its setting there, else its default.
double ValueIn(const Global& g, const Experiment& e) {
  for (const Setting& s : e.settings)
    if (s.global.text == g.name.text) return ConstantValue(s.value.tree);
  return ConstantValue(g.value.tree);
}

// 16 lowercase hex digits.
std::string HexHash(uint64_t hash) {
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return digits;
}

GeneratedFile WriteGlobals(const Model& model) {
  Text h("GlobalVariables.h");
  h << GeneratedBanner(model);
  h << "// The model's global variables: process-wide parameters that the study sets\n"
       "// for the chosen experiment and the generated activities read at every\n"
       "// evaluation (never cached), so a new experiment takes effect at once.\n#pragma once\n\n";
  for (const Global& g : model.globals) h << "extern " + std::string(CppTypeName(g.type)) + " " + g.name.text + ";\n";
  return {h.Name(), h.Str()};
}

}  // namespace

std::vector<GeneratedFile> WriteStudy(const Model& model, const WriterOptions& options) {
  const Study& study = *model.study;
  const std::string cls = study.name.text + "RangeStudy";
  std::vector<std::string> names, types;
  for (const Global& g : model.globals) {
    names.push_back(g.name.text);
    types.push_back(CppTypeName(g.type));
  }
  Text h(cls + ".h");
  h << GeneratedBanner(model);
  h << "// The study " + study.name.text + " (line " + std::to_string(study.name.where.line) + "): " +
           std::to_string(study.experiments.size()) + " experiments over the global variables" +
           (names.empty() ? " (none)" : " " + Joined(names, ", ")) + ".\n";
  h << "// It owns one value array per variable, indexed by experiment, and the\n// reward model it created last.\n";
  h << "#pragma once\n\n#include <array>\n\n#include \"study/BaseStudyClass.h\"\n\n";
  h << "class " + cls + " : public BaseStudyClass {\n public:\n";
  h << "  static constexpr int kNumExperiments = " + std::to_string(study.experiments.size()) + ";\n\n";
  h << "  " + cls + "();\n  ~" + cls + "() override;\n\n";
  h << "  // Replaces the reward model created before with a new one.\n";
  h << "  PVModel* GetPVModel(bool allTimePoints) override;\n";
  h << "  // Experiment indices outside 0 … NumExps - 1 are reported and change nothing.\n";
  h << "  void SetGVs(int index) override;\n  void PrintGlobalValues(int index) override;\n";
  h << "  void* GetGVValue(char* name) override;\n";
  h << "  // `value` points to a value of the variable's own type.\n";
  h << "  void OverrideGVValue(char* name, void* value) override;\n\n";
  for (const Global& g : model.globals) h << "  void SetValues_" + g.name.text + "();\n";
  if (!model.globals.empty()) h << "\n  // --- Values per experiment, one array per global variable ---\n";
  for (const Global& g : model.globals)
    h << "  std::array<" + std::string(CppTypeName(g.type)) + ", kNumExperiments> " + g.name.text + "Values{};\n";
  h << "};\n";

  Text c(cls + ".cpp");
  c << GeneratedBanner(model) + Include(options, cls + ".h") + "\n";
  c << "#include <cstddef>\n#include <cstring>\n#include <iostream>\n\n";
  if (!model.globals.empty()) c << Include(options, "GlobalVariables.h");
  c << Include(options, model.reward->name.text + "PVModel.h") + "\n";
  for (const Global& g : model.globals)
    c << std::string(CppTypeName(g.type)) + " " + g.name.text + " = " + CppLiteral(ConstantValue(g.value.tree), g.type) + ";\n";
  c << "\nnamespace {\nBaseStudyClass* TheStudy = nullptr;\n\n";
  c << "// A global variable by name: its address and size.\nstruct GlobalSlot {\n  const char* name;\n  void* address;\n"
       "  std::size_t size;\n};\n";
  if (model.globals.empty()) {
    c << "const GlobalSlot* FindGlobal(const char*) { return nullptr; }\n";
  } else {
    c << "const GlobalSlot kGlobals[] = {\n";
    for (const Global& g : model.globals)
      c << "    {\"" + g.name.text + "\", &" + g.name.text + ", sizeof " + g.name.text + "},\n";
    c << "};\n\nconst GlobalSlot* FindGlobal(const char* name) {\n  if (name == nullptr) return nullptr;\n";
    c << "  for (const GlobalSlot& global : kGlobals)\n    if (std::strcmp(name, global.name) == 0) return &global;\n";
    c << "  return nullptr;\n}\n";
  }
  c << "}  // namespace\n\n";
  c << "BaseStudyClass* GenerateStudy() {\n  if (TheStudy == nullptr) TheStudy = new " + cls + "();\n  return TheStudy;\n}\n\n";
  c << "void DestructStudy() {\n  delete TheStudy;\n  TheStudy = nullptr;\n}\n\n";
  c << "// The model the reward model measures, and the hash of the model file it was\n"
       "// compiled from (64-bit FNV-1a of the file's bytes).\n";
  c << "const char* ModelName() { return \"" + model.reward->model.text + "\"; }\n";
  c << "const char* ModelFileHash() { return \"" + HexHash(model.fileHash) + "\"; }\n\n";
  c << cls + "::" + cls + "() {\n  Name = \"" + study.name.text + "\";\n  NumGVs = " +
           std::to_string(model.globals.size()) + ";\n  NumExps = kNumExperiments;\n";
  std::vector<std::string> quotedNames, quotedTypes;
  for (size_t i = 0; i < names.size(); ++i) {
    quotedNames.push_back("\"" + names[i] + "\"");
    quotedTypes.push_back("\"" + types[i] + "\"");
  }
  c << "  GVNames = {" + Joined(quotedNames, ", ") + "};\n  GVTypes = {" + Joined(quotedTypes, ", ") + "};\n";
  for (const Global& g : model.globals) c << "  SetValues_" + g.name.text + "();\n";
  c << "}\n\n" + cls + "::~" + cls + "() { delete ThePVModel; }\n\n";
  std::vector<std::string> experimentNames;
  for (const Experiment& e : study.experiments) experimentNames.push_back(e.name.text);
  if (!model.globals.empty())
    c << "// Experiments, in order: " + Joined(experimentNames, ", ") + ".\n";
  for (const Global& g : model.globals) {
    std::vector<std::string> values;
    for (const Experiment& e : study.experiments) values.push_back(CppLiteral(ValueIn(g, e), g.type));
    c << "void " + cls + "::SetValues_" + g.name.text + "() { " + g.name.text + "Values = {" + Joined(values, ", ") + "}; }\n";
  }
  c << "\nPVModel* " + cls + "::GetPVModel(bool allTimePoints) {\n  delete ThePVModel;\n";
  c << "  ThePVModel = new " + model.reward->name.text + "PVModel(allTimePoints);\n  return ThePVModel;\n}\n\n";
  c << "void " + cls + "::SetGVs(int index) {\n  if (!IsValidExperiment(index)) {\n";
  c << "    std::cerr << \"!! " + cls + "::SetGVs: Experiment index \" << index\n";
  c << "              << \" does not exist (valid: 0 to \" << NumExps - 1 << \").\" << std::endl;\n    return;\n  }\n";
  for (const Global& g : model.globals) c << "  " + g.name.text + " = " + g.name.text + "Values[index];\n";
  c << "}\n\n";
  c << "void " + cls + "::PrintGlobalValues(int index) {\n";
  if (model.globals.empty()) {
    c << "  (void)index;\n  std::cout << \"There are no global variables.\" << std::endl;\n}\n\n";
  } else {
    c << "  if (!IsValidExperiment(index)) {\n    SetGVs(index);  // reports the index\n    return;\n  }\n  SetGVs(index);\n";
    c << "  std::cout << \"The Global Variable values for experiment \" << GetExpName(index) << \" are:\" << std::endl;\n";
    for (const Global& g : model.globals)
      c << "  std::cout << \"" + g.name.text + "\" << '\\t' << \"" + CppTypeName(g.type) + "\" << '\\t' << " +
               (g.type == Type::Char ? "+" : "") + g.name.text + " << std::endl;\n";
    c << "}\n\n";
  }
  c << "void* " + cls + "::GetGVValue(char* name) {\n  const GlobalSlot* global = FindGlobal(name);\n";
  c << "  if (global == nullptr) {\n    std::cerr << \"!! " + cls + "::GetGVValue: Global Variable \" << (name ? name : \"\")\n";
  c << "              << \" does not exist.\" << std::endl;\n    return nullptr;\n  }\n  return global->address;\n}\n\n";
  c << "void " + cls + "::OverrideGVValue(char* name, void* value) {\n  const GlobalSlot* global = FindGlobal(name);\n";
  c << "  if (global == nullptr) {\n    std::cerr << \"!! " + cls + "::OverrideGVValue: Global Variable \" << (name ? name : \"\")\n";
  c << "              << \" does not exist.\" << std::endl;\n    return;\n  }\n";
  c << "  if (value == nullptr) return;\n  std::memcpy(global->address, value, global->size);\n}\n";
  return {WriteGlobals(model), {h.Name(), h.Str()}, {c.Name(), c.Str()}};
}

std::vector<GeneratedFile> Write(const Model& model, const WriterOptions& options) {
  std::vector<GeneratedFile> files;
  auto add = [&](std::vector<GeneratedFile> more) {
    for (GeneratedFile& f : more) files.push_back(std::move(f));
  };
  for (const San& san : model.sans) add(WriteSan(model, san, options));
  for (const sanc::Join& join : model.joins) add(WriteJoin(model, join, options));
  add(WriteReward(model, options));
  add(WriteStudy(model, options));
  return files;
}

std::string GeneratedBanner(const Model& model) {
  return "// Generated by sanc from " + model.file + "; do not edit: change the model file and regenerate.\n";
}

std::string SubmodelClass(const Model& model, const std::string& submodel) {
  return FindSan(model, submodel) != nullptr ? submodel + "SAN" : submodel + "RJ";
}

}  // namespace sanc

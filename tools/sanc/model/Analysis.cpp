#include "model/Analysis.h"

#include <algorithm>
#include <cmath>

namespace sanc {

const Global* FindGlobal(const Model& model, const std::string& name) {
  for (const Global& g : model.globals)
    if (g.name.text == name) return &g;
  return nullptr;
}

const Place* FindPlace(const San& san, const std::string& name) {
  for (const Place& p : san.places)
    if (p.name.text == name) return &p;
  return nullptr;
}

const San* FindSan(const Model& model, const std::string& name) {
  for (const San& s : model.sans)
    if (s.name.text == name) return &s;
  return nullptr;
}

const Join* FindJoin(const Model& model, const std::string& name) {
  for (const Join& j : model.joins)
    if (j.name.text == name) return &j;
  return nullptr;
}

const San* SanOfQualified(const Model& model, const std::string& qualified, std::string* place) {
  const size_t dot = qualified.find('.');
  if (dot == std::string::npos) return nullptr;
  const San* san = FindSan(model, qualified.substr(0, dot));
  if (san == nullptr || FindPlace(*san, qualified.substr(dot + 1)) == nullptr) return nullptr;
  if (place != nullptr) *place = qualified.substr(dot + 1);
  return san;
}

bool IsIntegral(Type type) { return type != Type::Float && type != Type::Double; }

namespace {

// C++'s usual arithmetic conversions over the types a model uses.
Type Common(Type a, Type b) {
  if (a == Type::Double || b == Type::Double) return Type::Double;
  if (a == Type::Float || b == Type::Float) return Type::Float;
  return Type::Int;
}

Type NumberType(const expr::Token& token) {
  const std::string& t = token.text;
  return t.find_first_of(".eE") == std::string::npos ? Type::Int : Type::Double;
}

}  // namespace

Type TypeOf(const Model& model, const expr::Node& node, const Scope& scope) {
  using expr::Op;
  switch (node.op) {
    case Op::Number: return NumberType(node.token);
    case Op::Name: {
      if (const Global* g = FindGlobal(model, node.token.text)) return IsIntegral(g->type) ? Type::Int : g->type;
      return Type::Int;  // a marking, promoted
    }
    default: break;
  }
  if (expr::IsCondition(node.op)) return Type::Bool;
  std::vector<Type> types;
  for (const expr::Node& operand : node.operands) types.push_back(TypeOf(model, operand, scope));
  switch (node.op) {
    case Op::Neg: return types[0];
    // exp, log and sqrt keep a float float; integers go to double.
    case Op::Exp: case Op::Log: case Op::Sqrt: return types[0] == Type::Float ? Type::Float : Type::Double;
    case Op::Pow: return types[0] == Type::Float && types[1] == Type::Float ? Type::Float : Type::Double;
    // Division of two integers is real division: the writer converts the
    // left side to double.
    case Op::Div: return IsIntegral(types[0]) && IsIntegral(types[1]) ? Type::Double : Common(types[0], types[1]);
    default: return Common(types[0], types[1]);
  }
}

bool IsConstant(const expr::Node& node) {
  if (node.op == expr::Op::Name) return false;
  return std::all_of(node.operands.begin(), node.operands.end(), [](const expr::Node& n) { return IsConstant(n); });
}

double ConstantValue(const expr::Node& node) {
  using expr::Op;
  if (node.op == Op::Number) return node.token.number;
  std::vector<double> v;
  for (const expr::Node& operand : node.operands) v.push_back(ConstantValue(operand));
  switch (node.op) {
    case Op::Add: return v[0] + v[1];
    case Op::Sub: return v[0] - v[1];
    case Op::Mul: return v[0] * v[1];
    case Op::Div: return v[0] / v[1];
    case Op::Pow: return std::pow(v[0], v[1]);
    case Op::Neg: return -v[0];
    case Op::Min: return std::min(v[0], v[1]);
    case Op::Max: return std::max(v[0], v[1]);
    case Op::Exp: return std::exp(v[0]);
    case Op::Log: return std::log(v[0]);
    case Op::Sqrt: return std::sqrt(v[0]);
    default: return 0.0;
  }
}

void PlacesRead(const expr::Node& node, const Scope& scope, std::vector<std::string>& out) {
  if (node.op == expr::Op::Name && scope.san != nullptr && FindPlace(*scope.san, node.token.text) != nullptr &&
      std::find(out.begin(), out.end(), node.token.text) == out.end())
    out.push_back(node.token.text);
  for (const expr::Node& operand : node.operands) PlacesRead(operand, scope, out);
}

namespace {

const std::vector<DistributionInfo>& Distributions() {
  static const std::vector<DistributionInfo> kAll = {
      {"exponential", "EXPONENTIAL", "Exponential", {{"rate", true}}},
      {"deterministic", "DETERMINISTIC", "Deterministic", {{"delay", true}}},
      {"uniform", "UNIFORM", "Uniform", {{"lower bound", true}, {"upper bound", true}}},
      {"geometric", "GEOMETRIC", "Geometric", {{"probability", true}}},
      {"weibull", "WEIBULL", "Weibull", {{"shape", true}, {"scale", true}}},
      {"conditional_weibull", "CONDITIONAL_WEIBULL", "ConditionalWeibull",
       {{"shape", true}, {"scale", true}, {"age", true}}},
      {"normal", "NORMAL", "Normal", {{"mean", false}, {"variance", true}}},
      {"lognormal", "LOGNORMAL", "Lognormal", {{"mean", false}, {"variance", true}}},
      {"erlang", "ERLANG", "Erlang", {{"stages", true}, {"mean", true}}},
      {"triangular", "TRIANGULAR", "Triangular", {{"minimum", true}, {"maximum", true}, {"mode", true}}},
      {"gamma", "GAMMA", "Gamma", {{"shape", true}, {"scale", true}}},
      {"beta", "BETA", "Beta", {{"first shape", true}, {"second shape", true}}},
      {"binomial", "BINOMIAL", "Binomial", {{"trials", true}, {"probability", true}}},
      {"negative_binomial", "NEGATIVE_BINOMIAL", "NegativeBinomial", {{"successes", true}, {"probability", true}}},
      {"pareto", "PARETO", "Pareto", {{"scale", true}, {"shape", true}}},
  };
  return kAll;
}

void AddOnce(std::vector<std::string>& list, const std::string& name) {
  if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
}

void AddWrites(const std::vector<Assignment>& function, std::vector<std::string>& out) {
  for (const Assignment& a : function) AddOnce(out, a.place.text);
}

}  // namespace

const DistributionInfo* FindDistribution(const std::string& name) {
  for (const DistributionInfo& d : Distributions())
    if (name == d.name) return &d;
  return nullptr;
}

std::vector<std::string> DistributionNames() {
  std::vector<std::string> names;
  for (const DistributionInfo& d : Distributions()) names.push_back(d.name);
  return names;
}

std::vector<std::string> EnablingPlaces(const Activity& activity, const San& san) {
  const Scope scope{Scope::SanPlaces, &san};
  std::vector<std::string> places;
  for (const Arc& arc : activity.inputArcs) AddOnce(places, arc.place.text);
  for (const Gate& gate : activity.inputGates) PlacesRead(gate.predicate->tree, scope, places);
  for (const Expression& p : activity.parameters) PlacesRead(p.tree, scope, places);
  if (activity.explicitCases)
    for (const Case& c : activity.cases) PlacesRead(c.weight.tree, scope, places);
  if (activity.reactivation) PlacesRead(activity.reactivation->tree, scope, places);
  return places;
}

std::vector<std::string> AffectedPlaces(const Activity& activity, const Case& c) {
  std::vector<std::string> places;
  for (const Arc& arc : activity.inputArcs) AddOnce(places, arc.place.text);
  for (const Gate& gate : activity.inputGates) AddWrites(gate.function, places);
  for (const Output& output : c.outputs) {
    if (output.arc) AddOnce(places, output.arc->place.text);
    if (output.gate) AddWrites(output.gate->function, places);
  }
  return places;
}

std::vector<std::string> HeldPlaces(const Activity& activity, const Case& c, const San& san) {
  const Scope scope{Scope::SanPlaces, &san};
  std::vector<std::string> places = EnablingPlaces(activity, san);
  for (const std::string& p : AffectedPlaces(activity, c)) AddOnce(places, p);
  auto reads = [&](const std::vector<Assignment>& function) {
    for (const Assignment& a : function) PlacesRead(a.value.tree, scope, places);
  };
  for (const Gate& gate : activity.inputGates) reads(gate.function);
  for (const Output& output : c.outputs)
    if (output.gate) reads(output.gate->function);
  return places;
}

std::vector<size_t> GroupOrder(const San& san) {
  std::vector<size_t> order;
  for (size_t i = 0; i < san.activities.size(); ++i)
    if (san.activities[i].timed) order.push_back(i);
  for (size_t i = 0; i < san.activities.size(); ++i)
    if (!san.activities[i].timed) order.push_back(i);
  return order;
}

}  // namespace sanc

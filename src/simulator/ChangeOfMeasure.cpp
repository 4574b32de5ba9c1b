// Parser and evaluator of the change-of-measure format described in the
// header. Lines are read with the shared expression language (expr/);
// expressions compile to postfix programs.
#include "simulator/ChangeOfMeasure.h"

#include "expr/Expression.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>
#include <sstream>

using Op = MeasureExpression::Op;

// --- Evaluation ------------------------------------------------------------------

double MeasureExpression::Evaluate() const {
  double stack[kMaxDepth];
  int top = 0;  // number of values on the stack
  for (const Instruction& in : code) {
    switch (in.op) {
      case Op::Number: stack[top++] = in.number; continue;
      case Op::Place: stack[top++] = static_cast<double>(**in.mark); continue;
      case Op::Neg: stack[top - 1] = -stack[top - 1]; continue;
      case Op::Not: stack[top - 1] = stack[top - 1] != 0.0 ? 0.0 : 1.0; continue;
      case Op::Exp: stack[top - 1] = std::exp(stack[top - 1]); continue;
      case Op::Log: stack[top - 1] = std::log(stack[top - 1]); continue;
      case Op::Sqrt: stack[top - 1] = std::sqrt(stack[top - 1]); continue;
      default: break;
    }
    const double b = stack[--top];
    double& a = stack[top - 1];
    switch (in.op) {
      case Op::Add: a = a + b; break;
      case Op::Sub: a = a - b; break;
      case Op::Mul: a = a * b; break;
      case Op::Div: a = a / b; break;
      case Op::Pow: a = std::pow(a, b); break;
      case Op::Min: a = std::min(a, b); break;
      case Op::Max: a = std::max(a, b); break;
      case Op::Less: a = a < b; break;
      case Op::LessEqual: a = a <= b; break;
      case Op::Greater: a = a > b; break;
      case Op::GreaterEqual: a = a >= b; break;
      case Op::Equal: a = a == b; break;
      case Op::NotEqual: a = a != b; break;
      case Op::And: a = (a != 0.0) && (b != 0.0); break;
      case Op::Or: a = (a != 0.0) || (b != 0.0); break;
      default: break;
    }
  }
  return top > 0 ? stack[top - 1] : 0.0;
}

namespace {

int Arity(Op op) {
  switch (op) {
    case Op::Number: case Op::Place: return 0;
    case Op::Neg: case Op::Not: case Op::Exp: case Op::Log: case Op::Sqrt: return 1;
    default: return 2;
  }
}

}  // namespace

// Every value on the evaluation stack is made by a contiguous run of the
// program; a run that reads no place is evaluated once, by Evaluate itself,
// and replaced by the number it gives.
void MeasureExpression::FoldConstants() {
  struct Operand {
    size_t start;
    bool constant;
  };
  std::vector<Instruction> folded;
  std::vector<Operand> operands;
  for (const Instruction& in : code) {
    size_t start = folded.size();
    bool constant = in.op != Op::Place;
    for (int i = 0; i < Arity(in.op); ++i) {
      start = operands.back().start;
      constant = constant && operands.back().constant;
      operands.pop_back();
    }
    folded.push_back(in);
    if (constant && in.op != Op::Number) {
      MeasureExpression run;
      run.code.assign(folded.begin() + static_cast<std::ptrdiff_t>(start), folded.end());
      const double value = run.Evaluate();
      folded.resize(start);
      folded.push_back({Op::Number, value, nullptr});
    }
    operands.push_back({start, constant});
  }
  code = std::move(folded);
}

bool MeasureExpression::ReadsPlaces() const {
  return std::any_of(code.begin(), code.end(), [](const Instruction& in) { return in.op == Op::Place; });
}

std::vector<short* const*> MeasureExpression::PlacesRead() const {
  std::vector<short* const*> marks;
  for (const Instruction& in : code)
    if (in.op == Op::Place && std::find(marks.begin(), marks.end(), in.mark) == marks.end())
      marks.push_back(in.mark);
  return marks;
}

ChangeOfMeasure::Multiplier ChangeOfMeasure::FirstHolding(const std::vector<Rule>& rules) {
  for (const Rule& rule : rules)
    if (rule.condition.Empty() || rule.condition.Evaluate() != 0.0)
      return {rule.multiplier.Evaluate(), rule.line};
  return {};
}

// The multiplier at the current marking: looked up among the remembered
// markings, or evaluated and remembered in place of the oldest.
ChangeOfMeasure::Multiplier ChangeOfMeasure::Remember(Target& target) {
  const size_t n = target.reads.size();
  for (size_t i = 0; i < n; ++i) target.scratch[i] = **target.reads[i];
  for (size_t k = 0; k < target.given.size(); ++k) {
    const short* tokens = target.markings.data() + k * n;
    size_t i = 0;
    while (i < n && tokens[i] == target.scratch[i]) ++i;
    if (i < n) continue;
    target.latest = k;
    return target.given[k];
  }
  const Multiplier value = FirstHolding(target.rules);
  if (target.given.size() < Target::kRemembered) {
    target.latest = target.given.size();
    target.given.push_back(value);
    target.markings.insert(target.markings.end(), target.scratch.begin(), target.scratch.end());
  } else {
    target.latest = target.oldest;
    target.oldest = (target.oldest + 1) % Target::kRemembered;
    target.given[target.latest] = value;
    std::copy(target.scratch.begin(), target.scratch.end(),
              target.markings.begin() + static_cast<std::ptrdiff_t>(target.latest * n));
  }
  return value;
}

void ChangeOfMeasure::ListPlacesRead(RuleTable& table) {
  for (Target& target : table) {
    for (const Rule& rule : target.rules)
      for (const MeasureExpression* e : {&rule.multiplier, &rule.condition})
        for (short* const* mark : e->PlacesRead())
          if (std::find(target.reads.begin(), target.reads.end(), mark) == target.reads.end())
            target.reads.push_back(mark);
    target.scratch.assign(target.reads.size(), 0);
    target.markings.reserve(target.reads.size() * Target::kRemembered);
    target.given.reserve(Target::kRemembered);
  }
}

std::vector<short* const*> ChangeOfMeasure::PlacesReadByRate(int target) const {
  if (!HasRateRules(target)) return {};
  return rateRules_[static_cast<size_t>(target)].reads;
}

std::vector<short* const*> ChangeOfMeasure::PlacesReadByWeight(int target) const {
  if (!HasWeightRules(target)) return {};
  return weightRules_[static_cast<size_t>(target)].reads;
}

// --- Parsing -----------------------------------------------------------------------

namespace {

template <class Pairs> std::string ListNames(const Pairs& pairs) {
  std::string out;
  for (const auto& [name, unused] : pairs) {
    (void)unused;
    out += out.empty() ? name : ", " + name;
  }
  return out.empty() ? "none" : out;
}

template <class Pairs> auto Find(const Pairs& pairs, const std::string& name) {
  return std::find_if(pairs.begin(), pairs.end(), [&](const auto& p) { return p.first == name; });
}

bool IsKeyword(const std::string& word) {
  return expr::IsKeyword(word) || word == "let" || word == "rate" || word == "weight";
}

Op ProgramOp(expr::Op op) {
  switch (op) {
    case expr::Op::Add: return Op::Add;
    case expr::Op::Sub: return Op::Sub;
    case expr::Op::Mul: return Op::Mul;
    case expr::Op::Div: return Op::Div;
    case expr::Op::Pow: return Op::Pow;
    case expr::Op::Neg: return Op::Neg;
    case expr::Op::Min: return Op::Min;
    case expr::Op::Max: return Op::Max;
    case expr::Op::Exp: return Op::Exp;
    case expr::Op::Log: return Op::Log;
    case expr::Op::Sqrt: return Op::Sqrt;
    case expr::Op::Less: return Op::Less;
    case expr::Op::LessEqual: return Op::LessEqual;
    case expr::Op::Greater: return Op::Greater;
    case expr::Op::GreaterEqual: return Op::GreaterEqual;
    case expr::Op::Equal: return Op::Equal;
    case expr::Op::NotEqual: return Op::NotEqual;
    case expr::Op::And: return Op::And;
    case expr::Op::Or: return Op::Or;
    case expr::Op::Not: return Op::Not;
    case expr::Op::Number: case expr::Op::Name: break;
  }
  return Op::Number;
}

}  // namespace

// Parses one file; each line is tokenised and parsed on its own, its
// expressions by the shared expression parser, then compiled to programs.
class MeasureParser {
 public:
  MeasureParser(ChangeOfMeasure& measure, const MeasureVocabulary& vocabulary)
      : measure_(measure), vocabulary_(vocabulary) {}

  void ParseText(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      ++lineNumber_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      try {
        expr::Cursor cursor(expr::Tokenise(line));
        if (!cursor.AtEnd()) ParseStatement(cursor);
      } catch (const expr::Error& e) {
        // Tokens and the cursor always give a column; ParseExpression places
        // a mistake of a whole expression.
        Fail(e.column > 0 ? e.column : 1, e.Plain());
      }
    }
  }

 private:
  // FILE:LINE:COLUMN: what is wrong.
  [[noreturn]] void Fail(int column, const std::string& what) const {
    throw MeasureError(measure_.fileName_ + ":" + std::to_string(lineNumber_) + ":" + std::to_string(column) +
                       ": " + what);
  }

  // --- Statements ---
  void ParseStatement(expr::Cursor& in) {
    if (in.AtWord("let")) return ParseLet(in);
    if (in.AtWord("rate")) return ParseRule(in, true);
    if (in.AtWord("weight")) return ParseRule(in, false);
    in.SyntaxError("'let', 'rate' or 'weight'");
  }

  void ParseLet(expr::Cursor& in) {
    in.Take();
    if (in.Peek().type != expr::Token::Name || IsKeyword(in.Peek().text)) in.SyntaxError("a name after 'let'");
    const expr::Token nameToken = in.Take();
    const std::string& name = nameToken.text;
    if (name.find('.') != std::string::npos) Fail(nameToken.column, "let name '" + name + "' may not contain '.'");
    if (lets_.count(name) || Find(vocabulary_.globals, name) != vocabulary_.globals.end() ||
        Find(vocabulary_.places, name) != vocabulary_.places.end())
      Fail(nameToken.column, "let '" + name + "' is already a name");
    in.Expect("=");
    placesAllowed_ = false;
    letName_ = name;
    MeasureExpression e = ParseExpression(in, expr::Kind::Number, "a number");
    if (!in.AtEnd()) in.SyntaxError("end of line");
    lets_[name] = e.Evaluate();
  }

  void ParseRule(expr::Cursor& in, bool isRate) {
    in.Take();
    if (in.Peek().type != expr::Token::Name) in.SyntaxError(isRate ? "an activity name" : "a case name");
    const expr::Token targetToken = in.Take();
    const std::string& target = targetToken.text;
    const int id = isRate ? RateTarget(targetToken) : CaseTarget(targetToken);
    in.Expect("=");
    placesAllowed_ = true;
    ChangeOfMeasure::Rule rule;
    rule.line = lineNumber_;
    const int multiplierColumn = in.Peek().column;
    rule.multiplier = ParseExpression(in, expr::Kind::Number, "a number");
    if (in.AtWord("when")) {
      in.Take();
      rule.condition = ParseExpression(in, expr::Kind::Condition, "a condition");
    }
    if (!in.AtEnd()) in.SyntaxError(rule.condition.Empty() ? "'when' or end of line" : "end of line");
    rule.multiplier.FoldConstants();
    rule.condition.FoldConstants();
    if (!rule.multiplier.ReadsPlaces()) {
      const double value = rule.multiplier.Evaluate();
      if (!(value > 0.0) || !std::isfinite(value))
        Fail(multiplierColumn, (isRate ? "rate" : "weight") + std::string(" multiplier of ") + target + " is " +
             FormatNumber(value) + "; a multiplier must be a positive finite number");
    }
    auto& table = isRate ? measure_.rateRules_ : measure_.weightRules_;
    if (table.size() <= static_cast<size_t>(id)) table.resize(static_cast<size_t>(id) + 1);
    table[static_cast<size_t>(id)].rules.push_back(std::move(rule));
  }

  static std::string FormatNumber(double value) {
    std::ostringstream out;
    out.precision(17);
    out << value;
    return out.str();
  }

  int RateTarget(const expr::Token& target) const {
    auto found = Find(vocabulary_.rateTargets, target.text);
    if (found != vocabulary_.rateTargets.end()) return found->second;
    RefuseTarget(target, "a rate rule names an exponential activity", ListNames(vocabulary_.rateTargets));
  }
  int CaseTarget(const expr::Token& target) const {
    auto found = Find(vocabulary_.caseTargets, target.text);
    if (found != vocabulary_.caseTargets.end()) return found->second;
    RefuseTarget(target, "a weight rule names a case", ListNames(vocabulary_.caseTargets));
  }
  [[noreturn]] void RefuseTarget(const expr::Token& target, const std::string& rule,
                                 const std::string& valid) const {
    const std::string& name = target.text;
    std::string what = "unknown activity '" + name + "'";
    auto other = Find(vocabulary_.otherActions, name);
    if (other != vocabulary_.otherActions.end()) what = "'" + name + "' is " + other->second;
    if (other == vocabulary_.otherActions.end()) {
      auto asCase = Find(vocabulary_.caseTargets, name);
      auto asRate = Find(vocabulary_.rateTargets, name);
      if (asCase != vocabulary_.caseTargets.end()) what = "'" + name + "' is a case";
      if (asRate != vocabulary_.rateTargets.end()) what = "'" + name + "' is not a case";
    }
    Fail(target.column, what + "; " + rule + " (valid: " + valid + ")");
  }

  // --- Expressions ---
  // A mistake of the expression as a whole (nested too deeply) is placed at
  // its first column.
  MeasureExpression ParseExpression(expr::Cursor& in, expr::Kind wanted, const char* description) {
    const int column = in.Peek().column;
    expr::Node tree;
    try {
      tree = expr::Parse(in, wanted, description, [this](const expr::Token& t) { CheckName(t); });
    } catch (const expr::Error& e) {
      Fail(e.column > 0 ? e.column : column, e.Plain());
    }
    MeasureExpression e;
    int depth = 0;
    Compile(tree, column, e.code, depth);
    return e;
  }

  // Appends the tree's postfix program; `depth` is the evaluation stack's
  // height after it. `column` is where the whole expression starts.
  void Compile(const expr::Node& node, int column, std::vector<MeasureExpression::Instruction>& code,
               int& depth) const {
    for (const expr::Node& operand : node.operands) Compile(operand, column, code, depth);
    MeasureExpression::Instruction in{ProgramOp(node.op), 0.0, nullptr};
    if (node.op == expr::Op::Number) in.number = node.token.number;
    if (node.op == expr::Op::Name) in = NameInstruction(node.token.text);
    code.push_back(in);
    depth += 1 - expr::Operands(node.op);
    if (depth > MeasureExpression::kMaxDepth) Fail(column, "expression nested too deeply");
  }

  MeasureExpression::Instruction NameInstruction(const std::string& name) const {
    auto let = lets_.find(name);
    if (let != lets_.end()) return {Op::Number, let->second, nullptr};
    auto global = Find(vocabulary_.globals, name);
    if (global != vocabulary_.globals.end()) return {Op::Number, global->second, nullptr};
    return {Op::Place, 0.0, Find(vocabulary_.places, name)->second};
  }

  // Refuses, as it is read, a name that is no let, global variable or (where
  // allowed) place.
  void CheckName(const expr::Token& t) const {
    if (lets_.count(t.text) || Find(vocabulary_.globals, t.text) != vocabulary_.globals.end()) return;
    if (Find(vocabulary_.places, t.text) != vocabulary_.places.end()) {
      if (!placesAllowed_)
        Fail(t.column, "let '" + letName_ + "' reads the place '" + t.text +
             "'; a let may use global variables, numbers and earlier lets");
      return;
    }
    std::string valid = "global variables: " + ListNames(vocabulary_.globals);
    if (!lets_.empty()) valid += "; lets: " + ListNames(lets_);
    if (placesAllowed_) valid += "; places: " + ListNames(vocabulary_.places);
    Fail(t.column, "unknown name '" + t.text + "' (valid " + valid + ")");
  }

  ChangeOfMeasure& measure_;
  const MeasureVocabulary& vocabulary_;
  std::map<std::string, double> lets_;
  int lineNumber_ = 0;
  bool placesAllowed_ = false;
  std::string letName_;
};

ChangeOfMeasure::ChangeOfMeasure(std::string fileName, const std::string& text,
                                 const MeasureVocabulary& vocabulary)
    : fileName_(std::move(fileName)) {
  MeasureParser(*this, vocabulary).ParseText(text);
  ListPlacesRead(rateRules_);
  ListPlacesRead(weightRules_);
}

// Parser and evaluator of the change-of-measure format described in the
// header. Parsing is recursive descent over one line at a time; expressions
// compile to postfix programs.
#include "simulator/ChangeOfMeasure.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>
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
      case Op::Global: stack[top++] = static_cast<double>(*in.global); continue;
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
    case Op::Number: case Op::Global: case Op::Place: return 0;
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
      folded.push_back({Op::Number, value, nullptr, nullptr});
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

enum class Tok { End, Number, Name, Symbol };

struct Token {
  Tok kind = Tok::End;
  std::string text;
  double number = 0.0;
  int column = 0;  // 1-based
};

// A subexpression's kind: a number or a condition (true/false).
enum class Kind { Number, Condition };

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
  static const char* const kKeywords[] = {"let", "rate", "weight", "when", "and", "or", "not",
                                           "min", "max", "exp", "log", "sqrt"};
  return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                     [&](const char* k) { return word == k; });
}

}  // namespace

// Parses one file; each line is tokenised and parsed on its own.
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
      Tokenise(line);
      if (Peek().kind != Tok::End) ParseStatement();
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw MeasureError(measure_.fileName_ + ":" + std::to_string(lineNumber_) + ": " + what);
  }
  [[noreturn]] void SyntaxError(const std::string& expected) const {
    const Token& t = Peek();
    const std::string found = t.kind == Tok::End ? "end of line" : "'" + t.text + "'";
    Fail("syntax error at column " + std::to_string(t.column) + ": expected " + expected +
         ", found " + found);
  }

  // --- Tokens ---
  void Tokenise(const std::string& line) {
    tokens_.clear();
    next_ = 0;
    size_t i = 0;
    while (i < line.size()) {
      const char c = line[i];
      const int column = static_cast<int>(i) + 1;
      if (c == '#') break;
      if (std::isspace(static_cast<unsigned char>(c))) { ++i; continue; }
      if (std::isdigit(static_cast<unsigned char>(c)) ||
          (c == '.' && i + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[i + 1])))) {
        const char* start = line.c_str() + i;
        char* end = nullptr;
        const double value = std::strtod(start, &end);
        const size_t length = static_cast<size_t>(end - start);
        tokens_.push_back({Tok::Number, line.substr(i, length), value, column});
        i += length;
        continue;
      }
      if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        size_t j = i;
        // A qualified name: submodel.place.
        while (j < line.size() && (std::isalnum(static_cast<unsigned char>(line[j])) ||
                                   line[j] == '_' || line[j] == '.'))
          ++j;
        tokens_.push_back({Tok::Name, line.substr(i, j - i), 0.0, column});
        i = j;
        continue;
      }
      static const char* const kTwoChar[] = {"<=", ">=", "==", "!="};
      bool two = false;
      for (const char* s : kTwoChar)
        if (line.compare(i, 2, s) == 0) two = true;
      if (two || std::string("+-*/^(),<>=").find(c) != std::string::npos) {
        const size_t length = two ? 2 : 1;
        tokens_.push_back({Tok::Symbol, line.substr(i, length), 0.0, column});
        i += length;
        continue;
      }
      Fail("syntax error at column " + std::to_string(column) + ": unexpected character '" +
           std::string(1, c) + "'");
    }
    tokens_.push_back({Tok::End, "", 0.0, static_cast<int>(line.size()) + 1});
  }
  const Token& Peek() const { return tokens_[next_]; }
  Token Take() { return tokens_[next_ < tokens_.size() - 1 ? next_++ : next_]; }
  bool AtSymbol(const char* s) const { return Peek().kind == Tok::Symbol && Peek().text == s; }
  bool AtWord(const char* w) const { return Peek().kind == Tok::Name && Peek().text == w; }
  void Expect(const char* s) {
    if (!AtSymbol(s)) SyntaxError(std::string("'") + s + "'");
    Take();
  }

  // --- Statements ---
  void ParseStatement() {
    if (AtWord("let")) return ParseLet();
    if (AtWord("rate")) return ParseRule(true);
    if (AtWord("weight")) return ParseRule(false);
    SyntaxError("'let', 'rate' or 'weight'");
  }

  void ParseLet() {
    Take();
    if (Peek().kind != Tok::Name || IsKeyword(Peek().text)) SyntaxError("a name after 'let'");
    const std::string name = Take().text;
    if (name.find('.') != std::string::npos) Fail("let name '" + name + "' may not contain '.'");
    if (lets_.count(name) || Find(vocabulary_.globals, name) != vocabulary_.globals.end() ||
        Find(vocabulary_.places, name) != vocabulary_.places.end())
      Fail("let '" + name + "' is already a name");
    Expect("=");
    placesAllowed_ = false;
    letName_ = name;
    MeasureExpression e = ParseWhole(Kind::Number, "a number");
    lets_[name] = e.Evaluate();
  }

  void ParseRule(bool isRate) {
    Take();
    if (Peek().kind != Tok::Name) SyntaxError(isRate ? "an activity name" : "a case name");
    const std::string target = Take().text;
    const int id = isRate ? RateTarget(target) : CaseTarget(target);
    Expect("=");
    placesAllowed_ = true;
    ChangeOfMeasure::Rule rule;
    rule.line = lineNumber_;
    rule.multiplier = ParseExpression(Kind::Number, "a number");
    if (AtWord("when")) {
      Take();
      rule.condition = ParseExpression(Kind::Condition, "a condition");
    }
    if (Peek().kind != Tok::End) SyntaxError(rule.condition.Empty() ? "'when' or end of line" : "end of line");
    rule.multiplier.FoldConstants();
    rule.condition.FoldConstants();
    if (!rule.multiplier.ReadsPlaces()) {
      const double value = rule.multiplier.Evaluate();
      if (!(value > 0.0) || !std::isfinite(value))
        Fail((isRate ? "rate" : "weight") + std::string(" multiplier of ") + target + " is " +
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

  int RateTarget(const std::string& name) const {
    auto found = Find(vocabulary_.rateTargets, name);
    if (found != vocabulary_.rateTargets.end()) return found->second;
    RefuseTarget(name, "a rate rule names an exponential activity",
                 ListNames(vocabulary_.rateTargets));
  }
  int CaseTarget(const std::string& name) const {
    auto found = Find(vocabulary_.caseTargets, name);
    if (found != vocabulary_.caseTargets.end()) return found->second;
    RefuseTarget(name, "a weight rule names a case", ListNames(vocabulary_.caseTargets));
  }
  [[noreturn]] void RefuseTarget(const std::string& name, const std::string& rule,
                                 const std::string& valid) const {
    std::string what = "unknown activity '" + name + "'";
    auto other = Find(vocabulary_.otherActions, name);
    if (other != vocabulary_.otherActions.end()) what = "'" + name + "' is " + other->second;
    if (other == vocabulary_.otherActions.end()) {
      auto asCase = Find(vocabulary_.caseTargets, name);
      auto asRate = Find(vocabulary_.rateTargets, name);
      if (asCase != vocabulary_.caseTargets.end()) what = "'" + name + "' is a case";
      if (asRate != vocabulary_.rateTargets.end()) what = "'" + name + "' is not a case";
    }
    Fail(what + "; " + rule + " (valid: " + valid + ")");
  }

  // --- Expressions ---
  // An expression that must fill the rest of the line.
  MeasureExpression ParseWhole(Kind wanted, const char* description) {
    MeasureExpression e = ParseExpression(wanted, description);
    if (Peek().kind != Tok::End) SyntaxError("end of line");
    return e;
  }
  MeasureExpression ParseExpression(Kind wanted, const char* description) {
    code_.clear();
    depth_ = maxDepth_ = 0;
    const Token start = Peek();
    const Kind kind = ParseOr();
    if (kind != wanted)
      Fail("expected " + std::string(description) + " at column " + std::to_string(start.column) +
           (wanted == Kind::Number ? ", found a condition" : ", found a number"));
    MeasureExpression e;
    e.code = code_;
    return e;
  }

  void Emit(Op op, int pops, double number = 0.0) {
    MeasureExpression::Instruction in{op, number, nullptr, nullptr};
    code_.push_back(in);
    Grow(1 - pops);
  }
  void Grow(int by) {
    depth_ += by;
    if (depth_ > maxDepth_) maxDepth_ = depth_;
    if (maxDepth_ > MeasureExpression::kMaxDepth) Fail("expression nested too deeply");
  }
  void Require(Kind found, Kind wanted, const Token& at) const {
    if (found == wanted) return;
    Fail("expected " + std::string(wanted == Kind::Number ? "a number" : "a condition") +
         " at column " + std::to_string(at.column));
  }

  // Every way the grammar nests (parentheses and calls, unary minus and
  // exponents, not) passes through one of ParseOr, ParseUnary and ParseNot,
  // which hold a Nesting while they recurse, so that a deeply nested line is
  // refused instead of exhausting the stack.
  class Nesting {
   public:
    explicit Nesting(MeasureParser& parser) : parser_(parser) {
      if (++parser_.nesting_ > MeasureExpression::kMaxDepth) parser_.Fail("expression nested too deeply");
    }
    ~Nesting() { --parser_.nesting_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    MeasureParser& parser_;
  };

  Kind ParseOr() {
    const Nesting nesting(*this);
    Token at = Peek();
    Kind kind = ParseAnd();
    while (AtWord("or")) {
      Require(kind, Kind::Condition, at);
      Take();
      at = Peek();
      Require(ParseAnd(), Kind::Condition, at);
      Emit(Op::Or, 2);
    }
    return kind;
  }
  Kind ParseAnd() {
    Token at = Peek();
    Kind kind = ParseNot();
    while (AtWord("and")) {
      Require(kind, Kind::Condition, at);
      Take();
      at = Peek();
      Require(ParseNot(), Kind::Condition, at);
      Emit(Op::And, 2);
    }
    return kind;
  }
  Kind ParseNot() {
    if (!AtWord("not")) return ParseComparison();
    const Nesting nesting(*this);
    Take();
    const Token at = Peek();
    Require(ParseNot(), Kind::Condition, at);
    Emit(Op::Not, 1);
    return Kind::Condition;
  }
  Kind ParseComparison() {
    const Token at = Peek();
    const Kind kind = ParseSum();
    static const std::pair<const char*, Op> kRelations[] = {
        {"<", Op::Less}, {"<=", Op::LessEqual}, {">", Op::Greater},
        {">=", Op::GreaterEqual}, {"==", Op::Equal}, {"!=", Op::NotEqual}};
    for (const auto& [symbol, op] : kRelations) {
      if (!AtSymbol(symbol)) continue;
      Require(kind, Kind::Number, at);
      Take();
      const Token right = Peek();
      Require(ParseSum(), Kind::Number, right);
      Emit(op, 2);
      return Kind::Condition;
    }
    return kind;
  }
  Kind ParseSum() {
    const Token at = Peek();
    Kind kind = ParseProduct();
    while (AtSymbol("+") || AtSymbol("-")) {
      Require(kind, Kind::Number, at);
      const Op op = Take().text == "+" ? Op::Add : Op::Sub;
      const Token right = Peek();
      Require(ParseProduct(), Kind::Number, right);
      Emit(op, 2);
    }
    return kind;
  }
  Kind ParseProduct() {
    const Token at = Peek();
    Kind kind = ParseUnary();
    while (AtSymbol("*") || AtSymbol("/")) {
      Require(kind, Kind::Number, at);
      const Op op = Take().text == "*" ? Op::Mul : Op::Div;
      const Token right = Peek();
      Require(ParseUnary(), Kind::Number, right);
      Emit(op, 2);
    }
    return kind;
  }
  // Unary minus binds looser than ^: -2^2 is -(2^2).
  Kind ParseUnary() {
    const Nesting nesting(*this);
    if (!AtSymbol("-")) return ParsePower();
    Take();
    const Token at = Peek();
    Require(ParseUnary(), Kind::Number, at);
    Emit(Op::Neg, 1);
    return Kind::Number;
  }
  // Right-associative: the exponent is itself a unary expression.
  Kind ParsePower() {
    const Token at = Peek();
    const Kind kind = ParsePrimary();
    if (!AtSymbol("^")) return kind;
    Require(kind, Kind::Number, at);
    Take();
    const Token right = Peek();
    Require(ParseUnary(), Kind::Number, right);
    Emit(Op::Pow, 2);
    return Kind::Number;
  }
  Kind ParsePrimary() {
    const Token t = Peek();
    if (t.kind == Tok::Number) {
      Take();
      Emit(Op::Number, 0, t.number);
      return Kind::Number;
    }
    if (AtSymbol("(")) {
      Take();
      const Kind kind = ParseOr();
      Expect(")");
      return kind;
    }
    if (t.kind != Tok::Name || t.text == "and" || t.text == "or" || t.text == "when")
      SyntaxError("a number, a name or '('");
    Take();
    static const std::pair<const char*, Op> kFunctions[] = {
        {"min", Op::Min}, {"max", Op::Max}, {"exp", Op::Exp}, {"log", Op::Log}, {"sqrt", Op::Sqrt}};
    for (const auto& [name, op] : kFunctions)
      if (t.text == name) return ParseCall(t, op, op == Op::Min || op == Op::Max ? 2 : 1);
    EmitName(t);
    return Kind::Number;
  }
  Kind ParseCall(const Token& name, Op op, int arguments) {
    const std::string count = arguments == 2 ? " takes two arguments)" : " takes one argument)";
    Expect("(");
    for (int i = 0; i < arguments; ++i) {
      if (i > 0) {
        if (!AtSymbol(",")) SyntaxError("',' (" + name.text + count);
        Take();
      }
      const Token at = Peek();
      Require(ParseOr(), Kind::Number, at);
    }
    if (!AtSymbol(")")) SyntaxError("')' (" + name.text + count);
    Take();
    Emit(op, arguments);
    return Kind::Number;
  }

  void EmitName(const Token& t) {
    auto let = lets_.find(t.text);
    if (let != lets_.end()) return Emit(Op::Number, 0, let->second);
    auto global = Find(vocabulary_.globals, t.text);
    if (global != vocabulary_.globals.end()) {
      Emit(Op::Global, 0);
      code_.back().global = global->second;
      return;
    }
    auto place = Find(vocabulary_.places, t.text);
    if (place != vocabulary_.places.end()) {
      if (!placesAllowed_)
        Fail("let '" + letName_ + "' reads the place '" + t.text +
             "'; a let may use global variables, numbers and earlier lets");
      Emit(Op::Place, 0);
      code_.back().mark = place->second;
      return;
    }
    std::string valid = "global variables: " + ListNames(vocabulary_.globals);
    if (!lets_.empty()) valid += "; lets: " + ListNames(lets_);
    if (placesAllowed_) valid += "; places: " + ListNames(vocabulary_.places);
    Fail("unknown name '" + t.text + "' at column " + std::to_string(t.column) + " (valid " + valid +
         ")");
  }

  ChangeOfMeasure& measure_;
  const MeasureVocabulary& vocabulary_;
  std::map<std::string, double> lets_;
  std::vector<Token> tokens_;
  size_t next_ = 0;
  int lineNumber_ = 0;
  bool placesAllowed_ = false;
  std::string letName_;
  std::vector<MeasureExpression::Instruction> code_;  // program being compiled
  int depth_ = 0;
  int maxDepth_ = 0;
  int nesting_ = 0;  // recursive calls of the expression grammar in progress
};

ChangeOfMeasure::ChangeOfMeasure(std::string fileName, const std::string& text,
                                 const MeasureVocabulary& vocabulary)
    : fileName_(std::move(fileName)) {
  MeasureParser(*this, vocabulary).ParseText(text);
  ListPlacesRead(rateRules_);
  ListPlacesRead(weightRules_);
}

#include "writer/Cpp.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sanc {
namespace {

// Binding strength in C++, loosest first; operands that bind less tightly
// than their place needs are parenthesised.
int Precedence(expr::Op op) {
  using expr::Op;
  switch (op) {
    case Op::Or: return 1;
    case Op::And: return 2;
    case Op::Equal: case Op::NotEqual: return 3;
    case Op::Less: case Op::LessEqual: case Op::Greater: case Op::GreaterEqual: return 4;
    case Op::Add: case Op::Sub: return 5;
    case Op::Mul: case Op::Div: return 6;
    case Op::Neg: case Op::Not: return 7;
    default: return 8;  // numbers, names, calls
  }
}

const char* CppOperator(expr::Op op) {
  switch (op) {
    case expr::Op::And: return "&&";
    case expr::Op::Or: return "||";
    default: return expr::Spelling(op);
  }
}

class Translator {
 public:
  Translator(const Model& model, const Scope& scope, const NameSpelling& spell)
      : model_(model), scope_(scope), spell_(spell) {}

  std::string Emit(const expr::Node& node) {
    using expr::Op;
    const auto& operands = node.operands;
    switch (node.op) {
      case Op::Number: return node.token.text;
      case Op::Name: return spell_(node.token.text);
      case Op::Neg: return "-" + Operand(operands[0], 8);
      case Op::Not: return "!" + Operand(operands[0], 8);
      case Op::Exp: case Op::Log: case Op::Sqrt:
        return std::string("std::") + expr::Spelling(node.op) + "(" + Emit(operands[0]) + ")";
      case Op::Pow: return "std::pow(" + Emit(operands[0]) + ", " + Emit(operands[1]) + ")";
      // The type is named: the operands may differ (an int and a double, a
      // marking's short and an int) while std::min wants one.
      case Op::Min: case Op::Max:
        return std::string("std::") + expr::Spelling(node.op) + "<" + CppTypeName(TypeOf(model_, node, scope_)) + ">(" +
               Emit(operands[0]) + ", " + Emit(operands[1]) + ")";
      default: break;
    }
    const int p = Precedence(node.op);
    std::string left = Operand(operands[0], p);
    if (node.op == Op::Div && IsIntegral(TypeOf(model_, operands[0], scope_)) &&
        IsIntegral(TypeOf(model_, operands[1], scope_)))
      left = "static_cast<double>(" + Emit(operands[0]) + ")";
    // The right operand of a left-associative operator binds tighter, so
    // a - (b - c) and a + (b + c) keep their parentheses and their order.
    return left + " " + CppOperator(node.op) + " " + Operand(operands[1], p + 1);
  }

 private:
  std::string Operand(const expr::Node& node, int needed) {
    const std::string text = Emit(node);
    // "- -x" would read as a decrement.
    if (node.op == expr::Op::Neg && needed == 8) return "(" + text + ")";
    return Precedence(node.op) >= needed ? text : "(" + text + ")";
  }

  const Model& model_;
  const Scope& scope_;
  const NameSpelling& spell_;
};

}  // namespace

std::string CppExpression(const Model& model, const expr::Node& node, const Scope& scope, const NameSpelling& spell) {
  return Translator(model, scope, spell).Emit(node);
}

std::string CppConjunct(const Model& model, const expr::Node& node, const Scope& scope, const NameSpelling& spell) {
  const std::string text = CppExpression(model, node, scope, spell);
  return node.op == expr::Op::Or ? "(" + text + ")" : text;
}

const char* CppTypeName(Type type) { return TypeName(type); }

std::string CppLiteral(double value, Type type) {
  char buffer[64];
  if (IsIntegral(type)) {
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
  }
  std::snprintf(buffer, sizeof buffer, type == Type::Float ? "%.9g" : "%.17g", value);
  std::string text = buffer;
  // The shortest spelling that reads back to the same value, in plain
  // decimals unless the number is very large or very small.
  const double magnitude = std::fabs(value);
  const bool scientific = magnitude != 0 && (magnitude < 1e-4 || magnitude >= 1e16);
  for (int digits = 1; digits <= (type == Type::Float ? 9 : 17); ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    const bool same = type == Type::Float ? std::strtof(buffer, nullptr) == static_cast<float>(value)
                                          : std::strtod(buffer, nullptr) == value;
    if (same && (scientific || std::string(buffer).find('e') == std::string::npos)) {
      text = buffer;
      break;
    }
  }
  if (text.find_first_of(".en") == std::string::npos) text += ".0";
  return type == Type::Float ? text + "f" : text;
}

Text& Text::operator<<(const std::string& s) {
  text_ += s;
  for (char c : s) lines_ += c == '\n';
  return *this;
}

void Text::BlankLine() {
  const size_t n = text_.size();
  if (n == 0 || (n >= 2 && text_[n - 1] == '\n' && text_[n - 2] == '\n')) return;
  *this << "\n";
}

void Text::ModelLine(const std::string& code, int line, const std::string& modelFile) {
  // Model lines written one after the other share their directives: the
  // directive back to this file is dropped, and so is the one to the model
  // file when the code's model line follows the previous one's.
  const bool follows = backAt_ != std::string::npos && backAt_ + backLength_ == text_.size();
  if (follows) {
    text_.resize(backAt_);
    --lines_;
  }
  if (!follows || line != modelLine_ + 1) *this << "#line " + std::to_string(line) + " \"" + modelFile + "\"\n";
  *this << code + "\n";
  const std::string back = "#line " + std::to_string(lines_ + 2) + " \"" + name_ + "\"\n";
  backAt_ = text_.size();
  backLength_ = back.size();
  modelLine_ = line;
  *this << back;
}

}  // namespace sanc

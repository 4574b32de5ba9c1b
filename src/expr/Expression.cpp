// Tokeniser and recursive-descent parser of the shared expression language
// described in the header.
#include "expr/Expression.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace expr {

Error::Error(int column_, std::string head_, std::string tail_)
    : std::runtime_error(head_ + tail_), column(column_), head(std::move(head_)), tail(std::move(tail_)) {}

std::string Error::WithColumn() const {
  return column > 0 ? head + " at column " + std::to_string(column) + tail : head + tail;
}

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_'; }
bool IsNamePart(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.'; }

}  // namespace

std::vector<Token> Tokenise(const std::string& line) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    const int column = static_cast<int>(i) + 1;
    if (c == '#') break;
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (IsDigit(c) || (c == '.' && i + 1 < line.size() && IsDigit(line[i + 1]))) {
      const char* start = line.c_str() + i;
      char* end = nullptr;
      const double value = std::strtod(start, &end);
      const size_t length = static_cast<size_t>(end - start);
      tokens.push_back({Token::Number, line.substr(i, length), value, column});
      i += length;
      continue;
    }
    if (IsNameStart(c)) {
      size_t j = i;
      while (j < line.size() && IsNamePart(line[j])) ++j;
      tokens.push_back({Token::Name, line.substr(i, j - i), 0.0, column});
      i = j;
      continue;
    }
    static const char* const kTwoChar[] = {"<=", ">=", "==", "!=", "+=", "-="};
    const bool two = std::any_of(std::begin(kTwoChar), std::end(kTwoChar),
                                 [&](const char* s) { return line.compare(i, 2, s) == 0; });
    if (two || std::string("+-*/^(),<>=;").find(c) != std::string::npos) {
      const size_t length = two ? 2 : 1;
      tokens.push_back({Token::Symbol, line.substr(i, length), 0.0, column});
      i += length;
      continue;
    }
    throw Error(column, "syntax error", ": unexpected character '" + std::string(1, c) + "'");
  }
  tokens.push_back({Token::End, "", 0.0, static_cast<int>(line.size()) + 1});
  return tokens;
}

void Cursor::Expect(const char* symbol) {
  if (!AtSymbol(symbol)) SyntaxError(std::string("'") + symbol + "'");
  Take();
}

void Cursor::SyntaxError(const std::string& expected) const {
  const Token& t = Peek();
  const std::string found = t.type == Token::End ? "end of line" : "'" + t.text + "'";
  throw Error(t.column, "syntax error", ": expected " + expected + ", found " + found);
}

int Operands(Op op) {
  switch (op) {
    case Op::Number: case Op::Name: return 0;
    case Op::Neg: case Op::Not: case Op::Exp: case Op::Log: case Op::Sqrt: return 1;
    default: return 2;
  }
}

const char* Spelling(Op op) {
  switch (op) {
    case Op::Number: return "number";
    case Op::Name: return "name";
    case Op::Add: return "+";
    case Op::Sub: case Op::Neg: return "-";
    case Op::Mul: return "*";
    case Op::Div: return "/";
    case Op::Pow: return "^";
    case Op::Min: return "min";
    case Op::Max: return "max";
    case Op::Exp: return "exp";
    case Op::Log: return "log";
    case Op::Sqrt: return "sqrt";
    case Op::Less: return "<";
    case Op::LessEqual: return "<=";
    case Op::Greater: return ">";
    case Op::GreaterEqual: return ">=";
    case Op::Equal: return "==";
    case Op::NotEqual: return "!=";
    case Op::And: return "and";
    case Op::Or: return "or";
    case Op::Not: return "not";
  }
  return "?";
}

bool IsCondition(Op op) { return op >= Op::Less; }

bool IsKeyword(const std::string& word) {
  static const char* const kKeywords[] = {"and", "or", "not", "when", "min", "max", "exp", "log", "sqrt"};
  return std::any_of(std::begin(kKeywords), std::end(kKeywords), [&](const char* k) { return word == k; });
}

namespace {

// One parse of one expression. Every way the grammar nests passes through
// ParseOr, ParseUnary or ParseNot, which hold a Nesting while they recurse.
class Parser {
 public:
  Parser(Cursor& cursor, const NameHook& onName) : in_(cursor), onName_(onName) {}

  Node Whole(Kind wanted, const char* description) {
    const Token start = in_.Peek();
    Node node = ParseOr();
    if (KindOf(node) != wanted)
      throw Error(start.column, std::string("expected ") + description,
                  wanted == Kind::Number ? ", found a condition" : ", found a number");
    return node;
  }

 private:
  class Nesting {
   public:
    explicit Nesting(Parser& parser) : parser_(parser) {
      if (++parser_.nesting_ > kMaxNesting) throw Error(0, "expression nested too deeply");
    }
    ~Nesting() { --parser_.nesting_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    Parser& parser_;
  };

  static Kind KindOf(const Node& node) { return IsCondition(node.op) ? Kind::Condition : Kind::Number; }
  static void Require(const Node& node, Kind wanted, const Token& at) {
    if (KindOf(node) == wanted) return;
    throw Error(at.column, wanted == Kind::Number ? "expected a number" : "expected a condition");
  }
  // A long chain (1 + 1 + ... ) nests the tree without nesting the
  // grammar; its height is bounded too, so walking it cannot overflow.
  static Node Make(Op op, Token token, std::vector<Node> operands) {
    Node node;
    node.op = op;
    node.token = std::move(token);
    for (const Node& operand : operands) node.height = std::max(node.height, operand.height + 1);
    if (node.height > kMaxHeight) throw Error(0, "expression nested too deeply");
    node.operands = std::move(operands);
    return node;
  }
  // left OP right, both of kind `operands`, read while the cursor is at one
  // of `ops`; `next` parses one side.
  template <class Next>
  Node Chain(const std::vector<std::pair<const char*, Op>>& ops, Kind operands, Next next, bool word) {
    Token at = in_.Peek();
    Node left = (this->*next)();
    for (;;) {
      const auto found = std::find_if(ops.begin(), ops.end(), [&](const auto& o) {
        return word ? in_.AtWord(o.first) : in_.AtSymbol(o.first);
      });
      if (found == ops.end()) return left;
      Require(left, operands, at);
      const Token op = in_.Take();
      at = in_.Peek();
      Node right = (this->*next)();
      Require(right, operands, at);
      left = Make(found->second, op, {std::move(left), std::move(right)});
    }
  }

  Node ParseOr() {
    const Nesting nesting(*this);
    return Chain({{"or", Op::Or}}, Kind::Condition, &Parser::ParseAnd, true);
  }
  Node ParseAnd() { return Chain({{"and", Op::And}}, Kind::Condition, &Parser::ParseNot, true); }
  Node ParseNot() {
    if (!in_.AtWord("not")) return ParseComparison();
    const Nesting nesting(*this);
    const Token op = in_.Take();
    const Token at = in_.Peek();
    Node operand = ParseNot();
    Require(operand, Kind::Condition, at);
    return Make(Op::Not, op, {std::move(operand)});
  }
  Node ParseComparison() {
    static const std::pair<const char*, Op> kRelations[] = {
        {"<", Op::Less}, {"<=", Op::LessEqual}, {">", Op::Greater},
        {">=", Op::GreaterEqual}, {"==", Op::Equal}, {"!=", Op::NotEqual}};
    const Token at = in_.Peek();
    Node left = ParseSum();
    for (const auto& [symbol, op] : kRelations) {
      if (!in_.AtSymbol(symbol)) continue;
      Require(left, Kind::Number, at);
      const Token relation = in_.Take();
      const Token right = in_.Peek();
      Node other = ParseSum();
      Require(other, Kind::Number, right);
      return Make(op, relation, {std::move(left), std::move(other)});
    }
    return left;
  }
  Node ParseSum() { return Chain({{"+", Op::Add}, {"-", Op::Sub}}, Kind::Number, &Parser::ParseProduct, false); }
  Node ParseProduct() { return Chain({{"*", Op::Mul}, {"/", Op::Div}}, Kind::Number, &Parser::ParseUnary, false); }
  Node ParseUnary() {
    const Nesting nesting(*this);
    if (!in_.AtSymbol("-")) return ParsePower();
    const Token op = in_.Take();
    const Token at = in_.Peek();
    Node operand = ParseUnary();
    Require(operand, Kind::Number, at);
    return Make(Op::Neg, op, {std::move(operand)});
  }
  Node ParsePower() {
    const Token at = in_.Peek();
    Node base = ParsePrimary();
    if (!in_.AtSymbol("^")) return base;
    Require(base, Kind::Number, at);
    const Token op = in_.Take();
    const Token right = in_.Peek();
    Node exponent = ParseUnary();
    Require(exponent, Kind::Number, right);
    return Make(Op::Pow, op, {std::move(base), std::move(exponent)});
  }
  Node ParsePrimary() {
    const Token t = in_.Peek();
    if (t.type == Token::Number) return Make(Op::Number, in_.Take(), {});
    if (in_.AtSymbol("(")) {
      in_.Take();
      Node inner = ParseOr();
      in_.Expect(")");
      return inner;
    }
    if (t.type != Token::Name || t.text == "and" || t.text == "or" || t.text == "when")
      in_.SyntaxError("a number, a name or '('");
    in_.Take();
    static const std::pair<const char*, Op> kFunctions[] = {
        {"min", Op::Min}, {"max", Op::Max}, {"exp", Op::Exp}, {"log", Op::Log}, {"sqrt", Op::Sqrt}};
    for (const auto& [name, op] : kFunctions)
      if (t.text == name) return ParseCall(t, op);
    onName_(t);
    return Make(Op::Name, t, {});
  }
  Node ParseCall(const Token& name, Op op) {
    const int arguments = Operands(op);
    const std::string count = arguments == 2 ? " takes two arguments)" : " takes one argument)";
    in_.Expect("(");
    std::vector<Node> operands;
    for (int i = 0; i < arguments; ++i) {
      if (i > 0) {
        if (!in_.AtSymbol(",")) in_.SyntaxError("',' (" + name.text + count);
        in_.Take();
      }
      const Token at = in_.Peek();
      operands.push_back(ParseOr());
      Require(operands.back(), Kind::Number, at);
    }
    if (!in_.AtSymbol(")")) in_.SyntaxError("')' (" + name.text + count);
    in_.Take();
    return Make(op, name, std::move(operands));
  }

  Cursor& in_;
  const NameHook& onName_;
  int nesting_ = 0;
};

}  // namespace

Node Parse(Cursor& cursor, Kind wanted, const char* description, const NameHook& onName) {
  return Parser(cursor, onName).Whole(wanted, description);
}

}  // namespace expr

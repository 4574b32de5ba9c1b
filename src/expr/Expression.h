// The expression language that model files and change-of-measure files
// share: its tokens, its grammar and the tree a line's expression parses
// into. It knows nothing of what names mean; each reader resolves names
// itself (a hook sees every name as it is read) and turns the tree into
// what it needs: the change of measure into a program it evaluates, the
// model compiler into C++. Invariants of a parsed tree: every operand
// count matches its operator (Operands()), and the tree's kind (number or
// condition) is the one the caller asked for.
//
// Grammar, loosest first:
//   or-expr   = and-expr { "or" and-expr }             conditions
//   and-expr  = not-expr { "and" not-expr }            conditions
//   not-expr  = "not" not-expr | comparison
//   comparison= sum [ ("<"|"<="|">"|">="|"=="|"!=") sum ]
//   sum       = product { ("+"|"-") product }          numbers
//   product   = unary { ("*"|"/") unary }
//   unary     = "-" unary | power
//   power     = primary [ "^" unary ]                  right-associative,
//                                                      so -2^2 = -(2^2)
//   primary   = NUMBER | NAME | FUNCTION "(" args ")" | "(" or-expr ")"
// FUNCTION: min(a,b), max(a,b), exp(x), log(x), sqrt(x). NAME: letters,
// digits, '_' and '.' (for submodel.place), not starting with a digit.
// '#' starts a comment that runs to the end of the line.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace expr {

// A mistake in a line, at a column (1-based; 0 when the line as a whole is
// at fault). The message reads `head` + `tail`; readers that report the
// column inside the message put " at column N" between the two.
class Error : public std::runtime_error {
 public:
  Error(int column, std::string head, std::string tail = "");
  // head + " at column N" + tail (or head + tail without a column).
  std::string WithColumn() const;
  std::string Plain() const { return head + tail; }

  int column;
  std::string head;
  std::string tail;
};

struct Token {
  enum Type { End, Number, Name, Symbol };
  Type type = End;
  std::string text;  // as written
  double number = 0.0;
  int column = 0;  // 1-based; the end token's is one past the line
};

// Splits one line into tokens, ending with an End token. Symbols: + - * /
// ^ ( ) , < <= > >= == != = += -= ; and '.' inside names.
std::vector<Token> Tokenise(const std::string& line);

// Reads a line's tokens in order; past the end it stays on the End token.
class Cursor {
 public:
  explicit Cursor(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}
  const Token& Peek() const { return tokens_[next_]; }
  Token Take() { return tokens_[next_ + 1 < tokens_.size() ? next_++ : next_]; }
  bool AtEnd() const { return Peek().type == Token::End; }
  bool AtSymbol(const char* symbol) const { return Peek().type == Token::Symbol && Peek().text == symbol; }
  bool AtWord(const char* word) const { return Peek().type == Token::Name && Peek().text == word; }
  // Takes the symbol or refuses the line with what was expected.
  void Expect(const char* symbol);
  // "syntax error at column N: expected X, found Y" for the current token.
  [[noreturn]] void SyntaxError(const std::string& expected) const;

 private:
  std::vector<Token> tokens_;
  size_t next_ = 0;
};

enum class Op : uint8_t {
  Number, Name, Add, Sub, Mul, Div, Pow, Neg, Min, Max, Exp, Log, Sqrt,
  Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual, And, Or, Not
};
// 0 for numbers and names, 1 for Neg, Not, Exp, Log, Sqrt, else 2.
int Operands(Op op);
// The operator as written in the language ("+", "min", "and", ...).
const char* Spelling(Op op);
bool IsCondition(Op op);  // comparisons, and, or, not

struct Node {
  Op op = Op::Number;
  Token token;  // the number, the name, or the operator's token
  std::vector<Node> operands;
  int height = 0;  // longest path to a leaf
};

enum class Kind { Number, Condition };

// Called on every name as it is read, in reading order; it may throw to
// refuse the name.
using NameHook = std::function<void(const Token&)>;

// Deepest nesting of the grammar's recursion (parentheses, calls, unary
// minus, not) a line may use; deeper lines are refused, never overflow.
constexpr int kMaxNesting = 64;
// Tallest tree a line may give (long chains of + or and).
constexpr int kMaxHeight = 1000;

// Parses the expression at the cursor, which must be of the kind wanted
// (`description` names it in the refusal, e.g. "a number").
Node Parse(Cursor& cursor, Kind wanted, const char* description, const NameHook& onName);

// True for the words the grammar reserves.
bool IsKeyword(const std::string& word);

}  // namespace expr

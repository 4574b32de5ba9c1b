// The shared expression language: what a line parses into, and what it
// refuses, with the column.
#include <gtest/gtest.h>

#include "expr/Expression.h"

namespace {

// The tree in prefix form, e.g. "(- 1 (/ x 2))".
std::string Shape(const expr::Node& node) {
  if (node.operands.empty()) return node.token.text;
  std::string out = std::string("(") + expr::Spelling(node.op);
  for (const expr::Node& operand : node.operands) out += " " + Shape(operand);
  return out + ")";
}

std::string Parsed(const std::string& line, expr::Kind kind = expr::Kind::Number) {
  expr::Cursor cursor(expr::Tokenise(line));
  return Shape(expr::Parse(cursor, kind, kind == expr::Kind::Number ? "a number" : "a condition",
                           [](const expr::Token&) {}));
}

std::string Refused(const std::string& line, expr::Kind kind = expr::Kind::Number) {
  try {
    Parsed(line, kind);
  } catch (const expr::Error& e) {
    return e.WithColumn();
  }
  return "";
}

}  // namespace

TEST(Expression, PrecedenceAndAssociativity) {
  EXPECT_EQ(Parsed("1 - x / 2"), "(- 1 (/ x 2))");
  EXPECT_EQ(Parsed("a - b - c"), "(- (- a b) c)");
  EXPECT_EQ(Parsed("-2^2"), "(- (^ 2 2))");
  EXPECT_EQ(Parsed("2^3^2"), "(^ 2 (^ 3 2))");
  EXPECT_EQ(Parsed("min(a, max(b, 1)) * sqrt(c)"), "(* (min a (max b 1)) (sqrt c))");
  EXPECT_EQ(Parsed("a > 0 and not b == 1 or c <= 2", expr::Kind::Condition),
            "(or (and (> a 0) (not (== b 1))) (<= c 2))");
  EXPECT_EQ(Parsed("sub.place + 1"), "(+ sub.place 1)");
}

TEST(Expression, RefusalsNameTheColumn) {
  EXPECT_EQ(Refused("(2 + 3"), "syntax error at column 7: expected ')', found end of line");
  EXPECT_EQ(Refused("1 < 2"), "expected a number at column 1, found a condition");
  EXPECT_EQ(Refused("3", expr::Kind::Condition), "expected a condition at column 1, found a number");
  EXPECT_EQ(Refused("1 + (2 < 3)"), "expected a number at column 5");
  EXPECT_EQ(Refused("min(1)"), "syntax error at column 6: expected ',' (min takes two arguments), found ')'");
  EXPECT_EQ(Refused("2 @ 3"), "syntax error at column 3: unexpected character '@'");
}

TEST(Expression, DeepAndLongLinesAreRefusedNotOverflowed) {
  std::string nested(100, '(');
  nested += '1';
  nested.append(100, ')');
  EXPECT_EQ(Refused(nested), "expression nested too deeply");
  std::string chain = "1";
  for (int i = 0; i < 5000; ++i) chain += " + 1";
  EXPECT_EQ(Refused(chain), "expression nested too deeply");
  std::string fine = "1";
  for (int i = 0; i < 500; ++i) fine += " + 1";
  EXPECT_EQ(Refused(fine), "");
}

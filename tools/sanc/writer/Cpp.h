// Writing C++: a text buffer that counts its lines (so that #line
// directives can point at the model file and back), and the translation of
// the expression language into C++ that keeps each value's type and each
// operation's order, so that compiled arithmetic is that of hand-written
// code: a float global stays a float, `a + b + c` is ((a + b) + c). The one
// departure from C++: `/` between two whole numbers divides as real
// numbers (the left side is converted to double).
#pragma once

#include <functional>
#include <string>

#include "model/Analysis.h"
#include "model/Model.h"

namespace sanc {

// The C++ spelling of a name of the expression (a marking, a global).
using NameSpelling = std::function<std::string(const std::string&)>;

std::string CppExpression(const Model& model, const expr::Node& node, const Scope& scope,
                          const NameSpelling& spell);
// Same, parenthesised if needed to stand as one operand of && .
std::string CppConjunct(const Model& model, const expr::Node& node, const Scope& scope, const NameSpelling& spell);

// A double as a C++ literal of the type, exact (e.g. 0.03125f, 64.0f, 8).
std::string CppLiteral(double value, Type type);
const char* CppTypeName(Type type);

class Text {
 public:
  explicit Text(std::string name) : name_(std::move(name)) {}
  Text& operator<<(const std::string& s);
  // One line of code that holds text of the model file's line `line`: it
  // is preceded by a #line directive to the model file and followed by one
  // back to this file.
  void ModelLine(const std::string& code, int line, const std::string& modelFile);
  // An empty line, unless the text is empty or already ends with one.
  void BlankLine();
  const std::string& Name() const { return name_; }
  const std::string& Str() const { return text_; }

 private:
  std::string name_;
  std::string text_;
  int lines_ = 0;
  // The last directive back to this file, and the model line before it.
  size_t backAt_ = std::string::npos;
  size_t backLength_ = 0;
  int modelLine_ = 0;
};

}  // namespace sanc

#include "model/Diagnostic.h"

#include <algorithm>

namespace sanc {

const char* TypeName(Type type) {
  switch (type) {
    case Type::Bool: return "bool";
    case Type::Char: return "char";
    case Type::Short: return "short";
    case Type::Int: return "int";
    case Type::Float: return "float";
    case Type::Double: return "double";
  }
  return "?";
}

void Fail(const Model& model, Where where, const std::string& what) {
  std::string message = model.file + ":" + std::to_string(where.line) + ":";
  if (where.column > 0) message += std::to_string(where.column) + ":";
  message += " " + what;
  if (where.line >= 1 && static_cast<size_t>(where.line) <= model.lines.size()) {
    const std::string& line = model.lines[static_cast<size_t>(where.line) - 1];
    message += "\n    " + line;
    if (where.column > 0) {
      // Tabs stay tabs so the caret lines up under the column.
      std::string pad;
      for (size_t i = 0; i + 1 < static_cast<size_t>(where.column) && i < line.size(); ++i)
        pad += line[i] == '\t' ? '\t' : ' ';
      message += "\n    " + pad + "^";
    }
  }
  throw ModelError(message);
}

namespace {

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string Candidates(const std::string& wrong, const std::vector<std::string>& valid, const std::string& kind) {
  if (valid.empty()) return "(no " + kind + ")";
  std::string nearest;
  size_t best = std::max<size_t>(2, wrong.size() / 3) + 1;
  for (const std::string& name : valid) {
    // A place written without its submodel is the nearest there is.
    const size_t dot = name.rfind('.');
    const size_t distance = dot != std::string::npos && name.compare(dot + 1, std::string::npos, wrong) == 0
                                ? 0
                                : EditDistance(wrong, name);
    if (distance < best) {
      best = distance;
      nearest = name;
    }
  }
  std::string out = nearest.empty() ? "" : "did you mean '" + nearest + "'? ";
  out += "(" + kind + ": ";
  for (size_t i = 0; i < valid.size(); ++i) out += (i ? ", " : "") + valid[i];
  return out + ")";
}

}  // namespace sanc

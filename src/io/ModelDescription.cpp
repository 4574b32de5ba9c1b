// The JSON text of a simulator's description of itself, written by hand:
// the simulator depends on the standard library only.
#include "io/ModelDescription.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace description {

namespace {

// std::to_chars without a precision gives the shortest text that reads
// back to the same value of the argument's type.
template <class Real> std::string Shortest(Real value) {
  if (!std::isfinite(value)) return "null";
  char digits[64];
  const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, result.ptr);
}

std::string Number(const Value& value) {
  switch (value.kind) {
    case Value::Kind::Integer: return std::to_string(value.integer);
    case Value::Kind::Float: return Shortest(static_cast<float>(value.real));
    case Value::Kind::Double: return Shortest(value.real);
  }
  return "null";
}

std::string Key(const char* key) { return JsonString(key) + ": "; }

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string ToJson(const Description& d) {
  std::string out = "{" + Key(kFormat) + std::to_string(kFormatVersion) + ",\n";
  out += " " + Key(kModel) + JsonString(d.model) + ",\n";
  out += " " + Key(kIdentity) + JsonString(d.identity) + ",\n";
  out += " " + Key(kStudy) + JsonString(d.study) + ",\n";
  out += " " + Key(kGlobals) + "[";
  for (size_t i = 0; i < d.globals.size(); ++i) {
    const Global& g = d.globals[i];
    out += (i ? ",\n   {" : "{") + Key(kName) + JsonString(g.name) + ", " + Key(kType) + JsonString(g.type) + "}";
  }
  out += "],\n " + Key(kExperiments) + "[";
  for (size_t i = 0; i < d.experiments.size(); ++i) {
    const Experiment& e = d.experiments[i];
    out += (i ? ",\n   {" : "{") + Key(kName) + JsonString(e.name) + ", " + Key(kValues) + "[";
    for (size_t v = 0; v < e.values.size(); ++v) out += (v ? ", " : "") + Number(e.values[v]);
    out += "]}";
  }
  out += "],\n " + Key(kVariables) + "[";
  for (size_t i = 0; i < d.variables.size(); ++i) {
    const Variable& v = d.variables[i];
    out += (i ? ",\n   {" : "{") + Key(kName) + JsonString(v.name) + ", " + Key(kTime) + Shortest(v.time) + "}";
  }
  return out + "]}\n";
}

bool WriteDescriptionFile(const std::string& path, const Description& description, std::string& error) {
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  const std::string text = ToJson(description);
  {
    std::ofstream out(temporary, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
      error = std::strerror(errno);
      return false;
    }
    out << text;
    out.close();
    if (!out) {
      error = "writing failed";
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace description

// The description a simulator gives of itself (option -D): one JSON object
// naming the model it simulates and the file it was compiled from, its
// study's global variables and experiments, and the reward model's
// variables. The simulation manager learns a model from it, so the key
// names and the format number are kept here, once, for both sides; this
// header needs the standard library only.
//
//   {"format": 1,
//    "model": "basic_model",
//    "identity": "basic_model-<16 hex digits of the model file's hash>",
//    "study": "basic_model_study",
//    "globals": [{"name": "flash_size", "type": "float"}, ...],
//    "experiments": [{"name": "Experiment 1", "values": [64, ...]}, ...],
//    "variables": [{"name": "reliability", "time": 30}, ...]}
//
// An experiment's values are parallel to the globals. Integers are written
// as integers; a float or double as the shortest text that reads back to
// the same value of its type; a value that is not finite as null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace description {

inline constexpr int kFormatVersion = 1;

inline constexpr const char* kFormat = "format";
inline constexpr const char* kModel = "model";
inline constexpr const char* kIdentity = "identity";
inline constexpr const char* kStudy = "study";
inline constexpr const char* kGlobals = "globals";
inline constexpr const char* kExperiments = "experiments";
inline constexpr const char* kVariables = "variables";
inline constexpr const char* kName = "name";
inline constexpr const char* kType = "type";
inline constexpr const char* kValues = "values";
inline constexpr const char* kTime = "time";

// True when `identity` is "<name>-<16 lowercase hex digits>" (the model's
// name and the hash of its model file), the name a letter or '_' followed
// by letters, digits and '_': a form safe in a file name and read back
// from one, since the name holds no '-'.
constexpr bool IsModelIdentity(std::string_view identity) {
  const size_t dash = identity.find('-');
  if (dash == std::string_view::npos || dash == 0 || identity.size() != dash + 17) return false;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!letter(identity[0])) return false;
  for (size_t i = 1; i < dash; ++i)
    if (!letter(identity[i]) && !digit(identity[i])) return false;
  for (size_t i = dash + 1; i < identity.size(); ++i)
    if (!digit(identity[i]) && (identity[i] < 'a' || identity[i] > 'f')) return false;
  return true;
}

// One value of a global variable, as its type holds it.
struct Value {
  enum class Kind { Integer, Float, Double };
  Kind kind = Kind::Integer;
  int64_t integer = 0;  // Integer
  double real = 0.0;    // Float (a float's value, exactly) or Double

  static Value OfInteger(int64_t v) { return {Kind::Integer, v, 0.0}; }
  static Value OfFloat(float v) { return {Kind::Float, 0, v}; }
  static Value OfDouble(double v) { return {Kind::Double, 0, v}; }
};

struct Global {
  std::string name;
  std::string type;  // as the study names it: "float", "int", ...
};

struct Experiment {
  std::string name;
  std::vector<Value> values;  // one per global, in the globals' order
};

struct Variable {
  std::string name;
  double time = 0.0;  // the variable's start time
};

struct Description {
  std::string model;
  std::string identity;
  std::string study;
  std::vector<Global> globals;
  std::vector<Experiment> experiments;
  std::vector<Variable> variables;
};

// The description as JSON text, ending with a newline.
std::string ToJson(const Description& description);

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

// Writes the description to `path` through a temporary file beside it,
// renamed over `path` once complete, so that no reader sees half of it.
// False, with the reason in `error`, when it cannot be written (nothing is
// left behind then).
bool WriteDescriptionFile(const std::string& path, const Description& description, std::string& error);

}  // namespace description

// The simulator's description of itself (-D FILE), which the manager reads
// to learn the model it runs: a JSON object
//   {"format": 1, "model": NAME, "identity": NAME-HASH, "study": NAME,
//    "globals": [{"name": …, "type": …}, …],
//    "experiments": [{"name": …, "values": [one per global]}, …],
//    "variables": [{"name": …, "time": …}, …]}
// The key names are the one statement of the layout both sides use.
#pragma once

#include <cstddef>
#include <string_view>

namespace description {

constexpr int kFormatVersion = 1;
constexpr const char* kFormat = "format";
constexpr const char* kModel = "model";
constexpr const char* kIdentity = "identity";
constexpr const char* kStudy = "study";
constexpr const char* kGlobals = "globals";
constexpr const char* kExperiments = "experiments";
constexpr const char* kVariables = "variables";
constexpr const char* kName = "name";
constexpr const char* kType = "type";
constexpr const char* kValues = "values";
constexpr const char* kTime = "time";

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

}  // namespace description

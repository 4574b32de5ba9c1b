// A mistake in a model file, reported as
//   FILE:LINE:COL: what is wrong
//     the line as written
//     ^ under the column
// Thrown by the reader and the checks; the compiler prints it and exits 1.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "model/Model.h"

namespace sanc {

class ModelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The message for `what` at `where` of the model's file, with the line and
// a caret (only the first line when `where` has no column).
[[noreturn]] void Fail(const Model& model, Where where, const std::string& what);

// "did you mean 'x'? " for the nearest of `valid` (when one is near), then
// "(KIND: a, b, c)", or "(no KIND)" when there are none.
std::string Candidates(const std::string& wrong, const std::vector<std::string>& valid, const std::string& kind);

}  // namespace sanc

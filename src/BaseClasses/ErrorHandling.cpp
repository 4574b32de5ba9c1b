#include "BaseClasses/ErrorHandling.h"

#include <cstdlib>
#include <iostream>

namespace {

// Callers pass names; a missing one must not take the report down with it.
const char* textOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

void MemoryAllocationError() {
  std::cerr << "Insufficient Memory to allocate dynamic data structures from heap memory" << std::endl;
  std::cerr << "Exiting program..." << std::endl;
  std::exit(1);
}

void MemoryError() { std::cerr << "Memory Error" << std::endl; }

void ErrorEmptyParameter(const char* where) {
  std::cerr << textOrEmpty(where) << ": Parameter was an empty reference" << std::endl;
}

void SyncError::WrongDistributionType() {
  std::cerr << "You can only synchronize actions from one type,"
            << "either exponential or instantenous" << std::endl;
}

void SyncError::NoAction() { std::cerr << " no Action found in model" << std::endl; }

void InconsistantState() {
  std::cerr << "This program has entered into an inconsistant state. Please report this bug." << std::endl;
}

void UserError() { std::cerr << "A user error has been detected" << std::endl; }

void ArrayTypeMismatchError(const char* first, const char* second) {
  std::cerr << "Array types for equivalence sharing do not match for state variables: " << std::endl;
  std::cerr << "  " << textOrEmpty(first) << std::endl;
  std::cerr << "  " << textOrEmpty(second) << std::endl;
}

void StructTypeMismatchError(const char* first, const char* second) {
  std::cerr << "Struct types for equivalence sharing do not match for state variables: " << std::endl;
  std::cerr << "  " << textOrEmpty(first) << std::endl;
  std::cerr << "  " << textOrEmpty(second) << std::endl;
}

void InvalidArrayType() { std::cerr << "ArrayType is not valid" << std::endl; }

void InvalidStructType() {
  std::cerr << "ArrayType is invalid for struct element" << std::endl;
  std::cerr << "preparing to segfault" << std::endl;
  std::abort();
}

void InvalidUnorderedType() { std::cerr << "ArrayType is invalid for unordered element" << std::endl; }

void ArrayOutOfBoundsError(const char* where) {
  std::cerr << "Array out of bounds error at " << textOrEmpty(where) << std::endl;
}

void FatalAssertion(const char* expression, const char* source) {
  std::cerr << "Assertion failed: " << textOrEmpty(expression) << ", file " << textOrEmpty(source) << std::endl;
  std::abort();
}

// Fixed-text error reports of the model framework, and the fatal assertion
// used for broken internal invariants. Reports go to the standard error
// stream; only the out-of-memory report, InvalidStructType and a failed
// assertion end the program, every other report returns to its caller.
#pragma once

// Out of memory: two lines, then the process exits with status 1.
[[noreturn]] void MemoryAllocationError();
void MemoryError();
void ErrorEmptyParameter(const char* where);

// Reports about synchronised actions; a class used as a namespace.
class SyncError {
 public:
  static void WrongDistributionType();
  static void NoAction();
};

void InconsistantState();
void UserError();
void ArrayTypeMismatchError(const char* first, const char* second);
void StructTypeMismatchError(const char* first, const char* second);
void InvalidArrayType();
// Prints its two lines and aborts: a struct element of an invalid kind
// leaves no sound way to go on.
[[noreturn]] void InvalidStructType();
void InvalidUnorderedType();
void ArrayOutOfBoundsError(const char* where);

// Prints "Assertion failed: <expression>, file <source>" on the standard
// error stream and aborts.
[[noreturn]] void FatalAssertion(const char* expression, const char* source);

// Fatal check of an internal invariant; active in every build type, because
// going on past a broken invariant would corrupt the model.
#define SAN_ASSERT(cond, expression, source) \
  ((cond) ? static_cast<void>(0) : FatalAssertion((expression), (source)))

// The grammar of the global-variable override string (option -O), written
// once for the simulator and for the simulation manager: the split into
// type:name:value fields, the type letter of each variable type, and the
// conversion of a value text by its letter. The manager reads a value with
// these very functions, so the value it shows is the value the simulator
// runs. Standard library only: the manager links this unit without the
// engine. Every conversion is the scanf conversion the simulator has always
// used, so a float is rounded once, from the text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace override_text {

// A value read from an override text, in the field of the type its letter
// names.
struct Value {
  bool b = false;
  char c = 0;
  double d = 0.0;
  float f = 0.0f;
  int i = 0;
  long l = 0;
  short s = 0;
};

// Splits at ':' and drops the empty fields between consecutive colons.
std::vector<std::string> SplitFields(const char* text);

// True for the letters b c d f i l s.
bool IsKnownLetter(char letter);

// The letter whose values have the variable type named `type` ("float" is
// 'f'), or 0 for a type no letter reads.
char LetterOfType(const std::string& type);

// Reads `text` as `letter` says; false for an unknown letter or a text that
// does not begin with a value (nothing is then known about it). `consumed`,
// when given, receives the number of characters the conversion took.
bool Read(char letter, const char* text, Value& v, size_t* consumed = nullptr);

// Address of the field that holds the value read with `letter`.
void* AddressOf(char letter, Value& v);

// The value read with `letter`, as a double (exact for every type but long).
double AsDouble(char letter, const Value& v);

// Stores `x` as a value of the type `target` names: integers saturate, a
// float beyond the float range becomes an infinity.
void ConvertTo(char target, double x, Value& out);

}  // namespace override_text

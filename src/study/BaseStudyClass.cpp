#include "study/BaseStudyClass.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>

namespace {

// A value read from an override text in the type its letter names.
struct OverrideValue {
  bool b = false;
  char c = 0;
  double d = 0.0;
  float f = 0.0f;
  int i = 0;
  long l = 0;
  short s = 0;
};

// Reads `text` as the type letter says; false for an unknown letter or an
// unreadable text (nothing is then known about the value).
bool ReadOverrideValue(char letter, const char* text, OverrideValue& v) {
  switch (letter) {
    case 'b': {
      short raw = 0;
      if (std::sscanf(text, "%hi", &raw) != 1) return false;
      v.b = raw != 0;
      return true;
    }
    case 'c': return std::sscanf(text, "%c", &v.c) == 1;
    case 'd': return std::sscanf(text, "%lf", &v.d) == 1;
    case 'f': return std::sscanf(text, "%f", &v.f) == 1;
    case 'i': return std::sscanf(text, "%i", &v.i) == 1;
    case 'l': return std::sscanf(text, "%li", &v.l) == 1;
    case 's': return std::sscanf(text, "%hi", &v.s) == 1;
    default: return false;
  }
}

bool IsKnownLetter(char letter) { return letter != '\0' && std::strchr("bcdfils", letter) != nullptr; }

// Address of the field that holds the value read with `letter`.
void* ValueOf(char letter, OverrideValue& v) {
  switch (letter) {
    case 'b': return &v.b;
    case 'c': return &v.c;
    case 'd': return &v.d;
    case 'f': return &v.f;
    case 'i': return &v.i;
    case 'l': return &v.l;
    default: return &v.s;
  }
}

double AsDouble(char letter, const OverrideValue& v) {
  switch (letter) {
    case 'b': return v.b ? 1.0 : 0.0;
    case 'c': return static_cast<double>(v.c);
    case 'd': return v.d;
    case 'f': return static_cast<double>(v.f);
    case 'i': return static_cast<double>(v.i);
    case 'l': return static_cast<double>(v.l);
    default: return static_cast<double>(v.s);
  }
}

// The type letter whose values have the variable type named `type`, or 0.
char LetterOfType(const std::string& type) {
  if (type == "bool") return 'b';
  if (type == "char") return 'c';
  if (type == "double") return 'd';
  if (type == "float") return 'f';
  if (type == "int") return 'i';
  if (type == "long") return 'l';
  if (type == "short") return 's';
  return 0;
}

// Integral conversion that saturates instead of overflowing.
template <class T>
T SaturateTo(double x) {
  if (std::isnan(x)) return 0;
  if (x <= static_cast<double>(std::numeric_limits<T>::lowest())) return std::numeric_limits<T>::lowest();
  if (x >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(x);
}

float NarrowToFloat(double x) {
  if (x > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  if (x < std::numeric_limits<float>::lowest()) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(x);
}

// Stores `x` into `out` as a value of the type `target` names.
void ConvertTo(char target, double x, OverrideValue& out) {
  switch (target) {
    case 'b': out.b = x != 0.0; break;
    case 'c': out.c = SaturateTo<char>(x); break;
    case 'd': out.d = x; break;
    case 'f': out.f = NarrowToFloat(x); break;
    case 'i': out.i = SaturateTo<int>(x); break;
    case 'l': out.l = SaturateTo<long>(x); break;
    default: out.s = SaturateTo<short>(x); break;
  }
}

// Splits at ':' and drops the empty fields between consecutive colons.
std::vector<std::string> SplitOverrideFields(const char* text) {
  std::vector<std::string> fields;
  std::string current;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == ':') {
      if (!current.empty()) fields.push_back(current);
      current.clear();
    } else {
      current.push_back(*p);
    }
  }
  if (!current.empty()) fields.push_back(current);
  return fields;
}

}  // namespace

PVModel* BaseStudyClass::GetPVModel(bool) { return ThePVModel; }

void BaseStudyClass::SetGVs(int) { std::cout << "basestudyclass::SetGVs" << std::endl; }

void BaseStudyClass::PrintGlobalValues(int) {}

void* BaseStudyClass::GetGVValue(char*) { return nullptr; }

void BaseStudyClass::OverrideGVValue(char*, void*) {}

const char* BaseStudyClass::GetGVName(int i) const {
  if (i < 0 || i >= NumGVs || i >= static_cast<int>(GVNames.size())) return nullptr;
  return GVNames[i].c_str();
}

const char* BaseStudyClass::GetGVType(int i) const {
  if (i < 0 || i >= NumGVs || i >= static_cast<int>(GVTypes.size())) return nullptr;
  return GVTypes[i].c_str();
}

const char* BaseStudyClass::GetExpName(int i) {
  static char buffer[32];
  std::snprintf(buffer, sizeof buffer, "Experiment %d", i + 1);
  return buffer;
}

int BaseStudyClass::FindGV(const char* name) const {
  for (int i = 0; i < NumGVs && i < static_cast<int>(GVNames.size()); ++i) {
    if (GVNames[i] == name) return i;
  }
  return -1;
}

void BaseStudyClass::overrideGVs(char* overrides) {
  if (overrides == nullptr) return;
  const std::vector<std::string> fields = SplitOverrideFields(overrides);
  for (size_t next = 0; next < fields.size(); next += 3) {
    const char letter = fields[next][0];
    if (next + 2 >= fields.size()) {
      std::cout << "Not enough double override tokens" << std::flush;
      return;
    }
    if (!IsKnownLetter(letter)) {
      std::cout << "Type " << letter << " not recognized" << std::endl;
      continue;
    }
    OverrideOne(letter, fields[next + 1], fields[next + 2]);
  }
}

// The value is read by its letter and then converted to the variable's own
// type, so that a letter that does not match the declared type still stores
// the number the user wrote rather than the bytes of another type.
void BaseStudyClass::OverrideOne(char letter, const std::string& name, const std::string& text) {
  OverrideValue read;
  if (!ReadOverrideValue(letter, text.c_str(), read)) {
    std::cerr << "!! Override value " << text << " for global variable " << name
              << " cannot be read with type " << letter << std::endl;
    return;
  }
  std::vector<char> nameCopy(name.begin(), name.end());
  nameCopy.push_back('\0');
  const int index = FindGV(name.c_str());
  if (index < 0) {
    // The study reports the unknown name itself and changes nothing.
    OverrideGVValue(nameCopy.data(), ValueOf(letter, read));
    return;
  }
  const char target = LetterOfType(GVTypes[index]);
  if (target == 0) {
    std::cerr << "!! Global variable " << name << " has type " << GVTypes[index]
              << ", which an override cannot set" << std::endl;
    return;
  }
  if (target == letter) {
    OverrideGVValue(nameCopy.data(), ValueOf(letter, read));
    return;
  }
  OverrideValue converted;
  ConvertTo(target, AsDouble(letter, read), converted);
  OverrideGVValue(nameCopy.data(), ValueOf(target, converted));
}

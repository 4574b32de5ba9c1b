#include "study/OverrideText.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace override_text {

namespace {

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

// One scanf conversion followed by %n, which counts the characters taken.
template <class T>
bool Scan(const char* text, const char* format, T* into, size_t* consumed) {
  int taken = 0;
  if (std::sscanf(text, format, into, &taken) != 1) return false;
  if (consumed != nullptr) *consumed = static_cast<size_t>(taken);
  return true;
}

}  // namespace

std::vector<std::string> SplitFields(const char* text) {
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

bool IsKnownLetter(char letter) { return letter != '\0' && std::strchr("bcdfils", letter) != nullptr; }

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

bool Read(char letter, const char* text, Value& v, size_t* consumed) {
  switch (letter) {
    case 'b': {
      short raw = 0;
      if (!Scan(text, "%hi%n", &raw, consumed)) return false;
      v.b = raw != 0;
      return true;
    }
    case 'c': return Scan(text, "%c%n", &v.c, consumed);
    case 'd': return Scan(text, "%lf%n", &v.d, consumed);
    case 'f': return Scan(text, "%f%n", &v.f, consumed);
    case 'i': return Scan(text, "%i%n", &v.i, consumed);
    case 'l': return Scan(text, "%li%n", &v.l, consumed);
    case 's': return Scan(text, "%hi%n", &v.s, consumed);
    default: return false;
  }
}

void* AddressOf(char letter, Value& v) {
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

double AsDouble(char letter, const Value& v) {
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

void ConvertTo(char target, double x, Value& out) {
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

}  // namespace override_text

#include "study/BaseStudyClass.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <iostream>

#include "study/OverrideText.h"

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

double BaseStudyClass::GetGVNumber(int i) {
  const char* name = GetGVName(i);
  if (name == nullptr) return std::nan("");
  std::string buffer = name;  // the accessor takes a modifiable name
  const void* p = GetGVValue(buffer.data());
  if (p == nullptr) return std::nan("");
  const std::string type = GetGVType(i);
  if (type == "double") return *static_cast<const double*>(p);
  if (type == "int") return *static_cast<const int*>(p);
  if (type == "short") return *static_cast<const short*>(p);
  if (type == "long") return static_cast<double>(*static_cast<const long*>(p));
  if (type == "char") return *static_cast<const char*>(p);
  if (type == "bool") return *static_cast<const bool*>(p) ? 1.0 : 0.0;
  return *static_cast<const float*>(p);
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
  const std::vector<std::string> fields = override_text::SplitFields(overrides);
  for (size_t next = 0; next < fields.size(); next += 3) {
    const char letter = fields[next][0];
    if (next + 2 >= fields.size()) {
      std::cout << "Not enough double override tokens" << std::flush;
      return;
    }
    if (!override_text::IsKnownLetter(letter)) {
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
  override_text::Value read;
  if (!override_text::Read(letter, text.c_str(), read)) {
    std::cerr << "!! Override value " << text << " for global variable " << name
              << " cannot be read with type " << letter << std::endl;
    return;
  }
  std::vector<char> nameCopy(name.begin(), name.end());
  nameCopy.push_back('\0');
  const int index = FindGV(name.c_str());
  if (index < 0) {
    // The study reports the unknown name itself and changes nothing.
    OverrideGVValue(nameCopy.data(), override_text::AddressOf(letter, read));
    return;
  }
  const char target = override_text::LetterOfType(GVTypes[index]);
  if (target == 0) {
    std::cerr << "!! Global variable " << name << " has type " << GVTypes[index]
              << ", which an override cannot set" << std::endl;
    return;
  }
  if (target == letter) {
    OverrideGVValue(nameCopy.data(), override_text::AddressOf(letter, read));
    return;
  }
  override_text::Value converted;
  override_text::ConvertTo(target, override_text::AsDouble(letter, read), converted);
  OverrideGVValue(nameCopy.data(), override_text::AddressOf(target, converted));
}

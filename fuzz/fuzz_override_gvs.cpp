// Fuzz target: the study's override string (type:name:value triples) on
// arbitrary text. The input, cut at its first NUL byte, is given as the
// NUL-terminated string the command line would carry.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "model/GlobalVariables.h"
#include "study/BaseStudyClass.h"

namespace {

struct GlobalSlot {
  const char* name;
  float* value;
};

const GlobalSlot kGlobals[] = {{"flash_size", &flash_size},
                               {"power_cycle_rate", &power_cycle_rate},
                               {"ram_size", &ram_size},
                               {"random_failure_rate", &random_failure_rate}};

BaseStudyClass* study = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::SilenceConsole();
  study = GenerateStudy();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data),
                         strnlen(reinterpret_cast<const char*>(data), size));
  std::vector<char> overrides(text.begin(), text.end());
  overrides.push_back('\0');

  study->SetGVs(0);
  float before[4];
  for (int i = 0; i < 4; ++i) before[i] = *kGlobals[i].value;

  study->overrideGVs(overrides.data());

  // The simulator keeps and prints its override string afterwards: the
  // study must work on its own copy.
  FUZZ_CHECK(std::memcmp(overrides.data(), text.c_str(), text.size() + 1) == 0,
             "the override string is left unchanged");
  // A variable can only change when the text names it (bit-wise, so that a
  // NaN written on purpose compares as unchanged only if it is unchanged).
  for (int i = 0; i < 4; ++i) {
    if (text.find(kGlobals[i].name) != std::string::npos) continue;
    FUZZ_CHECK(std::memcmp(&before[i], kGlobals[i].value, sizeof(float)) == 0,
               "only the variables the text names change");
  }
  return 0;
}

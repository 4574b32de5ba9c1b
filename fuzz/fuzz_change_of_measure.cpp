// Fuzz target: the change-of-measure reader on arbitrary text, then the
// multipliers of every target it accepted, evaluated at a few markings. A
// file is the user's own text: it may be refused, never crash the reader or
// leave it reading outside the places and variables it was given.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "simulator/ChangeOfMeasure.h"

namespace {

float ramSize = 128.0f;
float failureRate = 0.005f;
short corrupted = 0;
short* corruptedCell = &corrupted;
short working = 1;
short* workingCell = &working;

MeasureVocabulary Vocabulary() {
  MeasureVocabulary vocabulary;
  vocabulary.globals = {{"ram_size", ramSize}, {"random_failure_rate", failureRate}};
  vocabulary.places = {{"flash_corrupted", &corruptedCell},
                       {"flash_system.flash_corrupted", &corruptedCell},
                       {"ram_working", &workingCell}};
  vocabulary.rateTargets = {{"bit_errorGroup", 0}, {"bit_error", 0}, {"sefi", 1}};
  vocabulary.caseTargets = {{"bit_error_case1", 0}, {"bit_error_case2", 1}};
  vocabulary.otherActions = {{"watchdog_reboot", "a deterministic activity"}};
  return vocabulary;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::SilenceConsole();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  static const MeasureVocabulary vocabulary = Vocabulary();
  try {
    ChangeOfMeasure measure("fuzz.cm", text, vocabulary);
    for (short marking : {0, 1, 2, -3}) {
      corrupted = marking;
      working = static_cast<short>(1 - marking);
      for (int target = 0; target < 2; ++target) {
        (void)measure.RateMultiplier(target);
        (void)measure.WeightMultiplier(target);
      }
    }
  } catch (const MeasureError&) {
    // A refusal with its message is the reader working.
  }
  return 0;
}

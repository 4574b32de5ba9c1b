// Fuzz target: the simulator's option parser on arbitrary argument lists.
// The input is cut into arguments at every '\n' and NUL byte (a real argv
// can hold neither inside an argument) and given to the parser after the
// program name.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "simulator/SimulatorClass.h"

namespace {

// Owns the texts of one argument list and the argv array pointing at them.
struct ArgumentList {
  std::vector<std::unique_ptr<char[]>> texts;
  std::vector<char*> argv;

  void Append(const uint8_t* bytes, size_t length) {
    auto text = std::make_unique<char[]>(length + 1);
    std::memcpy(text.get(), bytes, length);
    text[length] = '\0';
    argv.push_back(text.get());
    texts.push_back(std::move(text));
  }
  int Count() const { return static_cast<int>(argv.size()) - 1; }  // argv ends with null
};

ArgumentList SplitIntoArguments(const uint8_t* data, size_t size) {
  static const uint8_t programName[] = "basic_model_sim";
  ArgumentList list;
  list.Append(programName, sizeof programName - 1);
  size_t start = 0;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == '\n' || data[i] == '\0') {
      if (i < size || i > start) list.Append(data + start, i - start);
      start = i + 1;
    }
  }
  list.argv.push_back(nullptr);
  return list;
}

// Reads every byte of a text the simulator keeps; ASan reports it if the
// text still lives in the (already released) argument storage.
size_t TouchText(const char* text) { return text == nullptr ? 0 : std::strlen(text); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::SilenceConsole();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ArgumentList arguments = SplitIntoArguments(data, size);
  const int argc = arguments.Count();

  SimulatorClass sim(SimulatorClass::FieldsOnly{});
  const int16_t status = sim.ParseCommandLineOptions(argc, arguments.argv.data());

  FUZZ_CHECK(status == 0 || status == 1, "the parser returns 0 or 1");
  FUZZ_CHECK(argc > 1 || status == 1, "an empty command line is refused");
  // Packets are sized by the report size; an accepted command line must
  // leave one that can hold an observation.
  FUZZ_CHECK(status == 1 || sim.reportSize >= 1, "an accepted report size is at least 1");

  // The texts the simulator keeps must be its own copies: release the
  // arguments first, then read them.
  arguments = ArgumentList{};
  volatile size_t total = TouchText(sim.asciiFilename) + TouchText(sim.binFilename) +
                          TouchText(sim.traceFilename) + TouchText(sim.overrideString);
  (void)total;
  return 0;
}

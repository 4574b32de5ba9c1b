// Fuzz target: the manager's reader of simulator binary output files. The
// input is the whole file; it is served from an in-memory file so that no
// disk is touched. A file the reader accepts must be refused once it loses
// its last byte or gains one more: a cut or padded file is never taken for
// a whole one.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "simmgr/wire/BinaryFileReader.h"
#include "simmgr/wire/Wire.h"

namespace {

// Variables of this build's reward model, with room to spare.
constexpr int kMaxVariables = 8;

int memoryFile = -1;
std::string memoryFilePath;

void ServeAsFile(const uint8_t* data, size_t size) {
  FUZZ_CHECK(::ftruncate(memoryFile, 0) == 0, "the in-memory file can be emptied");
  size_t written = 0;
  while (written < size) {
    const ssize_t n = ::pwrite(memoryFile, data + written, size - written, static_cast<off_t>(written));
    FUZZ_CHECK(n > 0, "the in-memory file can be written");
    written += static_cast<size_t>(n);
  }
}

bool Read(const uint8_t* data, size_t size, BinaryFileData& out, std::string& error) {
  ServeAsFile(data, size);
  return ReadBinaryFile(memoryFilePath, kMaxVariables, out, error);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::SilenceConsole();
  memoryFile = ::memfd_create("fuzz_simmgr_binfile", 0);
  if (memoryFile < 0) {
    std::perror("fuzz_simmgr_binfile: memfd_create");
    std::abort();
  }
  memoryFilePath = "/proc/self/fd/" + std::to_string(memoryFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BinaryFileData whole;
  std::string error;
  const bool accepted = Read(data, size, whole, error);
  if (!accepted) {
    FUZZ_CHECK(!error.empty(), "a refused file comes with a reason");
    return 0;
  }
  FUZZ_CHECK(size >= wire::kBinHeaderSize, "an accepted file holds a whole header");
  int64_t observations = 0;
  for (const auto& entry : whole.observations.stats) {
    FUZZ_CHECK(entry.first >= 0 && entry.first < kMaxVariables, "only known variables are gathered");
    FUZZ_CHECK(entry.second.Count() > 0, "a gathered variable has observations");
    observations += entry.second.Count();
  }
  // Every observation occupies 8 bytes of the file, every message at
  // least 9.
  FUZZ_CHECK(static_cast<uint64_t>(observations) * 8 + static_cast<uint64_t>(whole.messages) * 9 <=
                 size - wire::kBinHeaderSize,
             "no more observations than the file has room for");
  FUZZ_CHECK(whole.observations.replications <= observations, "no more replications than observations");

  BinaryFileData cut;
  FUZZ_CHECK(!Read(data, size - 1, cut, error), "a file missing its last byte is refused");

  std::string padded(reinterpret_cast<const char*>(data), size);
  padded.push_back('\0');
  BinaryFileData longer;
  FUZZ_CHECK(!Read(reinterpret_cast<const uint8_t*>(padded.data()), padded.size(), longer, error),
             "a file with a stray trailing byte is refused");
  return 0;
}

#include "OutputFiles.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <sstream>

#include "ChildProcess.h"
#include "ManagerClient.h"
#include "io/ObservationFormat.h"

namespace {

constexpr size_t kHeaderSize = 256;
constexpr size_t kMessageHead = 9;
constexpr size_t kEntryHead = 7;
const char kBinaryMagic[] = "TARVEK_SIM_BIN_FILE,256,";
const char kAsciiFirstLine[] = "#TARVEK_SIM_ASCII_FILE,";
const char kAsciiSecondLine[] = "#FORMAT: (PV ID Number),(PV Value)";

uint16_t ReadBigEndian16(const std::string& bytes, size_t offset) {
  return static_cast<uint16_t>((static_cast<unsigned char>(bytes[offset]) << 8) |
                               static_cast<unsigned char>(bytes[offset + 1]));
}

double ReadBigEndianDouble(const std::string& bytes, size_t offset) {
  uint64_t pattern = 0;
  for (size_t i = 0; i < 8; ++i) pattern = (pattern << 8) | static_cast<unsigned char>(bytes[offset + i]);
  double value;
  static_assert(sizeof value == sizeof pattern);
  std::memcpy(&value, &pattern, sizeof value);
  return value;
}

// One data message into `log`; an error text when its inside does not add
// up to its length.
std::string DecodeOne(const std::string& message, ObservationLog& log) {
  if (message.size() < kMessageHead) return "data message shorter than 9 bytes";
  const uint16_t entries = ReadBigEndian16(message, 7);
  size_t at = kMessageHead;
  for (uint16_t e = 0; e < entries; ++e) {
    if (at + kEntryHead > message.size()) return "entry head past the message end";
    const uint16_t variable = ReadBigEndian16(message, at);
    const int kind = static_cast<unsigned char>(message[at + 2]);
    const uint32_t count = ReadBigEndian32(message, at + 3);
    at += kEntryHead;
    if (kind != 1) return "entry kind " + std::to_string(kind);
    if (count == 0) return "entry with no observation";
    if (at + 8ull * count > message.size()) return "observations past the message end";
    for (uint32_t k = 0; k < count; ++k, at += 8) log.Add(variable, ReadBigEndianDouble(message, at));
  }
  if (at != message.size()) return "message longer than its entries";
  ++log.messages;
  return "";
}

// In the file only data messages follow each other, each counting its own
// length field.
std::optional<std::string> TakeFileMessage(std::string& stream) {
  if (stream.size() < 4) return std::nullopt;
  const uint32_t length = ReadBigEndian32(stream, 0);
  if (length < kMessageHead || length > stream.size()) return std::nullopt;
  std::string message = stream.substr(0, length);
  stream.erase(0, length);
  return message;
}

}  // namespace

size_t ObservationLog::Count() const {
  size_t total = 0;
  for (const auto& row : byVariable) total += row.size();
  return total;
}

void ObservationLog::Add(size_t variable, double value) {
  if (byVariable.size() <= variable) byVariable.resize(variable + 1);
  byVariable[variable].push_back(value);
}

bool ObservationLog::Extends(const ObservationLog& earlier) const {
  for (size_t v = 0; v < earlier.byVariable.size(); ++v) {
    const auto& before = earlier.byVariable[v];
    if (before.empty()) continue;
    if (v >= byVariable.size() || byVariable[v].size() < before.size()) return false;
    for (size_t k = 0; k < before.size(); ++k)
      if (byVariable[v][k] != before[k]) return false;
  }
  return true;
}

ObservationLog DecodeDataMessages(const std::string& bytes, bool managerStream) {
  ObservationLog log;
  std::string rest = bytes;
  while (!rest.empty()) {
    const size_t offset = bytes.size() - rest.size();
    auto message = managerStream ? ManagerClient::TakeMessage(rest) : TakeFileMessage(rest);
    if (!message) {
      log.error = "truncated message at byte " + std::to_string(offset);
      return log;
    }
    if (managerStream && !ManagerClient::IsDataMessage(*message)) continue;
    const std::string problem = DecodeOne(*message, log);
    if (!problem.empty()) {
      log.error = problem + " (message at byte " + std::to_string(offset) + ")";
      return log;
    }
  }
  return log;
}

ObservationLog ReadBinaryFile(const std::filesystem::path& path) {
  const std::string bytes = ReadWholeFile(path);
  ObservationLog log;
  if (bytes.size() < kHeaderSize || bytes.compare(0, sizeof kBinaryMagic - 1, kBinaryMagic) != 0) {
    log.error = "no 256-byte header";
    return log;
  }
  log = DecodeDataMessages(bytes.substr(kHeaderSize), false);
  return log;
}

size_t AsciiLog::Count() const {
  size_t total = 0;
  for (const auto& row : byVariable) total += row.size();
  return total;
}

AsciiLog ReadAsciiFile(const std::filesystem::path& path) {
  AsciiLog log;
  const std::string text = ReadWholeFile(path);
  if (!text.empty() && text.back() != '\n') log.error = "last line not ended";
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line.rfind(kAsciiFirstLine, 0) != 0 || !std::getline(in, line) ||
      line != kAsciiSecondLine) {
    log.error = "no header lines";
    return log;
  }
  for (int number = 3; std::getline(in, line); ++number) {
    const size_t comma = line.find(',');
    if (comma == 0 || comma == std::string::npos || comma + 1 == line.size()) {
      log.error = "malformed line " + std::to_string(number) + ": " + line;
      return log;
    }
    const size_t variable = std::stoul(line.substr(0, comma));
    if (log.byVariable.size() <= variable) log.byVariable.resize(variable + 1);
    log.byVariable[variable].push_back(line.substr(comma + 1));
  }
  return log;
}

std::string CompareFiles(const ObservationLog& binary, const AsciiLog& ascii) {
  const size_t variables = std::max(binary.byVariable.size(), ascii.byVariable.size());
  for (size_t v = 0; v < variables; ++v) {
    const size_t inBinary = v < binary.byVariable.size() ? binary.byVariable[v].size() : 0;
    const size_t inAscii = v < ascii.byVariable.size() ? ascii.byVariable[v].size() : 0;
    if (inBinary != inAscii)
      return "variable " + std::to_string(v) + ": " + std::to_string(inBinary) +
             " observations in the binary file, " + std::to_string(inAscii) + " in the ASCII file";
    for (size_t k = 0; k < inBinary; ++k) {
      const std::string expected = FormatObservationValue(binary.byVariable[v][k]);
      if (expected != ascii.byVariable[v][k])
        return "variable " + std::to_string(v) + " observation " + std::to_string(k) + ": " +
               expected + " vs " + ascii.byVariable[v][k];
    }
  }
  return "";
}

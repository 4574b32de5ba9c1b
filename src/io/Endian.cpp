#include "io/Endian.h"

#include <cstring>

#include "io/ManagerWire.h"

void EndianConvertDouble(double value, char* out) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<char>(bits & 0xFFu);
    bits >>= 8;
  }
}

void OutputInt(std::vector<char>& message, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  message.push_back(static_cast<char>(bits >> 24));
  message.push_back(static_cast<char>(bits >> 16));
  message.push_back(static_cast<char>(bits >> 8));
  message.push_back(static_cast<char>(bits));
}

void OutputShort(std::vector<char>& message, uint16_t value) {
  message.push_back(static_cast<char>(value >> 8));
  message.push_back(static_cast<char>(value));
}

void OutputByte(std::vector<char>& message, uint8_t value) {
  message.push_back(static_cast<char>(value));
}

void OutputDouble(std::vector<char>& message, double value) {
  char bytes[8];
  EndianConvertDouble(value, bytes);
  message.insert(message.end(), bytes, bytes + 8);
}

void OutputCPUTime(std::vector<char>& message, int32_t clientID, int32_t experiment,
                   double seconds) {
  OutputInt(message, wire::kCpuTimeLength);
  OutputByte(message, wire::kMarkerQuit);
  OutputByte(message, static_cast<uint8_t>(clientID));
  OutputShort(message, static_cast<uint16_t>(experiment));
  OutputDouble(message, seconds);
}

void OutputManagerReply(std::vector<char>& message, uint8_t first, uint8_t second,
                        int32_t processId) {
  OutputInt(message, wire::kReplyLength);
  OutputByte(message, first);
  OutputByte(message, second);
  OutputInt(message, processId);
}

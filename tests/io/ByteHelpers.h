// Byte-level helpers for checking wire and file layouts in tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline std::vector<uint8_t> Bytes(const std::vector<char>& raw) {
  return std::vector<uint8_t>(raw.begin(), raw.end());
}

inline std::vector<uint8_t> Bytes(const std::string& raw) {
  return std::vector<uint8_t>(raw.begin(), raw.end());
}

inline uint32_t ReadBigEndian32(const std::vector<uint8_t>& bytes, size_t at) {
  return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
         (uint32_t{bytes[at + 2]} << 8) | uint32_t{bytes[at + 3]};
}

inline uint16_t ReadBigEndian16(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

inline double ReadBigEndianDouble(const std::vector<uint8_t>& bytes, size_t at) {
  uint64_t bits = 0;
  for (size_t i = 0; i < 8; ++i) bits = (bits << 8) | bytes[at + i];
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

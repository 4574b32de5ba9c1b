// Readers for what a run leaves behind (the binary file, the ASCII file, the
// byte stream a manager received), strict enough to notice a truncated,
// gapped or garbled record: each says exactly where it stopped making sense.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The observations of a run, per variable index, in the order reported.
struct ObservationLog {
  std::vector<std::vector<double>> byVariable;
  int messages = 0;  // data messages read
  std::string error;  // empty when every byte was accounted for

  bool Whole() const { return error.empty(); }
  size_t Count() const;
  void Add(size_t variable, double value);
  // True when every variable's observations in `earlier` open this log's.
  bool Extends(const ObservationLog& earlier) const;
};

// Decodes back-to-back data messages. CPU-time messages and replies are
// skipped when `managerStream` is set (they interleave only on the socket).
ObservationLog DecodeDataMessages(const std::string& bytes, bool managerStream);
// The 256-byte header, then data messages to the last byte.
ObservationLog ReadBinaryFile(const std::filesystem::path& path);
// The two header lines, then one "index,value" line per observation; the
// values are kept as the text written.
struct AsciiLog {
  std::vector<std::vector<std::string>> byVariable;
  std::string error;
  size_t Count() const;
};
AsciiLog ReadAsciiFile(const std::filesystem::path& path);
// Empty when the two files hold the same observations, else the first
// difference.
std::string CompareFiles(const ObservationLog& binary, const AsciiLog& ascii);

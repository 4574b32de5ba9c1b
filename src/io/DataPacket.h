// One report's observations: up to reportSize values per performance
// variable, with the number held per variable. The packet owns its rows;
// counts[i] never exceeds reportSize, and row i holds variable i's
// observations in the order they were made.
#pragma once

#include <cstdint>
#include <vector>

class DataPacket {
 public:
  // Rows and counts are allocated and zeroed; negative sizes count as 0.
  DataPacket(int clientID, int experiment, int numPVs, int reportSize);
  ~DataPacket() = default;
  DataPacket(const DataPacket&) = delete;
  DataPacket& operator=(const DataPacket&) = delete;

  // The data message of this packet, exactly as it goes to the manager and
  // into the binary file: length (the whole message), client id (low 8
  // bits), experiment (low 16 bits), the number of variables with
  // observations, then per such variable its index, kind 1, its count and
  // its values. All big-endian.
  std::vector<char> EncodeDataMessage() const;

  // --- Identification, stored by the simulator after construction ---
  int32_t clientID;
  int32_t experiment;
  // --- Shape, fixed at construction ---
  int32_t numPVs;      // number of rows
  int32_t reportSize;  // capacity of each row
  // --- Contents, written by the simulation loops ---
  std::vector<int32_t> counts;               // numPVs entries, 0 … reportSize
  std::vector<std::vector<double>> values;   // numPVs rows of reportSize
};

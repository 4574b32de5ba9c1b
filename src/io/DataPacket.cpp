#include "io/DataPacket.h"

#include <algorithm>

#include "BaseClasses/ErrorHandling.h"
#include "io/Endian.h"
#include "io/ManagerWire.h"

DataPacket::DataPacket(int clientID, int experiment, int numPVs, int reportSize)
    : clientID(clientID),
      experiment(experiment),
      numPVs(std::max(numPVs, 0)),
      reportSize(std::max(reportSize, 0)),
      counts(static_cast<size_t>(this->numPVs), 0),
      values(static_cast<size_t>(this->numPVs),
             std::vector<double>(static_cast<size_t>(this->reportSize), 0.0)) {}

std::vector<char> DataPacket::EncodeDataMessage() const {
  int32_t entries = 0;
  int32_t observations = 0;
  for (int32_t count : counts) {
    // A count beyond the row would make the message read past the packet.
    SAN_ASSERT(count <= reportSize, "counts[i] <= reportSize", "DataPacket.cpp");
    if (count > 0) {
      ++entries;
      observations += count;
    }
  }
  std::vector<char> message;
  const size_t size = wire::DataMessageSize(static_cast<size_t>(entries), static_cast<size_t>(observations));
  message.reserve(size);
  OutputInt(message, static_cast<int32_t>(size));
  OutputByte(message, static_cast<uint8_t>(clientID));
  OutputShort(message, static_cast<uint16_t>(experiment));
  OutputShort(message, static_cast<uint16_t>(entries));
  for (int32_t i = 0; i < numPVs; ++i) {
    const int32_t count = counts[static_cast<size_t>(i)];
    if (count <= 0) continue;
    OutputShort(message, static_cast<uint16_t>(i));
    OutputByte(message, wire::kEntryObservations);
    OutputInt(message, count);
    const std::vector<double>& row = values[static_cast<size_t>(i)];
    for (int32_t j = 0; j < count; ++j) OutputDouble(message, row[static_cast<size_t>(j)]);
  }
  return message;
}

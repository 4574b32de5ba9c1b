// Observation packets and output files: queuing filled packet pairs,
// deciding when to write them, and writing each pair to the manager's
// socket, the binary file and the ASCII file.
//
// File contract: CreateBinFile and CreateASCIIFile return null after
// printing a message naming the file when it cannot be opened or its header
// cannot be written. A later write failure prints a message naming the
// file, closes and drops that file (the field becomes null) and stops the
// run (runState 2), so output never silently disappears.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "io/DataPacket.h"
#include "io/Endian.h"
#include "io/ManagerWire.h"
#include "io/ObservationFormat.h"
#include "io/PacketQueue.h"
#include "io/TarvekSocket.h"
#include "simulator/SimulatorClass.h"

namespace {

// Reports arriving faster than this many processor seconds apart are
// batched, after the first few flushes.
constexpr double kMinSecondsPerReport = 0.2;
constexpr int kUnbatchedReports = 10;

const char* NameOrPlaceholder(const char* name) { return name ? name : "(unnamed)"; }

// Writes and flushes; false when the stream has failed.
bool WriteAndFlush(std::ofstream& file, const char* data, size_t length) {
  file.write(data, static_cast<std::streamsize>(length));
  file.flush();
  return !file.fail();
}

// Reports a failed write, drops the file and stops the run. The file is cut
// back to `wholeSize`, the end of its last whole record, so a partly
// written record never looks like data.
void AbandonFile(SimulatorClass& sim, std::ofstream*& file, const char* kind, const char* name,
                 std::streamoff wholeSize) {
  std::cerr << "ERROR: Unable to write " << kind << " output file '" << NameOrPlaceholder(name)
            << "'" << std::endl;
  delete file;
  file = nullptr;
  if (name != nullptr && wholeSize >= 0) {
    std::error_code ignored;
    std::filesystem::resize_file(name, static_cast<std::uintmax_t>(wholeSize), ignored);
  }
  sim.runState = 2;
}

// Sends a whole message; a failed send stops the run. The manager's
// connection is dropped then: it is closed or no longer read, and every
// further send could only fail or wait out the send timeout again.
void SendMessage(SimulatorClass& sim, const std::vector<char>& message) {
  if (sim.simMgrSocket->SendAll(message.data(), static_cast<int>(message.size())) < 1) {
    std::cout << "Unable to send to the simulation manager... Exiting." << std::endl;
    delete sim.simMgrSocket;
    sim.simMgrSocket = nullptr;
    sim.runState = 2;
  }
}

void WriteASCIILines(std::ofstream& file, const DataPacket& packet, bool exact) {
  for (int32_t i = 0; i < packet.numPVs; ++i) {
    const int32_t count = std::min(packet.counts[static_cast<size_t>(i)], packet.reportSize);
    const std::vector<double>& row = packet.values[static_cast<size_t>(i)];
    for (int32_t j = 0; j < count; ++j)
      file << i << ','
           << (exact ? FormatExactObservationValue(row[static_cast<size_t>(j)])
                     : FormatObservationValue(row[static_cast<size_t>(j)]))
           << '\n';
  }
  file.flush();
}

// Gives a written packet back for reuse; a packet that finds no room is
// released rather than lost.
void Recycle(PacketQueue& freeQueue, DataPacket* packet) {
  if (packet != nullptr && !freeQueue.Push(packet)) delete packet;
}

}  // namespace

DataPacket* SimulatorClass::CreateDataPacket(int count) {
  auto* packet = new DataPacket(-1, -1, count, reportSize);
  packet->clientID = clientID;
  packet->experiment = experiment;
  return packet;
}

int SimulatorClass::CheckReportSize(double elapsedSeconds) {
  const int32_t reportsOnEntry = reportCounter;
  if (simMgrSocket != nullptr) ListenToSimMgr(simMgrSocket);

  for (DataPacket* packet : {valuePacket, squaredPacket}) {
    if (packet == nullptr) continue;
    // The flush rule keeps the full queue from overflowing; should it ever
    // be full, it is written out first so no observation is dropped.
    if (!fullQueue->Push(packet)) {
      OutputThreadFunc();
      fullQueue->Push(packet);
    }
  }
  valuePacket = freeQueue->Pop();
  if (valuePacket == nullptr) valuePacket = CreateDataPacket(numPVs);
  squaredPacket = freeQueue->Pop();
  if (squaredPacket == nullptr) squaredPacket = CreateDataPacket(numPVs);

  // Batch only while the run goes on: once it has finished or been stopped
  // no later report will come to carry the held-back pairs.
  if (reportsOnEntry > kUnbatchedReports &&
      elapsedSeconds / reportsOnEntry < kMinSecondsPerReport && fullQueue->Count() < queueCapacity &&
      runState == 0)
    return 0;

  ++reportCounter;
  OutputThreadFunc();
  return 1;
}

void SimulatorClass::OutputThreadFunc() {
  while (DataPacket* values = fullQueue->Pop()) {
    DataPacket* squares = fullQueue->Pop();
    if (simMgrSocket != nullptr) {
      std::vector<char> message;
      OutputCPUTime(message, clientID, experiment, cpuTime);
      SendMessage(*this, message);
    }
    if (simMgrSocket != nullptr || binFile != nullptr) {
      const std::vector<char> message = values->EncodeDataMessage();
      if (simMgrSocket != nullptr) SendMessage(*this, message);
      // The file gets the whole message even when the send failed, so it
      // stays readable message by message.
      if (binFile != nullptr) {
        const std::streamoff wholeSize = binFile->tellp();
        if (!WriteAndFlush(*binFile, message.data(), message.size()))
          AbandonFile(*this, binFile, "binary", binFilename, wholeSize);
      }
    }
    if (asciiFile != nullptr) {
      const std::streamoff wholeSize = asciiFile->tellp();
      WriteASCIILines(*asciiFile, *values, biasedRun != nullptr);
      if (asciiFile->fail()) AbandonFile(*this, asciiFile, "ASCII", asciiFilename, wholeSize);
    }
    Recycle(*freeQueue, values);
    Recycle(*freeQueue, squares);
  }
  if (runState == 1 && fullQueue->Count() == 0) runState = 2;
}

int SimulatorClass::Output(TarvekSocket* socket, std::ostream* file, double* values, int count) {
  if (count < 0) count = 0;
  std::vector<char> bytes;
  bytes.reserve(static_cast<size_t>(count) * 8);
  for (int i = 0; i < count; ++i) OutputDouble(bytes, values[i]);
  int result = count * 8;
  if (socket != nullptr && socket->SendAll(bytes.data(), static_cast<int>(bytes.size())) < 0 &&
      count > 0) {
    runState = 2;
    result = -1;
  }
  // Written even after a failed send: a file copy with a gap could not be
  // read back.
  if (file != nullptr) {
    file->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file->flush();
  }
  return result;
}

std::ofstream* SimulatorClass::CreateBinFile(const char* name) {
  if (name == nullptr || name[0] == '\0') {
    std::cerr << "ERROR: No binary output file name given" << std::endl;
    return nullptr;
  }
  auto* file = new std::ofstream(name, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!file->is_open()) {
    std::cerr << "ERROR: Unable to open binary output file '" << name << "'" << std::endl;
    delete file;
    return nullptr;
  }
  char header[wire::kBinHeaderSize] = {};
  const std::string text = wire::BinHeaderText(experiment);
  std::memcpy(header, text.data(), std::min(text.size(), sizeof header - 1));
  if (!WriteAndFlush(*file, header, sizeof header)) {
    std::cerr << "ERROR: Unable to write binary output file '" << name << "'" << std::endl;
    delete file;
    return nullptr;
  }
  return file;
}

std::ofstream* SimulatorClass::CreateASCIIFile(const char* name) {
  if (name == nullptr || name[0] == '\0') {
    std::cerr << "ERROR: No ASCII output file name given" << std::endl;
    return nullptr;
  }
  auto* file = new std::ofstream(name, std::ios::out | std::ios::trunc);
  if (!file->is_open()) {
    std::cerr << "ERROR: Unable to open ASCII output file '" << name << "'" << std::endl;
    delete file;
    return nullptr;
  }
  char firstLine[160];
  std::snprintf(firstLine, sizeof firstLine,
                "#TARVEK_SIM_ASCII_FILE,TARVEK_VER=%s,FILE_VER=%d,EXPERIMENTS=%d\n",
                wire::kFormatVersion, wire::kFileVersion, experiment);
  *file << firstLine << "#FORMAT: (PV ID Number),(PV Value)\n";
  file->flush();
  if (file->fail()) {
    std::cerr << "ERROR: Unable to write ASCII output file '" << name << "'" << std::endl;
    delete file;
    return nullptr;
  }
  return file;
}

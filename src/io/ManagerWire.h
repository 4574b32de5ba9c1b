// The link between a simulator and the simulation manager, written once for
// both programs: the one-byte commands, the reply (and greeting) and
// CPU-time messages, the layout of a data message, and the header of the
// binary output file. All integers are big-endian and doubles IEEE binary64,
// most significant byte first. Standard library only: the manager includes
// this header without linking the engine. Stored files and running peers
// rely on every value here, so none of them may change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace wire {

// Commands, one byte from the manager.
constexpr uint8_t kCmdQuery = 1;      // reply: kMarkerReply, kCmdQuery
constexpr uint8_t kCmdQuit = 2;       // reply: kMarkerQuit, kCmdQuit; then the run stops
constexpr uint8_t kCmdHandOver = 3;   // "<file>;<count>;;" follows; reply: kMarkerReply, kCmdHandOver

// Reply: length (int32, kReplyLength, counting itself), marker byte, command
// byte, process id (int32). The greeting is the reply to a query.
constexpr uint8_t kMarkerReply = 0xFF;
constexpr uint8_t kMarkerQuit = 0xFE;
constexpr int32_t kReplyLength = 10;

// CPU-time message: length (int32, kCpuTimeLength, counting only what
// follows it), kMarkerQuit, client id (byte), experiment (uint16), seconds
// (double).
constexpr int32_t kCpuTimeLength = 12;

// Data message: length (int32, the whole message), client id (byte),
// experiment (uint16), number of entries (uint16); per entry the variable
// index (uint16), kind kEntryObservations (byte), count (int32) and that
// many doubles, in increasing variable index.
constexpr size_t kDataHeaderSize = 9;
constexpr size_t kEntryHeaderSize = 7;
constexpr uint8_t kEntryObservations = 1;
constexpr size_t kValueSize = 8;

constexpr size_t DataMessageSize(size_t entries, size_t observations) {
    return kDataHeaderSize + kEntryHeaderSize * entries + kValueSize * observations;
}

// The output files name the format version they follow.
constexpr const char* kFormatVersion = "Version 2.4";
constexpr int kFileVersion = 1;

// Binary output file: kBinHeaderSize bytes of header text, zero-padded,
// then data messages.
constexpr size_t kBinHeaderSize = 256;

// The header text up to the experiment number.
inline std::string BinHeaderPrefix() {
    char text[kBinHeaderSize];
    std::snprintf(text, sizeof text, "TARVEK_SIM_BIN_FILE,%d,TARVEK_VER=%s,FILE_VER=%d,EXPERIMENTS=",
                  static_cast<int>(kBinHeaderSize), kFormatVersion, kFileVersion);
    return text;
}

// The whole header text of a file of `experiment`, before its padding.
inline std::string BinHeaderText(int experiment) {
    return BinHeaderPrefix() + std::to_string(experiment) + ",";
}

}  // namespace wire

// The manager's side of the simulator link: the messages a simulator sends
// (replies and greeting, CPU time, observations) as structures, their
// decoder, and the binary output file's header check. The layouts and
// constants themselves are those of io/ManagerWire.h, shared with the
// simulator. Encoders serve the stand-in simulator and tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/ManagerWire.h"

namespace wire {

// Larger than any report a simulator of this build sends; a length beyond it
// means the stream is out of step.
constexpr uint32_t kMaxMessageLength = 64u << 20;

void PutU32(std::vector<uint8_t>& out, uint32_t v);
void PutU16(std::vector<uint8_t>& out, uint16_t v);
void PutDouble(std::vector<uint8_t>& out, double v);
uint32_t GetU32(const uint8_t* p);
uint16_t GetU16(const uint8_t* p);
double GetDouble(const uint8_t* p);

}  // namespace wire

// One variable's observations inside a data message.
struct ObservationBlock {
    uint16_t variable = 0;
    std::vector<double> values;
};

struct DataMessage {
    uint8_t clientId = 0;
    uint16_t experiment = 0;
    std::vector<ObservationBlock> blocks;   // increasing variable index
};

// Greeting and the replies to commands 1, 2 and 3 share one shape.
struct ReplyMessage {
    uint8_t marker = 0;
    uint8_t command = 0;
    int32_t pid = 0;
};

struct CpuTimeMessage {
    uint8_t clientId = 0;
    uint16_t experiment = 0;
    double seconds = 0.0;
};

enum class MessageKind { Reply, CpuTime, Data };

struct SimMessage {
    MessageKind kind = MessageKind::Reply;
    ReplyMessage reply;
    CpuTimeMessage cpu;
    DataMessage data;
};

std::vector<uint8_t> EncodeReply(uint8_t marker, uint8_t command, int32_t pid);
std::vector<uint8_t> EncodeCpuTime(uint8_t clientId, uint16_t experiment, double seconds);
std::vector<uint8_t> EncodeData(const DataMessage& msg);
// The 256-byte header that opens a binary output file.
std::vector<uint8_t> EncodeBinHeader(int experiment);
// Checks a binary file header; on success stores the experiment it names.
bool ParseBinHeader(const uint8_t* p, size_t n, int& experiment, std::string& error);

// Decodes a byte stream from a simulator into messages. Message kinds are
// told apart by their length field: kReplyLength, kCpuTimeLength, or the
// size of a data message with no entry or at least one value. Once
// malformed the decoder stays malformed: the stream cannot be
// resynchronised.
class MessageDecoder {
public:
    enum class Status { Message, NeedMore, Malformed };

    // dataOnly: only data messages are legal (a binary output file).
    // baseOffset: stream offset of the first byte fed (for messages naming
    // file positions after a header).
    explicit MessageDecoder(bool dataOnly = false, uint64_t baseOffset = 0)
        : dataOnly(dataOnly), consumed(baseOffset) {}

    void Feed(const uint8_t* bytes, size_t n);
    Status Next(SimMessage& out);

    const std::string& Error() const { return error; }
    // Stream offset of the first byte not yet decoded (of the bad message
    // once malformed).
    uint64_t Offset() const { return consumed; }
    size_t Pending() const { return buffer.size() - readPos; }

private:
    Status Fail(const std::string& why);
    bool DecodeData(const uint8_t* p, uint32_t length, DataMessage& out);

    bool dataOnly;
    bool malformed = false;
    std::string error;
    std::vector<uint8_t> buffer;   // bytes fed and not yet dropped
    size_t readPos = 0;            // index in buffer of the next message
    uint64_t consumed = 0;         // stream offset matching readPos
};

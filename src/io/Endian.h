// Big-endian encodings of the fields the simulator sends to the manager and
// writes to the binary file. Each Output* operation appends one field (or,
// for the CPU-time and reply messages, one whole message) to a byte buffer,
// so a message is built completely before it is sent or written.
#pragma once

#include <cstdint>
#include <vector>

// The eight bytes of value's IEEE 754 binary64 pattern, most significant
// first, written to out[0 … 7].
void EndianConvertDouble(double value, char* out);

void OutputInt(std::vector<char>& message, int32_t value);
void OutputShort(std::vector<char>& message, uint16_t value);
void OutputByte(std::vector<char>& message, uint8_t value);
void OutputDouble(std::vector<char>& message, double value);

// The 16-byte CPU-time message: length 12 (the bytes after the length),
// marker 0xFE, client id (low 8 bits), experiment (low 16 bits), seconds.
void OutputCPUTime(std::vector<char>& message, int32_t clientID, int32_t experiment,
                   double seconds);

// The 10-byte greeting and command replies: length 10, the two code bytes,
// the process id.
void OutputManagerReply(std::vector<char>& message, uint8_t first, uint8_t second,
                        int32_t processId);

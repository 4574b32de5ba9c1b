// Reads one simulator binary output file: checks its 256-byte header and
// parses every data message after it, gathering the observations per
// variable. Every data message must name the header's experiment and one
// client number. A truncated or corrupt file is refused with the byte offset of
// the first bad message.
#pragma once

#include <cstdint>
#include <string>

#include "simmgr/wire/Observations.h"

struct BinaryFileData {
    int experiment = 0;                     // from the header
    Observations observations;
    int64_t messages = 0;
    int clientId = -1;                      // of every data message; -1 without any
};

// maxVariables: variable indices at or above it are refused.
bool ReadBinaryFile(const std::string& path, int maxVariables, BinaryFileData& out, std::string& error);

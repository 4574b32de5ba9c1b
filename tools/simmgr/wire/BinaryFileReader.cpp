#include "simmgr/wire/BinaryFileReader.h"

#include <fstream>
#include <vector>

#include "simmgr/wire/Wire.h"

bool ReadBinaryFile(const std::string& path, int maxVariables, BinaryFileData& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the file";
        return false;
    }
    std::vector<uint8_t> header(wire::kBinHeaderSize);
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    const size_t got = static_cast<size_t>(in.gcount());
    std::string why;
    if (got < wire::kBinHeaderSize) {
        error = path + ": truncated at byte offset " + std::to_string(got) + " (the header is " +
                std::to_string(wire::kBinHeaderSize) + " bytes)";
        return false;
    }
    if (!ParseBinHeader(header.data(), header.size(), out.experiment, why)) {
        error = path + ": corrupt at byte offset 0: " + why;
        return false;
    }
    MessageDecoder decoder(true, wire::kBinHeaderSize);
    std::vector<uint8_t> chunk(1 << 16);
    SimMessage msg;
    for (;;) {
        in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
        const size_t n = static_cast<size_t>(in.gcount());
        if (n == 0) break;
        decoder.Feed(chunk.data(), n);
        for (;;) {
            const auto status = decoder.Next(msg);
            if (status == MessageDecoder::Status::NeedMore) break;
            if (status == MessageDecoder::Status::Malformed) {
                error = path + ": corrupt: " + decoder.Error();
                return false;
            }
            const DataMessage& d = msg.data;
            if (d.experiment != static_cast<uint16_t>(out.experiment)) {
                error = path + ": corrupt at byte offset " + std::to_string(decoder.Offset()) +
                        ": message for experiment " + std::to_string(d.experiment) + " in a file of experiment " +
                        std::to_string(out.experiment);
                return false;
            }
            if (out.clientId < 0) out.clientId = d.clientId;
            if (d.clientId != out.clientId) {
                error = path + ": corrupt at byte offset " + std::to_string(decoder.Offset()) +
                        ": message of client " + std::to_string(d.clientId) + " in a file of client " +
                        std::to_string(out.clientId);
                return false;
            }
            int unknown = 0;
            if (!out.observations.Add(d, maxVariables, unknown)) {
                error = path + ": corrupt before byte offset " + std::to_string(decoder.Offset()) +
                        ": unknown variable " + std::to_string(unknown);
                return false;
            }
            ++out.messages;
        }
    }
    if (decoder.Pending() > 0) {
        error = path + ": truncated at byte offset " + std::to_string(decoder.Offset()) + ": the last message is " +
                "cut short (" + std::to_string(decoder.Pending()) + " bytes present)";
        return false;
    }
    return true;
}

#include "simmgr/wire/Wire.h"

#include <cmath>
#include <cstring>

namespace wire {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutDouble(std::vector<uint8_t>& out, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(bits >> shift));
}

uint32_t GetU32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

double GetDouble(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | p[i];
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

}  // namespace wire

std::vector<uint8_t> EncodeReply(uint8_t marker, uint8_t command, int32_t pid) {
    std::vector<uint8_t> out;
    wire::PutU32(out, wire::kReplyLength);
    out.push_back(marker);
    out.push_back(command);
    wire::PutU32(out, static_cast<uint32_t>(pid));
    return out;
}

std::vector<uint8_t> EncodeCpuTime(uint8_t clientId, uint16_t experiment, double seconds) {
    std::vector<uint8_t> out;
    wire::PutU32(out, wire::kCpuTimeLength);
    out.push_back(wire::kMarkerQuit);
    out.push_back(clientId);
    wire::PutU16(out, experiment);
    wire::PutDouble(out, seconds);
    return out;
}

std::vector<uint8_t> EncodeData(const DataMessage& msg) {
    size_t observations = 0;
    for (const auto& b : msg.blocks) observations += b.values.size();
    const size_t total = wire::DataMessageSize(msg.blocks.size(), observations);
    std::vector<uint8_t> out;
    out.reserve(total);
    wire::PutU32(out, static_cast<uint32_t>(total));
    out.push_back(msg.clientId);
    wire::PutU16(out, msg.experiment);
    wire::PutU16(out, static_cast<uint16_t>(msg.blocks.size()));
    for (const auto& b : msg.blocks) {
        wire::PutU16(out, b.variable);
        out.push_back(wire::kEntryObservations);
        wire::PutU32(out, static_cast<uint32_t>(b.values.size()));
        for (double v : b.values) wire::PutDouble(out, v);
    }
    return out;
}

std::vector<uint8_t> EncodeBinHeader(int experiment) {
    std::vector<uint8_t> out(wire::kBinHeaderSize, 0);
    const std::string text = wire::BinHeaderText(experiment);
    std::memcpy(out.data(), text.data(), text.size());
    return out;
}

bool ParseBinHeader(const uint8_t* p, size_t n, int& experiment, std::string& error) {
    if (n < wire::kBinHeaderSize) {
        error = "header is " + std::to_string(n) + " bytes, expected " +
                std::to_string(wire::kBinHeaderSize);
        return false;
    }
    const std::string prefix = wire::BinHeaderPrefix();
    if (std::memcmp(p, prefix.data(), prefix.size()) != 0) {
        error = "not a simulator binary file (header text does not match)";
        return false;
    }
    size_t i = prefix.size();
    long value = 0;
    const size_t digitsStart = i;
    while (i < wire::kBinHeaderSize && p[i] >= '0' && p[i] <= '9' && i - digitsStart < 9) {
        value = value * 10 + (p[i] - '0');
        ++i;
    }
    if (i == digitsStart || i >= wire::kBinHeaderSize || p[i] != ',') {
        error = "header has no valid experiment number";
        return false;
    }
    for (size_t j = i + 1; j < wire::kBinHeaderSize; ++j) {
        if (p[j] != 0) {
            error = "header byte " + std::to_string(j) + " is not zero padding";
            return false;
        }
    }
    experiment = static_cast<int>(value);
    return true;
}

void MessageDecoder::Feed(const uint8_t* bytes, size_t n) {
    if (readPos > 0 && readPos * 2 >= buffer.size()) {
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(readPos));
        readPos = 0;
    }
    buffer.insert(buffer.end(), bytes, bytes + n);
}

MessageDecoder::Status MessageDecoder::Fail(const std::string& why) {
    malformed = true;
    error = "malformed message at byte offset " + std::to_string(consumed) + ": " + why;
    return Status::Malformed;
}

MessageDecoder::Status MessageDecoder::Next(SimMessage& out) {
    if (malformed) return Status::Malformed;
    if (Pending() < 4) return Status::NeedMore;
    const uint8_t* p = buffer.data() + readPos;
    const uint32_t length = wire::GetU32(p);
    size_t total;   // bytes the whole message occupies
    if (!dataOnly && length == static_cast<uint32_t>(wire::kReplyLength)) {
        total = wire::kReplyLength;
    } else if (!dataOnly && length == static_cast<uint32_t>(wire::kCpuTimeLength)) {
        total = 4 + wire::kCpuTimeLength;
    } else if (length == wire::DataMessageSize(0, 0) ||
               (length >= wire::DataMessageSize(1, 1) && length <= wire::kMaxMessageLength)) {
        total = length;
    } else {
        return Fail("impossible length field " + std::to_string(length));
    }
    if (Pending() < total) return Status::NeedMore;

    if (!dataOnly && length == static_cast<uint32_t>(wire::kReplyLength)) {
        out.kind = MessageKind::Reply;
        out.reply.marker = p[4];
        out.reply.command = p[5];
        out.reply.pid = static_cast<int32_t>(wire::GetU32(p + 6));
        const bool knownShape = (out.reply.marker == wire::kMarkerReply &&
                                 (out.reply.command == wire::kCmdQuery || out.reply.command == wire::kCmdHandOver)) ||
                                (out.reply.marker == wire::kMarkerQuit && out.reply.command == wire::kCmdQuit);
        if (!knownShape) return Fail("reply with unknown marker/command bytes");
    } else if (!dataOnly && length == static_cast<uint32_t>(wire::kCpuTimeLength)) {
        out.kind = MessageKind::CpuTime;
        if (p[4] != wire::kMarkerQuit) return Fail("CPU-time message without its 0xFE marker");
        out.cpu.clientId = p[5];
        out.cpu.experiment = wire::GetU16(p + 6);
        out.cpu.seconds = wire::GetDouble(p + 8);
        if (!std::isfinite(out.cpu.seconds) || out.cpu.seconds < 0)
            return Fail("CPU time is not a finite non-negative number");
    } else {
        out.kind = MessageKind::Data;
        if (!DecodeData(p, length, out.data)) return Status::Malformed;
    }
    readPos += total;
    consumed += total;
    return Status::Message;
}

bool MessageDecoder::DecodeData(const uint8_t* p, uint32_t length, DataMessage& out) {
    out.clientId = p[4];
    out.experiment = wire::GetU16(p + 5);
    const uint16_t entries = wire::GetU16(p + 7);
    out.blocks.clear();
    size_t pos = wire::kDataHeaderSize;
    int lastVariable = -1;
    for (uint16_t e = 0; e < entries; ++e) {
        if (pos + wire::kEntryHeaderSize > length) {
            Fail("entry " + std::to_string(e) + " runs past the message length");
            return false;
        }
        ObservationBlock block;
        block.variable = wire::GetU16(p + pos);
        const uint8_t kind = p[pos + 2];
        const uint32_t count = wire::GetU32(p + pos + 3);
        pos += wire::kEntryHeaderSize;
        if (kind != wire::kEntryObservations) {
            Fail("entry " + std::to_string(e) + " has kind " + std::to_string(kind) + ", expected 1");
            return false;
        }
        if (static_cast<int>(block.variable) <= lastVariable) {
            Fail("variable indices are not increasing");
            return false;
        }
        if (count == 0 || count > (length - pos) / wire::kValueSize) {
            Fail("entry " + std::to_string(e) + " has an impossible count " + std::to_string(count));
            return false;
        }
        lastVariable = block.variable;
        block.values.resize(count);
        for (uint32_t k = 0; k < count; ++k, pos += wire::kValueSize) {
            const double v = wire::GetDouble(p + pos);
            if (!std::isfinite(v)) {
                Fail("observation is not a finite number");
                return false;
            }
            block.values[k] = v;
        }
        out.blocks.push_back(std::move(block));
    }
    if (pos != length) {
        Fail("length field " + std::to_string(length) + " does not match its " +
             std::to_string(entries) + " entries");
        return false;
    }
    return true;
}

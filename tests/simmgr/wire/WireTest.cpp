#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "simmgr/wire/Wire.h"

namespace {

std::vector<SimMessage> DecodeAll(const std::vector<uint8_t>& bytes, MessageDecoder::Status& last,
                                  size_t chunk = SIZE_MAX) {
    MessageDecoder d;
    std::vector<SimMessage> out;
    last = MessageDecoder::Status::NeedMore;
    for (size_t pos = 0; pos < bytes.size(); pos += chunk) {
        const size_t n = std::min(chunk, bytes.size() - pos);
        d.Feed(bytes.data() + pos, n);
        SimMessage m;
        while ((last = d.Next(m)) == MessageDecoder::Status::Message) out.push_back(m);
        if (last == MessageDecoder::Status::Malformed) break;
    }
    return out;
}

DataMessage Sample() {
    DataMessage m;
    m.clientId = 7;
    m.experiment = 4;
    m.blocks.push_back({0, {1.0, 0.0, 1.0}});
    m.blocks.push_back({2, {0.25, 0.5, -3.5}});
    return m;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) { to.insert(to.end(), more.begin(), more.end()); }

}  // namespace

TEST(WireLayout, FixedMessagesHaveTheirExactBytes) {
    EXPECT_EQ(EncodeReply(0xFE, 2, 0x01020304), (std::vector<uint8_t>{0, 0, 0, 10, 0xFE, 2, 1, 2, 3, 4}));
    const auto cpu = EncodeCpuTime(3, 0x1234, 1.5);
    ASSERT_EQ(cpu.size(), 16u);   // length field says 12: it does not count itself
    EXPECT_EQ(std::vector<uint8_t>(cpu.begin(), cpu.begin() + 8), (std::vector<uint8_t>{0, 0, 0, 12, 0xFE, 3, 0x12, 0x34}));
    EXPECT_EQ(std::vector<uint8_t>(cpu.begin() + 8, cpu.end()),
              (std::vector<uint8_t>{0x3F, 0xF8, 0, 0, 0, 0, 0, 0}));   // 1.5, most significant byte first
    DataMessage empty;
    empty.clientId = 1;
    empty.experiment = 2;
    EXPECT_EQ(EncodeData(empty), (std::vector<uint8_t>{0, 0, 0, 9, 1, 0, 2, 0, 0}));
    DataMessage three;
    three.blocks.push_back({0, {1, 2, 3}});
    const auto bytes = EncodeData(three);
    EXPECT_EQ(bytes.size(), 40u);
    EXPECT_EQ(wire::GetU32(bytes.data()), 40u);
}

TEST(WireDecoder, RoundTripsAStreamFedInAnyPieces) {
    std::vector<uint8_t> stream;
    Append(stream, EncodeReply(0xFF, 1, 4242));
    Append(stream, EncodeCpuTime(7, 4, 0.125));
    Append(stream, EncodeData(Sample()));
    DataMessage none;
    none.clientId = 7;
    none.experiment = 4;
    Append(stream, EncodeData(none));
    Append(stream, EncodeReply(0xFE, 2, 4242));
    for (size_t chunk : {size_t{1}, size_t{3}, size_t{17}, SIZE_MAX}) {
        MessageDecoder::Status last;
        const auto msgs = DecodeAll(stream, last, chunk);
        ASSERT_EQ(msgs.size(), 5u) << "chunk " << chunk;
        EXPECT_EQ(last, MessageDecoder::Status::NeedMore);
        EXPECT_EQ(msgs[0].kind, MessageKind::Reply);
        EXPECT_EQ(msgs[0].reply.pid, 4242);
        EXPECT_EQ(msgs[1].kind, MessageKind::CpuTime);
        EXPECT_DOUBLE_EQ(msgs[1].cpu.seconds, 0.125);
        ASSERT_EQ(msgs[2].kind, MessageKind::Data);
        EXPECT_EQ(msgs[2].data.clientId, 7);
        EXPECT_EQ(msgs[2].data.experiment, 4);
        ASSERT_EQ(msgs[2].data.blocks.size(), 2u);
        EXPECT_EQ(msgs[2].data.blocks[1].variable, 2);
        EXPECT_EQ(msgs[2].data.blocks[1].values, (std::vector<double>{0.25, 0.5, -3.5}));
        EXPECT_TRUE(msgs[3].data.blocks.empty());
        EXPECT_EQ(msgs[4].reply.marker, 0xFE);
    }
}

TEST(WireDecoder, RefusesMalformedMessagesAndStaysRefused) {
    struct Case {
        const char* what;
        size_t offset;
        uint8_t value;
    };
    // Offsets into EncodeData(Sample()): 0-3 length, 7-8 entry count,
    // 9-10 first variable, 11 kind, 12-15 count.
    const Case cases[] = {
        {"impossible length", 3, 11},
        {"kind other than 1", 11, 2},
        {"count larger than the message", 15, 9},
        {"count of zero", 15, 0},
        {"entry count beyond the entries", 8, 3},
        {"variables out of order", 9 + 7 + 24 + 1, 0},
    };
    for (const Case& c : cases) {
        auto bytes = EncodeData(Sample());
        bytes[c.offset] = c.value;
        if (c.offset == 9 + 7 + 24 + 1) bytes[9 + 7 + 24] = 0;   // second entry names variable 0 again
        MessageDecoder d;
        d.Feed(bytes.data(), bytes.size());
        SimMessage m;
        EXPECT_EQ(d.Next(m), MessageDecoder::Status::Malformed) << c.what;
        EXPECT_NE(d.Error().find("byte offset 0"), std::string::npos) << d.Error();
        const auto more = EncodeReply(0xFF, 1, 1);
        d.Feed(more.data(), more.size());
        EXPECT_EQ(d.Next(m), MessageDecoder::Status::Malformed) << "cannot resynchronise";
    }
    // An observation that is not a number would poison the estimates.
    DataMessage nan = Sample();
    nan.blocks[0].values[1] = std::numeric_limits<double>::quiet_NaN();
    MessageDecoder::Status last;
    DecodeAll(EncodeData(nan), last);
    EXPECT_EQ(last, MessageDecoder::Status::Malformed);
    // Replies must carry a known marker and command.
    DecodeAll(EncodeReply(0xFF, 2, 1), last);
    EXPECT_EQ(last, MessageDecoder::Status::Malformed);
}

TEST(WireDecoder, BinaryFilesHoldOnlyDataMessages) {
    // In a file a 12-byte length cannot be a CPU-time message.
    MessageDecoder d(true, 256);
    const auto cpu = EncodeCpuTime(1, 1, 1.0);
    d.Feed(cpu.data(), cpu.size());
    SimMessage m;
    EXPECT_EQ(d.Next(m), MessageDecoder::Status::Malformed);
    EXPECT_NE(d.Error().find("byte offset 256"), std::string::npos);
}

TEST(BinHeader, IsExactly256BytesAndChecked) {
    const auto h = EncodeBinHeader(12);
    ASSERT_EQ(h.size(), 256u);
    const char* text = "TARVEK_SIM_BIN_FILE,256,TARVEK_VER=Version 2.4,FILE_VER=1,EXPERIMENTS=12,";
    EXPECT_EQ(std::memcmp(h.data(), text, std::strlen(text)), 0);
    EXPECT_EQ(h[std::strlen(text)], 0);
    int exp = -1;
    std::string err;
    EXPECT_TRUE(ParseBinHeader(h.data(), h.size(), exp, err)) << err;
    EXPECT_EQ(exp, 12);
    auto bad = h;
    bad[0] = 'X';
    EXPECT_FALSE(ParseBinHeader(bad.data(), bad.size(), exp, err));
    bad = h;
    bad[200] = 1;
    EXPECT_FALSE(ParseBinHeader(bad.data(), bad.size(), exp, err));
    EXPECT_NE(err.find("200"), std::string::npos);
    EXPECT_FALSE(ParseBinHeader(h.data(), 100, exp, err));
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ByteHelpers.h"
#include "io/DataPacket.h"
#include "io/Endian.h"

namespace {

using testing::ElementsAre;

TEST(EndianTest, FieldsGoOutMostSignificantByteFirst) {
  std::vector<char> message;
  OutputInt(message, 0x01020304);
  OutputInt(message, -2);
  OutputShort(message, 0xABCD);
  OutputByte(message, 0x7F);
  OutputDouble(message, 1.0);
  EXPECT_THAT(Bytes(message), ElementsAre(0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFE, 0xAB,
                                          0xCD, 0x7F, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0));
  char bytes[8];
  EndianConvertDouble(-2.5, bytes);
  EXPECT_THAT(Bytes(std::vector<char>(bytes, bytes + 8)),
              ElementsAre(0xC0, 0x04, 0, 0, 0, 0, 0, 0));
}

TEST(EndianTest, CpuTimeMessageIsSixteenBytesWithLengthTwelve) {
  std::vector<char> message;
  OutputCPUTime(message, 0x1234, 0x12345, 0.5);
  EXPECT_THAT(Bytes(message), ElementsAre(0, 0, 0, 12, 0xFE, 0x34, 0x23, 0x45, 0x3F, 0xE0, 0, 0,
                                          0, 0, 0, 0));
}

TEST(EndianTest, ManagerReplyCarriesCodesAndProcessId) {
  std::vector<char> message;
  OutputManagerReply(message, 0xFE, 0x02, 0x00012345);
  EXPECT_THAT(Bytes(message), ElementsAre(0, 0, 0, 10, 0xFE, 0x02, 0x00, 0x01, 0x23, 0x45));
}

TEST(DataPacketTest, NewPacketIsZeroed) {
  DataPacket packet(-1, -1, 3, 4);
  EXPECT_EQ(packet.clientID, -1);
  EXPECT_EQ(packet.experiment, -1);
  ASSERT_EQ(packet.counts.size(), 3u);
  ASSERT_EQ(packet.values.size(), 3u);
  for (const auto& row : packet.values) EXPECT_THAT(row, ElementsAre(0.0, 0.0, 0.0, 0.0));
  EXPECT_THAT(packet.counts, ElementsAre(0, 0, 0));
}

TEST(DataPacketTest, PacketWithoutObservationsIsNineBytes) {
  DataPacket packet(7, 2, 3, 10);
  EXPECT_THAT(Bytes(packet.EncodeDataMessage()), ElementsAre(0, 0, 0, 9, 7, 0, 2, 0, 0));
}

TEST(DataPacketTest, OnlyVariablesWithObservationsAreListed) {
  DataPacket packet(1, 0, 2, 5);
  packet.counts = {0, 3};
  packet.values[0] = {9.0, 9.0, 9.0, 9.0, 9.0};  // not counted, so never sent
  packet.values[1][0] = 0.25;
  packet.values[1][1] = -1.0;
  packet.values[1][2] = 1e300;
  const auto bytes = Bytes(packet.EncodeDataMessage());
  ASSERT_EQ(bytes.size(), 40u);
  EXPECT_EQ(ReadBigEndian32(bytes, 0), 40u);
  EXPECT_EQ(bytes[4], 1);
  EXPECT_EQ(ReadBigEndian16(bytes, 5), 0);
  EXPECT_EQ(ReadBigEndian16(bytes, 7), 1);  // entries
  EXPECT_EQ(ReadBigEndian16(bytes, 9), 1);  // variable index
  EXPECT_EQ(bytes[11], 1);                  // kind
  EXPECT_EQ(ReadBigEndian32(bytes, 12), 3u);
  EXPECT_EQ(ReadBigEndianDouble(bytes, 16), 0.25);
  EXPECT_EQ(ReadBigEndianDouble(bytes, 24), -1.0);
  EXPECT_EQ(ReadBigEndianDouble(bytes, 32), 1e300);
}

TEST(DataPacketTest, EntriesFollowVariableOrder) {
  DataPacket packet(0, 0, 3, 2);
  packet.counts = {1, 0, 2};
  packet.values[0][0] = 1.0;
  packet.values[2] = {2.0, 3.0};
  const auto bytes = Bytes(packet.EncodeDataMessage());
  ASSERT_EQ(bytes.size(), 9u + 2 * 7 + 3 * 8);
  EXPECT_EQ(ReadBigEndian32(bytes, 0), bytes.size());
  EXPECT_EQ(ReadBigEndian16(bytes, 7), 2);
  EXPECT_EQ(ReadBigEndian16(bytes, 9), 0);
  EXPECT_EQ(ReadBigEndian32(bytes, 12), 1u);
  EXPECT_EQ(ReadBigEndianDouble(bytes, 16), 1.0);
  EXPECT_EQ(ReadBigEndian16(bytes, 24), 2);
  EXPECT_EQ(ReadBigEndian32(bytes, 27), 2u);
  EXPECT_EQ(ReadBigEndianDouble(bytes, 31), 2.0);
  EXPECT_EQ(ReadBigEndianDouble(bytes, 39), 3.0);
}

TEST(DataPacketTest, IdentifiersAreCutToTheirFieldWidths) {
  DataPacket packet(0x1FF, 0x10002, 1, 1);
  EXPECT_THAT(Bytes(packet.EncodeDataMessage()), ElementsAre(0, 0, 0, 9, 0xFF, 0x00, 0x02, 0, 0));
}

TEST(DataPacketDeathTest, CountBeyondTheRowIsFatal) {
  DataPacket packet(0, 0, 1, 2);
  packet.counts[0] = 3;
  EXPECT_DEATH(packet.EncodeDataMessage(), "Assertion failed: counts\\[i\\] <= reportSize");
}

}  // namespace

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "ByteHelpers.h"
#include "SimulatorFixture.h"
#include "io/DataPacket.h"
#include "io/PacketQueue.h"
#include "io/TarvekSocket.h"

namespace {

using testing::HasSubstr;

using ReportingTest = SimulatorFixture;

constexpr size_t kHeader = 256;

TEST_F(ReportingTest, CreatedPacketsCarryTheRunsIdentity) {
  std::unique_ptr<DataPacket> packet(sim->CreateDataPacket(4));
  EXPECT_EQ(packet->clientID, 5);
  EXPECT_EQ(packet->experiment, 1);
  EXPECT_EQ(packet->numPVs, 4);
  EXPECT_EQ(packet->reportSize, 3);
}

TEST_F(ReportingTest, BinaryFileStartsWithAPaddedHeader) {
  sim->experiment = 12;
  const std::string path = ScratchPath("out.bin");
  delete sim->CreateBinFile(path.c_str());
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), kHeader);
  const std::string text = "TARVEK_SIM_BIN_FILE,256,TARVEK_VER=Version 2.4,FILE_VER=1,EXPERIMENTS=12,";
  EXPECT_EQ(bytes.substr(0, text.size()), text);
  EXPECT_EQ(bytes.substr(text.size()), std::string(kHeader - text.size(), '\0'));
}

TEST_F(ReportingTest, AsciiFileStartsWithTwoHeaderLines) {
  const std::string path = ScratchPath("out.txt");
  delete sim->CreateASCIIFile(path.c_str());
  EXPECT_EQ(ReadFile(path),
            "#TARVEK_SIM_ASCII_FILE,TARVEK_VER=Version 2.4,FILE_VER=1,EXPERIMENTS=1\n"
            "#FORMAT: (PV ID Number),(PV Value)\n");
}

TEST_F(ReportingTest, FilesThatCannotBeMadeAreReportedByName) {
  const std::string missing = ScratchPath("no-such-dir/out.bin");
  testing::internal::CaptureStderr();
  EXPECT_EQ(sim->CreateBinFile(missing.c_str()), nullptr);
  EXPECT_EQ(sim->CreateASCIIFile(missing.c_str()), nullptr);
  // Opening succeeds, the header write cannot.
  EXPECT_EQ(sim->CreateBinFile("/dev/full"), nullptr);
  EXPECT_EQ(sim->CreateASCIIFile("/dev/full"), nullptr);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_THAT(errors, HasSubstr("ERROR: Unable to open binary output file '" + missing + "'"));
  EXPECT_THAT(errors, HasSubstr("ERROR: Unable to open ASCII output file '" + missing + "'"));
  EXPECT_THAT(errors, HasSubstr("ERROR: Unable to write binary output file '/dev/full'"));
  EXPECT_THAT(errors, HasSubstr("ERROR: Unable to write ASCII output file '/dev/full'"));
}

TEST_F(ReportingTest, FlushWritesTheValuePacketOnlyAndRecyclesThePair) {
  const std::string binPath = ScratchPath("out.bin"), asciiPath = ScratchPath("out.txt");
  sim->binFile = sim->CreateBinFile(binPath.c_str());
  sim->asciiFile = sim->CreateASCIIFile(asciiPath.c_str());
  FillPair(2, 0.5);
  sim->valuePacket->counts[1] = 1;
  sim->valuePacket->values[1][0] = 1e-12;
  DataPacket* firstValues = sim->valuePacket;
  DataPacket* firstSquares = sim->squaredPacket;

  EXPECT_EQ(sim->CheckReportSize(0.0), 1);
  EXPECT_EQ(sim->reportCounter, 2);
  EXPECT_EQ(sim->fullQueue->Count(), 0);
  EXPECT_EQ(sim->freeQueue->Count(), 2);
  // Fresh packets were made because none were free; the written pair is
  // what the next report reuses.
  EXPECT_NE(sim->valuePacket, firstValues);
  FillPair(1, 3.25);
  EXPECT_EQ(sim->CheckReportSize(0.0), 1);
  EXPECT_EQ(sim->valuePacket, firstValues);
  EXPECT_EQ(sim->squaredPacket, firstSquares);

  const auto bytes = Bytes(ReadFile(binPath));
  const size_t first = 9 + 2 * 7 + 3 * 8, second = 9 + 7 + 8;
  ASSERT_EQ(bytes.size(), kHeader + first + second);
  EXPECT_EQ(ReadBigEndian32(bytes, kHeader), first);
  EXPECT_EQ(bytes[kHeader + 4], 5);
  EXPECT_EQ(ReadBigEndianDouble(bytes, kHeader + 16), 0.5);
  EXPECT_EQ(ReadBigEndian32(bytes, kHeader + first), second);
  EXPECT_EQ(ReadBigEndianDouble(bytes, kHeader + first + 16), 3.25);

  const std::string text = ReadFile(asciiPath);
  EXPECT_EQ(text.substr(text.find("0,")), "0,0.5\n0,1.5\n1,0.0\n0,3.25\n");
}

TEST_F(ReportingTest, FastReportsAreHeldBackAfterTenFlushes) {
  const std::string binPath = ScratchPath("out.bin");
  sim->binFile = sim->CreateBinFile(binPath.c_str());
  int flushes = 0;
  for (int call = 1; call <= 10; ++call) {
    FillPair(1, call);
    flushes += sim->CheckReportSize(0.0);
  }
  EXPECT_EQ(flushes, 10);
  // Pairs are held back until the full queue holds 50 packets.
  for (int call = 11; call <= 34; ++call) {
    FillPair(1, call);
    ASSERT_EQ(sim->CheckReportSize(1.0), 0) << "call " << call;
  }
  EXPECT_EQ(sim->fullQueue->Count(), 48);
  const size_t message = 9 + 7 + 8;
  EXPECT_EQ(ReadFile(binPath).size(), kHeader + 10 * message);
  FillPair(1, 35);
  EXPECT_EQ(sim->CheckReportSize(1.0), 1);
  EXPECT_EQ(sim->fullQueue->Count(), 0);
  const auto bytes = Bytes(ReadFile(binPath));
  ASSERT_EQ(bytes.size(), kHeader + 35 * message);
  for (int call = 1; call <= 35; ++call)
    EXPECT_EQ(ReadBigEndianDouble(bytes, kHeader + (call - 1) * message + 16), call);
  EXPECT_EQ(sim->freeQueue->Count(), 50);
}

TEST_F(ReportingTest, SlowReportsAreWrittenAtOnce) {
  sim->reportCounter = 20;
  FillPair(1, 1.0);
  EXPECT_EQ(sim->CheckReportSize(20 * 0.25), 1);
  FillPair(1, 1.0);
  EXPECT_EQ(sim->CheckReportSize(21 * 0.19), 0);
}

TEST_F(ReportingTest, AFinishedOrStoppedRunFlushesWhatIsHeldBack) {
  const std::string binPath = ScratchPath("out.bin");
  sim->binFile = sim->CreateBinFile(binPath.c_str());
  sim->reportCounter = 20;
  FillPair(1, 1.0);
  ASSERT_EQ(sim->CheckReportSize(0.0), 0);
  sim->runState = 1;
  FillPair(1, 2.0);
  EXPECT_EQ(sim->CheckReportSize(0.0), 1);
  EXPECT_EQ(sim->runState, 2);  // finished and everything written
  EXPECT_EQ(ReadFile(binPath).size(), kHeader + 2 * 24);

  // A stop (manager quit, failed send) leaves no later report either.
  FillPair(1, 3.0);
  sim->runState = 0;
  ASSERT_EQ(sim->CheckReportSize(0.0), 0);
  sim->runState = 2;
  FillPair(1, 4.0);
  EXPECT_EQ(sim->CheckReportSize(0.0), 1);
  EXPECT_EQ(ReadFile(binPath).size(), kHeader + 4 * 24);
}

TEST_F(ReportingTest, FailedFileWritesStopTheRunWithAMessage) {
  sim->binFilename = CopyName("/dev/full");
  sim->binFile = new std::ofstream("/dev/full", std::ios::binary);
  sim->asciiFilename = CopyName("/dev/full");
  sim->asciiFile = new std::ofstream("/dev/full");
  ASSERT_TRUE(sim->binFile->is_open());
  FillPair(1, 1.0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(sim->CheckReportSize(0.0), 1);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_THAT(errors, HasSubstr("ERROR: Unable to write binary output file '/dev/full'"));
  EXPECT_THAT(errors, HasSubstr("ERROR: Unable to write ASCII output file '/dev/full'"));
  EXPECT_EQ(sim->runState, 2);
  EXPECT_EQ(sim->binFile, nullptr);
  EXPECT_EQ(sim->asciiFile, nullptr);
}

TEST_F(ReportingTest, FileKeepsTheWholeMessageWhenTheSendFails) {
  const std::string binPath = ScratchPath("out.bin");
  sim->binFile = sim->CreateBinFile(binPath.c_str());
  sim->simMgrSocket = new TarvekSocket(true);  // never connected: every send fails
  FillPair(3, 1.0);
  sim->fullQueue->Push(sim->valuePacket);
  sim->fullQueue->Push(sim->squaredPacket);
  sim->valuePacket = sim->squaredPacket = nullptr;
  sim->OutputThreadFunc();
  EXPECT_EQ(sim->runState, 2);
  const auto bytes = Bytes(ReadFile(binPath));
  ASSERT_EQ(bytes.size(), kHeader + 9 + 7 + 24);
  EXPECT_EQ(ReadBigEndian32(bytes, kHeader), 40u);
  EXPECT_EQ(ReadBigEndianDouble(bytes, kHeader + 32), 3.0);
}

TEST_F(ReportingTest, OutputSendsAndWritesBigEndianDoubles) {
  const std::string path = ScratchPath("raw");
  double values[] = {1.0, -2.5};
  {
    std::ofstream file(path, std::ios::binary);
    EXPECT_EQ(sim->Output(nullptr, &file, values, 2), 16);
  }
  EXPECT_EQ(Bytes(ReadFile(path)), (std::vector<uint8_t>{0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xC0, 0x04,
                                                          0, 0, 0, 0, 0, 0}));
  TarvekSocket unconnected(true);
  {
    std::ofstream file(path, std::ios::binary);
    EXPECT_EQ(sim->Output(&unconnected, &file, values, 2), -1);
  }
  EXPECT_EQ(sim->runState, 2);
  EXPECT_EQ(ReadFile(path).size(), 16u);
}

}  // namespace

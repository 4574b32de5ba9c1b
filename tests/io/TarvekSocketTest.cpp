#include "io/TarvekSocket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "SocketPair.h"

namespace {

TEST(TarvekSocketTest, LibraryFlagIsSetByTheFirstSocket) {
  TarvekSocket first(false);
  EXPECT_TRUE(TarvekSocket::alreadyInitialized);
  TarvekSocket second(false);
  EXPECT_TRUE(TarvekSocket::alreadyInitialized);
}

TEST(TarvekSocketTest, CloseWithoutDescriptorReturnsMinusOneSilently) {
  testing::internal::CaptureStderr();
  TarvekSocket socket(false);
  EXPECT_EQ(socket.Close(), -1);
  TarvekSocket opened(true);
  EXPECT_EQ(opened.Close(), 0);
  EXPECT_EQ(opened.Close(), -1);
  EXPECT_EQ(opened.descriptor, -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(socket.GetErrorString(), nullptr);
}

TEST(TarvekSocketTest, BindOnATakenPortFailsWithoutMessage) {
  TarvekSocket holder(true);
  ASSERT_TRUE(holder.Bind(0));
  ASSERT_TRUE(holder.Listen(1));
  const int taken = holder.LocalPort();
  ASSERT_GT(taken, 0);

  testing::internal::CaptureStderr();
  TarvekSocket second(true);
  EXPECT_FALSE(second.Bind(taken));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(second.GetErrorString(), nullptr);
}

TEST(TarvekSocketTest, FailuresPrintAndRecordTheirText) {
  TarvekSocket unopened(false);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(unopened.Listen(1));
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed.rfind("error in listen", 0), 0u) << printed;
  EXPECT_STREQ(unopened.GetErrorString(), "error in listen");

  testing::internal::CaptureStderr();
  EXPECT_FALSE(unopened.Select(0));
  testing::internal::GetCapturedStderr();
  EXPECT_STREQ(unopened.GetErrorString(), "error in select");

  TarvekSocket refused(true);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(refused.Connect("no-such-host.invalid", 1));
  EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("error in connect: errno=", 0), 0u);
}

TEST(TarvekSocketTest, SelectReportsWaitingData) {
  SocketPair pair;
  ASSERT_TRUE(pair.Open());
  EXPECT_FALSE(pair.server->Select(0));
  ASSERT_EQ(pair.client->Send("x", 1), 1);
  EXPECT_TRUE(pair.server->Select(1000));
  char byte = 0;
  EXPECT_EQ(pair.server->Recv(&byte, 1), 1);
  EXPECT_EQ(byte, 'x');
  EXPECT_FALSE(pair.server->Select(0));
}

TEST(TarvekSocketTest, RecvBlockStopsAtTheTerminator) {
  SocketPair pair;
  ASSERT_TRUE(pair.Open());
  const char text[] = "out.bin;500;;";
  ASSERT_EQ(pair.client->Send(text, static_cast<int>(std::strlen(text))), 13);
  char buf[513];
  std::memset(buf, 'Z', sizeof buf);
  EXPECT_EQ(pair.server->RecvBlock(buf, 512, ";;"), 13);
  EXPECT_STREQ(buf, text);
}

TEST(TarvekSocketTest, RecvBlockStopsAtTheLimitWithoutTerminator) {
  SocketPair pair;
  ASSERT_TRUE(pair.Open());
  ASSERT_EQ(pair.client->Send("abcdefgh", 8), 8);
  char buf[6];
  EXPECT_EQ(pair.server->RecvBlock(buf, 5, ";;"), 5);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(pair.server->RecvBlock(buf, 0, ";;"), 0);
}

TEST(TarvekSocketTest, RecvBlocksEndWhenThePeerCloses) {
  SocketPair pair;
  ASSERT_TRUE(pair.Open());
  ASSERT_EQ(pair.client->Send("abc", 3), 3);
  pair.client->Close();
  char buf[64];
  EXPECT_EQ(pair.server->RecvBlock(buf, 10), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(pair.server->RecvBlock(buf, 10, ";;"), 0);
  EXPECT_STREQ(buf, "");
}

TEST(TarvekSocketTest, SendToAClosedPeerFailsWithoutSignal) {
  SocketPair pair;
  ASSERT_TRUE(pair.Open());
  pair.client->Close();
  // The first sends may still be accepted by the local stack; once the
  // reset has arrived every send fails, and the process must survive it.
  std::string block(65536, 'a');
  int result = 0;
  for (int attempt = 0; attempt < 50 && result >= 0; ++attempt)
    result = pair.server->SendAll(block.data(), static_cast<int>(block.size()));
  EXPECT_EQ(result, -1);
}

}  // namespace

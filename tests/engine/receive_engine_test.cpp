#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "transfer/transfer_control.h"

namespace {

class ReceiveTest : public EngineTest {
 protected:
  void StartReceiving(const std::string& name) {
    UseFile(name, 1);
    StartStopTransfer();
    ASSERT_TRUE(WaitFor([] { return app.portHandle.IsOpen(); }));
  }
};

std::vector<uint8_t> WithoutEndMark(std::vector<uint8_t> bytes) {
  for (uint8_t& byte : bytes)
    if (byte == 3) byte = 4;
  return bytes;
}

TEST_F(ReceiveTest, DataThenPauseThenEndMarkGivesExactlyTheData) {
  dir.Write("in.bin", std::string(5000, 'x'));  // emptied first
  StartReceiving("in.bin");
  EXPECT_EQ(surface.GetText(CountLabel), "Bytes received");
  const std::vector<uint8_t> data = WithoutEndMark(RandomBytes(3000, 7));
  pty.Write(data);
  ASSERT_TRUE(WaitFor([] { return app.bytesReceived.load() == 3000; }));
  pty.Write(std::string(1, '\x03'));
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(dir.Read("in.bin"), data);
  EXPECT_EQ(surface.GetText(CountField), "3000");
  EXPECT_EQ(FailureLines(Box()), 0) << Box();
  EXPECT_FALSE(app.portHandle.IsOpen());
  EXPECT_FALSE(app.openFile.IsOpen());
}

TEST_F(ReceiveTest, EndMarkInsideABlockEndsTheFileRightThere) {
  StartReceiving("in.txt");
  pty.Write(
      std::string("abc\x03"
                  "def"));
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(dir.Read("in.txt"), Bytes("abc"));
  EXPECT_EQ(surface.GetText(CountField), "3");
}

// Blocks are cut by pauses the peer makes at random; Stop keeps all that arrived and reports
// nothing.
TEST_F(ReceiveTest, RandomPiecesArriveWholeAndStopKeepsThem) {
  StartReceiving("pieces.bin");
  std::mt19937 random(11);
  std::vector<uint8_t> all;
  for (int piece = 0; piece < 12; ++piece) {
    std::vector<uint8_t> bytes =
        WithoutEndMark(RandomBytes(1 + random() % 2500, static_cast<uint32_t>(piece)));
    pty.Write(bytes);
    all.insert(all.end(), bytes.begin(), bytes.end());
    platform::SleepMilliseconds(random() % 700);  // the peer's own pace, not a synchronisation
  }
  const int total = static_cast<int>(all.size());
  ASSERT_TRUE(WaitFor([total] { return app.bytesReceived.load() == total; }));
  StartStopTransfer();
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(dir.Read("pieces.bin"), all);
  EXPECT_EQ(surface.GetText(CountField), std::to_string(total));
  EXPECT_EQ(Box(), "");
  EXPECT_EQ(surface.Read(StartStopButton).image, StartImage);
}

TEST_F(ReceiveTest, LostWriteIsReportedNotHidden) {
  StartReceiving("lost.txt");
  app.openFile.Get()->Close();  // the file goes away under the engine, as on a failing disk
  pty.Write(std::string("hello"));
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_NE(Box().find("(C:9) writing file\r\n"), std::string::npos) << Box();
  EXPECT_EQ(FailureLines(Box()), 1);
  EXPECT_EQ(app.bytesReceived.load(), 0);
  EXPECT_EQ(surface.Read(StartStopButton).image, StartImage);
}

}  // namespace

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "transfer/transfer_control.h"

namespace {

class SendTest : public EngineTest {
 protected:
  struct SentFile {
    std::vector<uint8_t> line;
    uint64_t endMarkAtMs = 0;  // when the peer had the last byte, the end mark
  };
  SentFile SendAndCollect(const std::vector<uint8_t>& data);
  // Starts sending `data` and reads it all on the peer's side, leaving the end mark to come.
  void StartSendAndReadData(const std::vector<uint8_t>& data);
};

SendTest::SentFile SendTest::SendAndCollect(const std::vector<uint8_t>& data) {
  SentFile sent;
  dir.Write("out.bin", data);
  UseFile("out.bin", 0);
  StartStopTransfer();
  sent.line = pty.ReadAvailable(data.size() + 1, 30000);
  sent.endMarkAtMs = platform::MonotonicMilliseconds();
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_TRUE(pty.ReadAvailable(1, 100).empty()) << "bytes after the end mark";
  return sent;
}

void SendTest::StartSendAndReadData(const std::vector<uint8_t>& data) {
  dir.Write("out.bin", data);
  UseFile("out.bin", 0);
  StartStopTransfer();
  ASSERT_EQ(pty.ReadAvailable(data.size(), 30000), data);
}

TEST_F(SendTest, SendsTheBytesThenTheEndMarkAfterASilence) {
  const std::vector<size_t> sizes = {1, 1024, 1025, 2048, 1 << 20};
  for (size_t size : sizes) {
    SCOPED_TRACE("size " + std::to_string(size));
    const std::vector<uint8_t> data = RandomBytes(size, static_cast<uint32_t>(size));
    SentFile sent = SendAndCollect(data);
    ASSERT_EQ(sent.line.size(), size + 1);
    EXPECT_EQ(std::vector<uint8_t>(sent.line.begin(), sent.line.end() - 1), data);
    EXPECT_EQ(sent.line.back(), 3);
    // The pause is measured from the step of the bar for the last chunk, which the engine makes
    // on its own thread before the pause begins; the end mark's arrival is taken after the peer
    // has it. Both errors lengthen the measure, so a full pause is never seen shorter, while one
    // cut to 900 ms stays short by far more than a loaded machine adds. (The peer's time for the
    // last data byte would not do: read late, it makes the pause look shorter.)
    EXPECT_GE(sent.endMarkAtMs - surface.lastStepAtMs.load(), 1000u);

    const int chunks = static_cast<int>((size + 1023) / 1024);
    HeadlessSurface::Control bar = surface.Read(ProgressBar);
    EXPECT_EQ(bar.progressHigh, chunks);
    EXPECT_EQ(bar.progressSteps, chunks);
    EXPECT_EQ(bar.progressPosition, 0);
    EXPECT_EQ(surface.GetText(CountField), std::to_string(size));
    EXPECT_EQ(surface.GetText(CountLabel), "Bytes to send");
    EXPECT_EQ(Box(), "");
    EXPECT_EQ(surface.Read(StartStopButton).image, StartImage);
    EXPECT_FALSE(app.portHandle.IsOpen());
    EXPECT_FALSE(app.openFile.IsOpen());
  }
}

// A machine that holds the line with XOFF while its buffer drains gets the end mark after its
// XON, however long the hold; Stop during a hold sends nothing more and resets the run at once.
TEST_F(SendTest, EndMarkWaitsOutAnXoffHoldUntilXonOrStop) {
  app.portDcb.fOutX = 1;
  const std::vector<uint8_t> data = RandomBytes(2000, 5);
  const std::string xoff(1, '\x13');
  const std::string xon(1, '\x11');

  StartSendAndReadData(data);
  pty.Write(xoff);
  EXPECT_TRUE(pty.ReadAvailable(1, 3000).empty()) << "sent during the hold";
  pty.Write(xon);
  EXPECT_EQ(pty.ReadAvailable(1, 5000), Bytes("\x03"));
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(Box(), "");

  StartSendAndReadData(data);
  pty.Write(xoff);
  // Well past the end pause and what the port once gave a held character.
  EXPECT_TRUE(pty.ReadAvailable(1, 2000).empty()) << "sent during the hold";
  StartStopTransfer();
  EXPECT_EQ(app.transferRunning.load(), 0);
  EXPECT_FALSE(app.portHandle.IsOpen());
  ASSERT_TRUE(WaitUntilIdle(5000)) << "the engine still waits for XON";
  pty.Write(xon);
  EXPECT_TRUE(pty.ReadAvailable(1, 1500).empty()) << "sent after Stop";
  EXPECT_EQ(Box(), "");
  EXPECT_EQ(surface.Read(StartStopButton).image, StartImage);
}

TEST_F(SendTest, EmptyFileGivesTheBareLineAndOpensNoPort) {
  MakePortMissing();  // any attempt to open the port would be reported
  dir.Write("empty.txt", std::string());
  UseFile("empty.txt", 0);
  for (int language : {0, 1}) {
    app.language = static_cast<uint8_t>(language);
    StartStopTransfer();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(Box(), language == 0 ? "plik pusty\r\n" : "File empty\r\n");
    EXPECT_EQ(surface.Read(StartStopButton).image, StartImage);
    EXPECT_TRUE(surface.IsEnabled(SendFileButton));
  }
}

TEST_F(SendTest, MissingPortIsReportedWithItsCodeAndTheFileIsClosed) {
  MakePortMissing();
  dir.Write("data.txt", std::string("hello"));
  UseFile("data.txt", 0);
  StartStopTransfer();
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_NE(Box().find("  (C:2) opening port\r\n"), std::string::npos) << Box();
  EXPECT_EQ(FailureLines(Box()), 1);
  EXPECT_FALSE(app.openFile.IsOpen());
  // Not even a reader is left holding it.
  EXPECT_TRUE(platform::File::Open(app.openFilePath, platform::FileMode::kReadWriteExisting));
  EXPECT_TRUE(surface.IsEnabled(SettingsButton));
}

TEST_F(SendTest, MissingFileIsAnInvalidFile) {
  UseFile("absent.txt", 0);
  app.language = 0;
  StartStopTransfer();
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_NE(Box().find("(C:2) niewłaściwy plik\r\n"), std::string::npos) << Box();
  EXPECT_FALSE(app.portHandle.IsOpen());
}

}  // namespace

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "transfer/transfer_control.h"

namespace {

class SendTest : public EngineTest {
 protected:
  struct SentFile {
    std::vector<uint8_t> data;
    std::vector<PtyPair::TimedByte> line;
  };
  SentFile SendAndCollect(const std::vector<uint8_t>& data);
};

// Sends `data` as the user would and collects what the peer reads until the line stays silent
// well past the end-of-file pause.
SendTest::SentFile SendTest::SendAndCollect(const std::vector<uint8_t>& data) {
  SentFile sent{data, {}};
  dir.Write("out.bin", data);
  SetText(app.openFilePath, sizeof app.openFilePath, dir.File("out.bin"));
  app.transferMode = 0;
  StartStopTransfer();
  sent.line = pty.ReadUntilSilence(1600, 120000);
  EXPECT_TRUE(WaitUntilIdle());
  return sent;
}

TEST_F(SendTest, SendsTheBytesThenTheEndMarkAfterASilence) {
  const std::vector<size_t> sizes = {1, 1024, 1025, 2048, 1 << 20};
  for (size_t size : sizes) {
    SCOPED_TRACE("size " + std::to_string(size));
    SentFile sent = SendAndCollect(RandomBytes(size, static_cast<uint32_t>(size)));
    ASSERT_EQ(sent.line.size(), size + 1);
    std::vector<uint8_t> data;
    for (size_t i = 0; i < size; ++i) data.push_back(sent.line[i].byte);
    EXPECT_EQ(data, sent.data);
    EXPECT_EQ(sent.line.back().byte, 3);
    // The peer reads the last data byte a little after it left: allow for its wake-up.
    EXPECT_GE(sent.line.back().atMs - sent.line[size - 1].atMs, 990u);

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

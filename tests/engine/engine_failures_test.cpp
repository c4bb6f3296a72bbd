#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "fake_port.h"
#include "transfer/engine_run.h"
#include "transfer/engine_steps.h"
#include "transfer/engines.h"
#include "transfer/transfer_control.h"

namespace {

std::shared_ptr<ScriptedPort> scripted;

std::shared_ptr<platform::SerialPort> OpenScripted(const char*, const char*) {
  return scripted;
}

// The engines over a scripted port, for what a real device does not do on demand.
class EngineFailureTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    scripted = std::make_shared<ScriptedPort>();
    SetPortOpener(OpenScripted);
  }
  void TearDown() override {
    EngineTest::TearDown();
    SetPortOpener(nullptr);
    scripted.reset();
  }
  void Run(int mode) {
    dir.Write("f.bin", data);
    UseFile("f.bin", mode);
    StartStopTransfer();
    ASSERT_TRUE(WaitUntilIdle());
  }
  std::vector<uint8_t> data = RandomBytes(2500, 3);
};

TEST_F(EngineFailureTest, ShortWritesSendTheRestOfTheirChunk) {
  scripted->writeLimit = 300;
  Run(0);
  std::vector<uint8_t> expected = data;
  expected.push_back(3);
  EXPECT_EQ(scripted->line, expected);
  EXPECT_EQ(surface.Read(ProgressBar).progressSteps, 3);
  EXPECT_EQ(Box(), "");
}

TEST_F(EngineFailureTest, WriteThatFailsAtOnceEndsTheSend) {
  scripted->writeStart = platform::IoStart::kFailed;
  Run(0);
  EXPECT_NE(Box().find("(C:5) WriteFile\r\n"), std::string::npos) << Box();
  EXPECT_TRUE(scripted->line.empty());  // no end mark after a failure
  EXPECT_FALSE(app.openFile.IsOpen());
}

TEST_F(EngineFailureTest, ReadThatFailsAtOnceEndsTheReception) {
  scripted->readStart = platform::IoStart::kFailed;
  Run(1);
  EXPECT_NE(Box().find("(C:5) ReadFile\r\n"), std::string::npos) << Box();
  EXPECT_EQ(FailureLines(Box()), 1);
}

TEST_F(EngineFailureTest, FailedEventWaitAndFailedWaitHaveTheirOwnTexts) {
  scripted->eventStart = platform::IoStart::kFailed;
  Run(1);
  EXPECT_NE(Box().find("(C:5) WaitCommEvent\r\n"), std::string::npos) << Box();

  scripted = std::make_shared<ScriptedPort>();
  scripted->writeStart = platform::IoStart::kPending;
  scripted->failureCode = 6;
  Run(0);
  EXPECT_NE(Box().find("(C:6) transmission\r\n"), std::string::npos) << Box();
}

// A receiving engine is not woken by every character; what the driver flags (a framing error
// here) is still reported, with the block it came with, though no event announced it.
TEST_F(EngineFailureTest, ReceiveReportsDriverErrorsWithTheBlockAndSkipsArrivalWakes) {
  scripted->readStart = platform::IoStart::kCompleted;
  scripted->readData = {'G', '0', '1', 3};
  scripted->driverErrors = platform::kCeFrame;
  UseFile("in.bin", 1);
  StartStopTransfer();
  ASSERT_TRUE(WaitUntilIdle());
  const std::vector<uint8_t> received = dir.Read("in.bin");
  EXPECT_EQ(std::string(received.begin(), received.end()), "G01");
  EXPECT_NE(Box().find("Frame"), std::string::npos) << Box();
  EXPECT_EQ(scripted->eventMask & platform::kEvRxChar, 0u);
  const uint32_t lineEvents = platform::kEvErr | platform::kEvBreak | platform::kEvCts |
                              platform::kEvDsr | platform::kEvRlsd | platform::kEvRing;
  EXPECT_EQ(scripted->eventMask & lineEvents, lineEvents);
}

// Blocks that come in a burst go to the file together; a failure of the line right after them
// still leaves every one in the file, and the count says what the file holds.
TEST_F(EngineFailureTest, BurstBeforeALineFailureIsAllInTheFileAndCounted) {
  scripted->readStart = platform::IoStart::kCompleted;
  scripted->readData.assign(1024, 'A');
  int reads = 0;
  scripted->beforeReadCompletes = [&] {
    if (++reads == 3) scripted->readStart = platform::IoStart::kFailed;
  };
  UseFile("in.bin", 1);
  StartStopTransfer();
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(dir.Read("in.bin"), std::vector<uint8_t>(2048, 'A'));
  EXPECT_EQ(surface.GetText(CountField), "2048");
  EXPECT_NE(Box().find("(C:5) ReadFile\r\n"), std::string::npos) << Box();
  EXPECT_EQ(FailureLines(Box()), 1) << Box();
}

// Ending listen mode clears the flag before it resets the run: a block that completes in between
// is no file data (a listening run has no file to write it to), and no reception starts.
TEST_F(EngineFailureTest, BlockArrivingAsListeningEndsIsDropped) {
  dir.Write("chosen.nc", "G01 X1\r\n");
  UseFile("chosen.nc", 0);
  scripted->readStart = platform::IoStart::kCompleted;
  scripted->readData = {'G', '0', '1', '\r', '\n'};
  scripted->beforeReadCompletes = [] { app.listenMode = 0; };
  app.listenMode = 1;
  StartListening();
  ASSERT_TRUE(WaitFor([] { return platform::RunningDetachedThreads() == 0; }));
  EndListening();

  // A listening start that arrives after listen mode went off (a reply had cleared
  // listenByUser) gives way: the file chosen meanwhile is neither opened nor emptied.
  EXPECT_FALSE(run::StartEngine(run::Engine::kListen, 0));
  app.listenByUser = 0;
  ListenEngine();
  EXPECT_EQ(app.transferRunning.load(), 0);
  const std::vector<uint8_t> chosen = dir.Read("chosen.nc");
  EXPECT_EQ(std::string(chosen.begin(), chosen.end()), "G01 X1\r\n");
  EXPECT_EQ(FailureLines(Box()), 0) << Box();
}

}  // namespace

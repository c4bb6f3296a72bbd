#include <dirent.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "fake_port.h"
#include "transfer/engine_run.h"
#include "transfer/engines.h"
#include "transfer/transfer_control.h"

namespace {

class TransferControlTest : public EngineTest {
 protected:
  // A send that stays busy: the peer does not read, so a write stays outstanding.
  void StartStuckSend() {
    dir.Write("big.txt", std::string(1 << 20, 'A'));
    UseFile("big.txt", 0);
    StartStopTransfer();
    ASSERT_TRUE(WaitFor([this] { return surface.Read(ProgressBar).progressSteps >= 1; }));
  }
  void ExpectIdleControls(bool listening) {
    for (int id : {ViewHexButton, ViewTextButton, ReceiveFileButton, SendFileButton, ListenButton})
      EXPECT_TRUE(surface.IsEnabled(id)) << id;
    EXPECT_EQ(surface.IsEnabled(SettingsButton), !listening);
    EXPECT_EQ(surface.IsEnabled(VerifyButton), !listening);
    EXPECT_EQ(surface.Read(StartStopButton).image, StartImage);
    EXPECT_EQ(surface.Read(ProgressBar).progressPosition, 0);
    for (int lamp : {CtsLamp, DsrLamp, RingLamp, RlsdLamp, CtsHoldLamp, DsrHoldLamp, RlsdHoldLamp,
                     XoffHoldLamp, XoffSentLamp})
      EXPECT_FALSE(surface.IsChecked(lamp)) << lamp;
  }
  void ExpectBusyControls(const char* label) {
    for (int id : {ViewHexButton, ViewTextButton, ReceiveFileButton, SendFileButton, ListenButton,
                   SettingsButton, VerifyButton})
      EXPECT_FALSE(surface.IsEnabled(id)) << id;
    EXPECT_EQ(surface.Read(StartStopButton).image, StopImage);
    EXPECT_EQ(surface.GetText(CountLabel), label);
  }
};

int OpenDescriptors() {
  int count = 0;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (readdir(fds)) ++count;
    closedir(fds);
  }
  return count;
}

TEST_F(TransferControlTest, TwoResetsCloseEachHandleOnce) {
  auto port = std::make_shared<ModemOnlyPort>(0);
  dir.Write("f.txt", std::string("x"));
  app.portHandle.Set(port);
  app.openFile.Set(
      platform::File::Open(dir.File("f.txt").c_str(), platform::FileMode::kReadShared));
  app.sendThread = 5;
  app.receiveThread = 6;
  app.transferRunning = 1;
  surface.TypeText(DelayField, "300");  // only the low 8 bits are kept
  surface.SetText(ErrorsBox, "a line\r\n");
  for (int reset = 0; reset < 2; ++reset) {
    ResetAfterTransfer(0);
    EXPECT_EQ(port->closes, 1);
    EXPECT_FALSE(app.portHandle.IsOpen());
    EXPECT_FALSE(app.openFile.IsOpen());
    EXPECT_EQ(app.sendThread, 0u);
    EXPECT_EQ(app.receiveThread, 0u);
    EXPECT_EQ(app.transferRunning.load(), 0);
    EXPECT_EQ(app.replyDelay, 300 & 0xFF);
    ExpectIdleControls(false);
  }
  EXPECT_TRUE(dir.Exists("log.txt"));
}

// One busy send serves the start's controls, a Stop while a write is outstanding, and the reset.
TEST_F(TransferControlTest, StopDuringAnOutstandingWriteEndsQuietly) {
  app.replyDelay = 7;
  surface.SetText(ErrorsBox, "old line\r\n");
  StartStuckSend();
  ExpectBusyControls("Bytes to send");
  EXPECT_EQ(surface.GetText(ErrorsBox), "");
  EXPECT_EQ(surface.GetNumber(DelayField), 7u);

  StartStopTransfer();
  ExpectIdleControls(false);
  ASSERT_TRUE(WaitUntilIdle());
  std::vector<PtyPair::TimedByte> line = pty.ReadUntilSilence(1600, 60000);
  EXPECT_LT(line.size(), size_t{1} << 20);
  for (const PtyPair::TimedByte& got : line) ASSERT_EQ(got.byte, 'A');  // no end mark
  EXPECT_EQ(Box(), "");
  EXPECT_FALSE(app.portHandle.IsOpen());
}

TEST_F(TransferControlTest, ReceiveStartAndStop) {
  UseFile("in.txt", 1);
  StartStopTransfer();
  ASSERT_TRUE(WaitFor([] { return app.portHandle.IsOpen(); }));
  ExpectBusyControls("Bytes received");
  EXPECT_EQ(surface.GetText(CountField), "");
  StartStopTransfer();
  ExpectIdleControls(false);
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(Box(), "");
}

TEST_F(TransferControlTest, ListeningAndAStoppedReplyReturnsToListening) {
  app.listenMode = 1;
  surface.SetCheck(ListenButton, true);
  surface.SetText(CountLabel, "Bytes to send");
  StartListening();
  ASSERT_TRUE(WaitFor([] { return app.portHandle.IsOpen(); }));
  EXPECT_EQ(app.transferMode.load(), 1);
  EXPECT_EQ(surface.GetText(CountLabel), "");
  EXPECT_FALSE(surface.IsEnabled(SettingsButton));
  EXPECT_FALSE(surface.IsEnabled(VerifyButton));
  EXPECT_TRUE(surface.IsEnabled(DelayLabel));
  EXPECT_TRUE(surface.IsEnabled(ListenGroup));

  // Start/Stop while listening only shows the delay again.
  app.replyDelay = 4;
  StartStopTransfer();
  EXPECT_EQ(app.transferRunning.load(), 1);
  EXPECT_EQ(surface.GetNumber(DelayField), 4u);

  // A reply being sent, stopped: back to taking commands, listen mode still on.
  ResetAfterTransfer(0);
  ASSERT_TRUE(WaitUntilIdle());
  StartStuckSend();
  EXPECT_EQ(surface.GetText(ErrorsBox), "");  // a reply keeps the box
  StartStopTransfer();
  ASSERT_TRUE(WaitFor([] { return app.transferMode.load() == 1 && app.portHandle.IsOpen(); }));
  EXPECT_EQ(app.listenMode.load(), 1);
  EXPECT_TRUE(surface.IsChecked(ListenButton));
  ExpectIdleControls(true);

  EndListening();
  EXPECT_EQ(app.listenMode.load(), 0);
  EXPECT_FALSE(surface.IsChecked(ListenButton));
  EXPECT_FALSE(surface.IsEnabled(DelayLabel));
  EXPECT_FALSE(surface.IsEnabled(ListenGroup));
  ASSERT_TRUE(WaitUntilIdle());
  ExpectIdleControls(false);
  EXPECT_EQ(FailureLines(Box()), 0) << Box();
}

TEST_F(TransferControlTest, EngineGivesWayWithoutLeavingTheProgramBusy) {
  dir.Write("f.txt", std::string("data"));
  UseFile("f.txt", 0);
  app.listenByUser = 1;  // listen mode was switched off while the engine started
  for (void (*engine)() : {SendEngine, ReceiveEngine}) {
    surface.SetButtonImage(StartStopButton, StopImage);
    surface.Enable(SendFileButton, false);
    engine();
    EXPECT_EQ(app.transferRunning.load(), 0);
    EXPECT_FALSE(app.portHandle.IsOpen());
    EXPECT_FALSE(app.openFile.IsOpen());
    ExpectIdleControls(false);
  }
  EXPECT_EQ(dir.Read("f.txt"), Bytes("data"));  // the receive file was not touched
  EXPECT_FALSE(dir.Exists("log.txt"));
}

// The user switches listening off just as an ending engine goes back to it, before that engine's
// control changes arrive: no listening starts, and the controls end as EndListening leaves them.
TEST_F(TransferControlTest, ListeningSwitchedOffAsAnEngineGoesBackToIt) {
  class EndsListeningFirst : public HeadlessSurface {
   public:
    void SetText(int control, const char* text) override {
      HeadlessSurface::SetText(control, text);
      if (control != CountLabel || acted_) return;
      acted_ = true;
      EndListening();
    }

   private:
    bool acted_ = false;
  } window;
  app.mainWindow = &window;
  app.listenMode = 1;
  StartListeningAfter(run::Begin());  // as an ending engine does
  EXPECT_EQ(platform::RunningDetachedThreads(), 0);
  EXPECT_EQ(app.transferRunning.load(), 0);
  EXPECT_FALSE(window.IsEnabled(DelayLabel));
  EXPECT_FALSE(window.IsEnabled(ListenGroup));
  EXPECT_TRUE(window.IsEnabled(SettingsButton));
  EXPECT_TRUE(window.IsEnabled(VerifyButton));
  app.mainWindow = &surface;
}

TEST_F(TransferControlTest, MissingPortWhileListeningRetriesOncePerSecond) {
  MakePortMissing();
  app.listenMode = 1;
  const uint64_t start = platform::MonotonicMilliseconds();
  StartListening();
  // Every try starts with StartListening clearing the count label.
  ASSERT_TRUE(surface.WaitUntil([this] { return surface.Read(CountLabel).textHistory.size() >= 3; },
                                std::chrono::seconds(30)));
  EXPECT_GE(platform::MonotonicMilliseconds() - start, 1900u);
  app.listenByUser = 1;
  EndListening();
  ASSERT_TRUE(WaitUntilIdle(5000));  // the pause gives up at once
  EXPECT_EQ(FailureLines(Box()), 1) << Box();
  EXPECT_NE(Box().find("opening port"), std::string::npos);
}

TEST_F(TransferControlTest, ManyStartStopCyclesLeaveNothingBehind) {
  dir.Write("big.txt", std::string(1 << 20, 'A'));
  const int descriptors = OpenDescriptors();
  for (int cycle = 0; cycle < 200; ++cycle) {
    UseFile(cycle % 2 ? "in.txt" : "big.txt", cycle % 2);
    StartStopTransfer();
    ASSERT_TRUE(WaitFor([] { return app.transferRunning.load() == 1; }));
    StartStopTransfer();
    ASSERT_TRUE(WaitUntilIdle());
    ASSERT_EQ(Box(), "") << "cycle " << cycle;
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(platform::RunningDetachedThreads(), 0);
}

}  // namespace

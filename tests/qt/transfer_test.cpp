// A send and a receive started by clicks, and Stop during a send, over a pseudo-terminal.

#include <QProgressBar>

#include <algorithm>
#include <set>

#include "platform/system.h"
#include "qt_fixture.h"

namespace {

// Without the end mark, and without the zero bytes the line discards on receipt.
std::vector<uint8_t> WithoutEndMark(std::vector<uint8_t> bytes) {
  for (uint8_t& byte : bytes)
    if (byte == 3 || byte == 0) byte = 4;
  return bytes;
}

}  // namespace

class QtTransferTest : public QtFrontEndTest {
 protected:
  // The lamps the reset after a transfer puts out.
  bool ModemAndHoldLampsOff() {
    for (int lamp : {CtsLamp, DsrLamp, RingLamp, RlsdLamp, CtsHoldLamp, DsrHoldLamp, RlsdHoldLamp})
      if (Checked(lamp)) return false;
    return true;
  }
};

TEST_F(QtTransferTest, SendAndReceiveByClicksAndStopDuringASend) {
  Start(Options());
  const std::vector<uint8_t> data = WithoutEndMark(RandomBytes(3000, 7));
  dir_.Write("data.bin", data);

  QString title;
  script_.ChooseFile(dir_.File("data.bin"), &title);
  Click(SendFileButton);
  ASSERT_TRUE(script_.Done());
  EXPECT_EQ(title, "Open file to send");
  EXPECT_EQ(Text(FileCaption), "Send file data.bin");
  EXPECT_EQ(Text(CountLabel), "Bytes to send");
  EXPECT_TRUE(Control(ViewHexButton)->isEnabled());

  auto* bar = Get<QProgressBar>(ProgressBar);
  // The last step lands on this thread while the engine waits for it, before its end pause.
  uint64_t lastStepAtMs = 0;
  QObject stepWatch;  // ends the connection with this scope
  QObject::connect(bar, &QProgressBar::valueChanged, &stepWatch, [&](int value) {
    if (value == bar->maximum()) lastStepAtMs = platform::MonotonicMilliseconds();
  });
  std::set<int> frames;
  int mostProgress = 0;
  bool stopFaceWhileBusy = false;
  // Watches the window while the transfer runs.
  auto watch = [&] {
    if (app.transferRunning.load() == 1) {
      frames.insert(surface().ShownImage(AnimationImage));
      mostProgress = std::max(mostProgress, bar->value());
      if (surface().ShownImage(StartStopButton) == StopImage) stopFaceWhileBusy = true;
    }
  };
  Click(StartStopButton);
  std::vector<PtyPair::TimedByte> got;
  ASSERT_TRUE(WaitFor([&] {
    watch();
    std::vector<uint8_t> part = peer().ReadAvailable(8192, 1);
    const uint64_t now = platform::MonotonicMilliseconds();
    for (uint8_t byte : part) got.push_back({byte, now});
    return got.size() >= data.size() + 1;
  }));
  ASSERT_EQ(got.size(), data.size() + 1);
  for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(got[i].byte, data[i]) << i;
  EXPECT_EQ(got.back().byte, 3);
  // The pause before the end mark, from a moment that cannot come late (the last data byte read
  // here could, making the pause look short).
  EXPECT_GE(got.back().atMs - lastStepAtMs, 1000u);
  ASSERT_TRUE(WaitFor([&] {
    watch();
    return app.transferRunning.load() == 0 && platform::RunningDetachedThreads() == 0;
  }));
  EXPECT_EQ(Text(CountField), "3000");
  EXPECT_EQ(bar->maximum(), 3);
  EXPECT_EQ(mostProgress, 3);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_TRUE(stopFaceWhileBusy);
  EXPECT_EQ(surface().ShownImage(StartStopButton), StartImage);
  EXPECT_GE(frames.size(), 3u) << "the animation did not run";
  EXPECT_TRUE(ModemAndHoldLampsOff());
  EXPECT_TRUE(WaitFor([&] { return surface().ShownImage(AnimationImage) == FirstAnimationImage; }));

  // A receive into a new file, ended by the byte 3.
  script_.ChooseFile(dir_.File("in.bin"), &title);
  Click(ReceiveFileButton);
  ASSERT_TRUE(script_.Done());
  EXPECT_EQ(title, "Open file to receive");
  EXPECT_EQ(Text(FileCaption), "Receive file to in.bin");
  EXPECT_EQ(Text(CountLabel), "Bytes received");
  Click(StartStopButton);
  ASSERT_TRUE(WaitFor([] { return app.transferRunning.load() == 1 && app.portHandle.IsOpen(); }));
  const std::vector<uint8_t> incoming = WithoutEndMark(RandomBytes(2000, 9));
  peer().Write(incoming);
  peer().Write(std::string(1, '\x03'));
  ASSERT_TRUE(WaitFor(
      [&] { return app.transferRunning.load() == 0 && platform::RunningDetachedThreads() == 0; }));
  EXPECT_EQ(dir_.Read("in.bin"), incoming);
  EXPECT_EQ(Text(CountField), "2000");
  EXPECT_TRUE(ModemAndHoldLampsOff());

  // Stop while the line is full: the rest and the end mark never go out.
  const std::vector<uint8_t> big = WithoutEndMark(RandomBytes(256 * 1024, 11));
  dir_.Write("big.bin", big);
  script_.ChooseFile(dir_.File("big.bin"));
  Click(SendFileButton);
  ASSERT_TRUE(script_.Done());
  Click(StartStopButton);
  ASSERT_TRUE(WaitFor([&] { return bar->value() >= 1; }));
  Click(StartStopButton);
  EXPECT_EQ(app.transferRunning.load(), 0);
  ASSERT_TRUE(WaitFor([] { return platform::RunningDetachedThreads() == 0; }));
  std::vector<PtyPair::TimedByte> rest = peer().ReadUntilSilence(1500, 10000);
  EXPECT_LT(rest.size(), big.size());
  EXPECT_TRUE(rest.empty() || rest.back().byte != 3);
  EXPECT_EQ(surface().ShownImage(StartStopButton), StartImage);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_TRUE(ModemAndHoldLampsOff());
}

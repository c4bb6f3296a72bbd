#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "frontend/headless/headless_surface.h"
#include "platform/system.h"
#include "support/pty_pair.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"

// Polls a condition that is not a control change (flags, thread counts) until a generous deadline.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 30000) {
  const uint64_t end = platform::MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs);
  while (!condition()) {
    if (platform::MonotonicMilliseconds() >= end) return condition();
    platform::SleepMilliseconds(2);
  }
  return true;
}

inline bool WaitUntilIdle(int timeoutMs = 30000) {
  return WaitFor(
      [] { return app.transferRunning.load() == 0 && platform::RunningDetachedThreads() == 0; },
      timeoutMs);
}

inline void SetText(char* field, size_t width, const std::string& text) {
  std::snprintf(field, width, "%s", text.c_str());
}

// The headless main window, noting when the progress bar last stepped. An engine steps it on its
// own thread as it confirms a chunk, so that time is taken before anything the engine does next.
class EngineSurface : public HeadlessSurface {
 public:
  void StepProgress(int control) override {
    HeadlessSurface::StepProgress(control);
    lastStepAtMs.store(platform::MonotonicMilliseconds());
  }
  std::atomic<uint64_t> lastStepAtMs{0};
};

// 9600 baud, 8 data bits, no parity, one stop bit, the byte 3 as event character.
inline PortDcb Dcb9600() {
  PortDcb dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 9600;
  dcb.fBinary = 1;
  dcb.fDtrControl = dcb::kDtrEnable;
  dcb.fRtsControl = dcb::kRtsEnable;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.Parity = dcb::kNoParity;
  dcb.StopBits = dcb::kOneStopBit;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  dcb.EvtChar = 3;
  return dcb;
}

// One program state per test: the headless main window, a start directory with "COM1" linked
// to the device end of a pseudo-terminal, and the peer's end for the test.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearAppState();
    app.mainWindow = &surface;
    SetText(app.startDirectory, sizeof app.startDirectory, dir.path());
    SetText(app.portName, sizeof app.portName, "COM1");
    app.portDcb = Dcb9600();
    app.startImage = StartImage;
    app.stopImage = StopImage;
    app.language = 1;
    pty.LinkAs(dir.path(), "COM1");
  }

  void TearDown() override {
    if (app.transferRunning.load() == 1) ResetAfterTransfer(0);
    EXPECT_TRUE(WaitUntilIdle()) << "an engine is still running";
    app.mainWindow = nullptr;
    ClearAppState();
  }

  void UseFile(const std::string& name, int mode) {
    SetText(app.openFilePath, sizeof app.openFilePath, dir.File(name));
    app.transferMode = mode;
  }
  void MakePortMissing() {
    std::string link = dir.File("COM1");
    unlink(link.c_str());
    ASSERT_EQ(0, symlink(dir.File("no-such-device").c_str(), link.c_str()));
  }
  std::string Box() { return surface.GetText(ErrorsBox); }

  TempDir dir;
  PtyPair pty;
  EngineSurface surface;
};

// Lines of the errors box that report failures ("hh:mm:ss  (C:n) text").
inline int FailureLines(const std::string& box) {
  int lines = 0;
  for (size_t at = box.find("(C:"); at != std::string::npos; at = box.find("(C:", at + 1)) ++lines;
  return lines;
}

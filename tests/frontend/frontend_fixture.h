#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "frontend/headless/headless_app.h"
#include "frontend/headless/headless_messages.h"
#include "support/pty_pair.h"
#include "ui/control_ids.h"

// The program started with the headless front end in a temporary start directory, with a
// pseudo-terminal linked as "COM1" when the test needs the line.
class FrontEndTest : public ::testing::Test {
 protected:
  struct Options {
    uint8_t language = 1;
    uint8_t replyDelay = 0;
    uint8_t chgdirConfirm = 1;
    bool withPort = true;
    bool withSettings = true;
  };

  void TearDown() override {
    program_.reset();
    ClearAppState();
  }

  void Start(const Options& options) {
    ClearAppState();
    if (options.withPort) {
      pty_ = std::make_unique<PtyPair>();
      pty_->LinkAs(dir_.path(), "COM1");
    }
    if (options.withSettings) {
      PortSettings settings = MachineLineSettings("9600", dir_.path());
      settings.language = options.language;
      settings.replyDelay = options.replyDelay;
      settings.chgdirConfirm = options.chgdirConfirm;
      ASSERT_TRUE(WriteSettingsFile(dir_.File("tazo.ini"), settings));
    }
    program_ = std::make_unique<HeadlessApp>();
    std::string error;
    ASSERT_TRUE(program_->Start(dir_.path(), &error)) << error;
  }

  HeadlessApp& program() { return *program_; }
  HeadlessSurface& surface() { return program_->surface(); }
  PtyPair& peer() { return *pty_; }
  std::string Text(int control) { return surface().GetText(control); }

  bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000) {
    return surface().WaitUntil(condition, std::chrono::milliseconds(timeoutMs));
  }

  void Press(int control) {
    std::string error;
    ASSERT_TRUE(program().Press(control, &error)) << error;
  }

  // Chooses `path` in the send or the receive dialog.
  void Choose(int button, const std::string& path) {
    QueueFileDialogPath(path);
    Press(button);
  }

  // What the peer reads until the end-of-file byte 3 (included), or all it got by the deadline.
  std::string ReadReply(int timeoutMs = 20000) {
    std::string got;
    const uint64_t deadline = platform::MonotonicMilliseconds() + timeoutMs;
    while (platform::MonotonicMilliseconds() < deadline) {
      std::vector<uint8_t> part = peer().ReadAvailable(4096, 200);
      got.append(part.begin(), part.end());
      if (!got.empty() && got.back() == 3) break;
    }
    return got;
  }

  // No run, and its reset has given the buttons back (the run ends first).
  bool ResetDone() { return app.transferRunning.load() == 0 && surface().IsEnabled(VerifyButton); }

  // The listening run has the port open, so a command file written now is read.
  bool Listening() {
    return app.listenMode.load() == 1 && app.transferRunning.load() == 1 && app.portHandle.IsOpen();
  }

  TempDir dir_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<HeadlessApp> program_;
};

inline int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

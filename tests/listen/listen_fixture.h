#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/text_field.h"
#include "frontend/headless/headless_surface.h"
#include "platform/files.h"
#include "support/pty_pair.h"
#include "ui/control_ids.h"

// A zero application state in English with a headless main window and a fresh temporary start
// directory that is also the current directory. The process's current directory is put back
// afterwards and no main window is left behind.
class ListenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::GetCurrentDir(savedDirectory_, sizeof savedDirectory_));
    ClearAppState();
    app.language = 1;
    CopyText(app.startDirectory, dir_.path().c_str());
    ASSERT_TRUE(platform::SetCurrentDir(dir_.path().c_str()));
    CopyText(app.workingDirectory, dir_.path().c_str());
    app.mainWindow = &surface_;
  }
  void TearDown() override {
    app.mainWindow = nullptr;
    ClearAppState();
    platform::SetCurrentDir(savedDirectory_);
  }

  static std::string CurrentDir() {
    char buffer[PATH_MAX];
    return platform::GetCurrentDir(buffer, sizeof buffer) ? buffer : "";
  }
  static std::string Text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
  }
  // Whether the error reporter has shown a failure line with this text.
  bool Reported(const std::string& text) {
    return surface_.GetText(ErrorsBox).find(") " + text + "\r\n") != std::string::npos;
  }

  TempDir dir_;
  HeadlessSurface surface_;

 private:
  char savedDirectory_[PATH_MAX] = {};
};

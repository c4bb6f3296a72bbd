#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "core/app_state.h"
#include "core/text_field.h"
#include "platform/files.h"
#include "support/pty_pair.h"

// A zero application state whose start directory is a fresh temporary directory. The process's
// current directory is put back afterwards (loading the settings may change it), and no main
// window is left behind.
class AppStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::GetCurrentDir(savedDirectory_, sizeof savedDirectory_));
    ClearAppState();
    CopyText(app.startDirectory, dir_.path().c_str());
  }
  void TearDown() override {
    app.mainWindow = nullptr;
    platform::SetCurrentDir(savedDirectory_);
  }

  static std::string CurrentDir() {
    char buffer[PATH_MAX];
    return platform::GetCurrentDir(buffer, sizeof buffer) ? buffer : "";
  }

  static std::string Canonical(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? buffer : path;
  }

  TempDir dir_;

 private:
  char savedDirectory_[PATH_MAX] = {};
};

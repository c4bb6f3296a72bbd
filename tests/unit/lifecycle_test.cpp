#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "app_state_fixture.h"
#include "core/app_state.h"
#include "core/lifecycle.h"
#include "core/text_field.h"
#include "frontend/headless/headless_app.h"
#include "frontend/headless/headless_surface.h"
#include "platform/directory_claim.h"
#include "platform/files.h"
#include "settings/settings_file.h"
#include "ui/control_ids.h"

namespace {

using LifecycleTest = AppStateTest;

TEST_F(LifecycleTest, StartUpTakesTheCurrentDirectoryAndLoadsItsSettings) {
  ASSERT_TRUE(platform::SetCurrentDir(dir_.path().c_str()));
  const std::string start = CurrentDir();
  ClearAppState();
  RunStartUpSteps();
  EXPECT_EQ(std::string(app.startDirectory), start);
  EXPECT_EQ(std::string(app.helpFilePath), start + "/pomoc.txt");
  // No settings file: the defaults, and a report that no window shows.
  EXPECT_STREQ(app.portName, "COM1");
  EXPECT_EQ(app.portDcb.BaudRate, 9600u);
  EXPECT_STREQ(app.lastErrorText, "plik z ustawieniami");
  EXPECT_FALSE(dir_.Exists(kSettingsFileName));
}

TEST_F(LifecycleTest, StartUpRefusesAFolderThatIsGoneOrHeldAndTouchesNothing) {
  // The folder another program holds: the language of the message is the stored one.
  PortSettings settings{};
  settings.language = 1;
  ASSERT_TRUE(WriteSettingsFile(dir_.File(kSettingsFileName), settings));
  ASSERT_TRUE(platform::SetCurrentDir(dir_.path().c_str()));
  std::unique_ptr<platform::DirectoryClaim> other;
  ASSERT_EQ(platform::DirectoryClaim::ClaimCurrentDirectory(&other),
            platform::DirectoryClaim::Result::kClaimed);
  ClearAppState();
  StartUpOutcome outcome = RunStartUpSteps();
  EXPECT_EQ(outcome.refusal, StartRefusal::kAlreadyRunning);
  EXPECT_STREQ(app.startDirectory, "");
  char text[kRefusalTextWidth];
  FormatStartRefusal(outcome, text, sizeof text);
  EXPECT_STREQ(text, "The program is already running in this folder");
  EXPECT_EQ(dir_.Read(kSettingsFileName).size(), kSettingsFileSize);
  EXPECT_STREQ(app.portName, "");
  other.reset();
  EXPECT_EQ(RunStartUpSteps().refusal, StartRefusal::kNone);
  ReleaseStartDirectory();

  // A folder deleted before the start: its error, in Polish without a settings file.
  const std::string gone = dir_.File("gone");
  ASSERT_EQ(mkdir(gone.c_str(), 0755), 0);
  ASSERT_TRUE(platform::SetCurrentDir(gone.c_str()));
  ASSERT_EQ(rmdir(gone.c_str()), 0);
  ClearAppState();
  outcome = RunStartUpSteps();
  EXPECT_EQ(outcome.refusal, StartRefusal::kUnreadable);
  FormatStartRefusal(outcome, text, sizeof text);
  EXPECT_STREQ(text, "Program nie może pracować w tym katalogu, bo nie da się go odczytać (C:2)");
}

TEST_F(LifecycleTest, ShutDownDeletesTheTemporaryFileAndSavesTheSettings) {
  HeadlessSurface surface;
  app.mainWindow = &surface;
  surface.SetText(DelayField, "5");
  dir_.Write("wer3.tmp", "received");
  CopyText(app.tempFilePath, dir_.File("wer3.tmp").c_str());
  RunShutDownSteps();
  EXPECT_FALSE(dir_.Exists("wer3.tmp"));
  const std::vector<uint8_t> file = dir_.Read(kSettingsFileName);
  ASSERT_EQ(file.size(), kSettingsFileSize);
  EXPECT_EQ(file[22], 5);
}

TEST_F(LifecycleTest, ShutDownIgnoresAMissingOrEmptyTemporaryPath) {
  HeadlessSurface surface;
  app.mainWindow = &surface;
  CopyText(app.tempFilePath, dir_.File("gone.tmp").c_str());
  RunShutDownSteps();
  EXPECT_EQ(surface.GetText(ErrorsBox), "");
  EXPECT_STREQ(app.lastErrorText, "");
  EXPECT_TRUE(dir_.Exists(kSettingsFileName));

  app.tempFilePath[0] = 0;
  RunShutDownSteps();
  EXPECT_EQ(surface.GetText(ErrorsBox), "");
}

}  // namespace

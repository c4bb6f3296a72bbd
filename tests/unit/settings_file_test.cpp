#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "app_state_fixture.h"
#include "core/app_state.h"
#include "core/text_field.h"
#include "frontend/headless/headless_surface.h"
#include "settings/port_dcb.h"
#include "settings/settings_file.h"
#include "ui/control_ids.h"

namespace {

class SettingsFileTest : public AppStateTest {
 protected:
  // A complete, valid file image with every field distinct.
  static std::vector<uint8_t> SampleImage(const std::string& workingDirectory) {
    std::vector<uint8_t> image(kSettingsFileSize, 0);
    std::memcpy(&image[0], "COM3", 4);
    std::memcpy(&image[5], "19200", 5);
    const uint8_t options[12] = {3, 3, 2, 1, 2, 1, 1, 1, 1, 1, 42, 1};
    std::memcpy(&image[12], options, sizeof options);
    std::memcpy(&image[24], workingDirectory.data(), workingDirectory.size());
    std::memcpy(&image[284], "GETFILE", 7);
    std::memcpy(&image[305], "CHDIR", 5);
    std::memcpy(&image[326], "DIR", 3);
    return image;
  }

  void ExpectDefaultPortPart() {
    EXPECT_STREQ(app.portName, "COM1");
    EXPECT_STREQ(app.baudText, "9600");
    EXPECT_EQ(app.parityIndex, 2);
    EXPECT_EQ(app.byteSizeIndex, 4);
    EXPECT_EQ(app.stopBitsIndex, 0);
    EXPECT_EQ(app.ctsFlow, 0);
    EXPECT_EQ(app.rtsControl, 0);
    EXPECT_EQ(app.dtrControl, 0);
    EXPECT_EQ(app.dsrSensitivity, 0);
    EXPECT_EQ(app.dsrFlow, 0);
    EXPECT_EQ(app.xonXoff, 0);
    EXPECT_EQ(app.portDcb.BaudRate, 9600u);
    EXPECT_EQ(app.portDcb.Parity, dcb::kNoParity);
    EXPECT_EQ(app.portDcb.ByteSize, 8);
  }
};

TEST_F(SettingsFileTest, SavedFileHoldsEveryFieldAtItsOffset) {
  HeadlessSurface surface;
  app.mainWindow = &surface;
  surface.SetText(DelayField, "42");
  CopyText(app.portName, "COM7");
  CopyText(app.baudText, "115200");
  app.parityIndex = 3;
  app.byteSizeIndex = 4;
  app.stopBitsIndex = 2;
  app.ctsFlow = 1;
  app.rtsControl = 3;
  app.dtrControl = 2;
  app.dsrSensitivity = 1;
  app.dsrFlow = 1;
  app.xonXoff = 1;
  app.language = 1;
  app.replyDelay = 7;  // replaced by DelayField
  app.chgdirConfirm = 1;
  std::memset(app.workingDirectory, 'x', sizeof app.workingDirectory);  // garbage past the text
  CopyText(app.workingDirectory, "/some/dir");
  CopyText(app.sendFileCommand, "SEND");
  CopyText(app.changeDirCommand, "CD");
  CopyText(app.sendDirCommand, "LS");
  app.sendDirCommand[20] = 'z';  // command names are written as held

  EXPECT_EQ(SaveSettings(kSettingsFileName), 1);
  EXPECT_EQ(app.replyDelay, 42);
  const std::vector<uint8_t> file = dir_.Read(kSettingsFileName);
  ASSERT_EQ(file.size(), 347u);

  std::vector<uint8_t> expected(347, 0);
  std::memcpy(&expected[0], "COM7", 4);
  std::memcpy(&expected[5], "115200", 6);
  const uint8_t options[12] = {3, 4, 2, 1, 3, 2, 1, 1, 1, 1, 42, 1};
  std::memcpy(&expected[12], options, sizeof options);
  std::memcpy(&expected[24], "/some/dir", 9);
  std::memcpy(&expected[284], "SEND", 4);
  std::memcpy(&expected[305], "CD", 2);
  std::memcpy(&expected[326], "LS", 2);
  expected[346] = 'z';
  EXPECT_EQ(file, expected);
}

TEST_F(SettingsFileTest, RoundTrip) {
  const std::string work = dir_.File("work");
  ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
  dir_.Write(kSettingsFileName, SampleImage(work));
  EXPECT_EQ(LoadSettings(kSettingsFileName), 1);
  EXPECT_STREQ(app.portName, "COM3");
  EXPECT_STREQ(app.baudText, "19200");
  EXPECT_EQ(app.parityIndex, 3);
  EXPECT_EQ(app.byteSizeIndex, 3);
  EXPECT_EQ(app.stopBitsIndex, 2);
  EXPECT_EQ(app.ctsFlow, 1);
  EXPECT_EQ(app.rtsControl, 2);
  EXPECT_EQ(app.dtrControl, 1);
  EXPECT_EQ(app.dsrSensitivity, 1);
  EXPECT_EQ(app.dsrFlow, 1);
  EXPECT_EQ(app.xonXoff, 1);
  EXPECT_EQ(app.language, 1);
  EXPECT_EQ(app.replyDelay, 42);
  EXPECT_EQ(app.chgdirConfirm, 1);
  EXPECT_EQ(std::string(app.workingDirectory), work);
  EXPECT_EQ(CurrentDir(), Canonical(work));
  EXPECT_STREQ(app.sendFileCommand, "GETFILE");
  EXPECT_STREQ(app.changeDirCommand, "CHDIR");
  EXPECT_STREQ(app.sendDirCommand, "DIR");
  EXPECT_EQ(app.portDcb.BaudRate, 19200u);
  EXPECT_EQ(app.portDcb.Parity, dcb::kOddParity);
  EXPECT_EQ(app.portDcb.ByteSize, 7);
  EXPECT_STREQ(app.lastErrorText, "");

  HeadlessSurface surface;
  app.mainWindow = &surface;
  surface.SetText(DelayField, "42");
  EXPECT_EQ(SaveSettings(kSettingsFileName), 1);
  EXPECT_EQ(dir_.Read(kSettingsFileName), SampleImage(work));
}

TEST_F(SettingsFileTest, NoFileGivesDefaultsAndTheFirstSaveMakesTheFile) {
  EXPECT_EQ(LoadSettings(kSettingsFileName), 0);
  ExpectDefaultPortPart();
  EXPECT_EQ(app.language, 0);
  EXPECT_EQ(app.replyDelay, 0);
  EXPECT_EQ(app.chgdirConfirm, 0);
  EXPECT_STREQ(app.workingDirectory, "");
  EXPECT_STREQ(app.sendFileCommand, "");
  // No window yet: the report is only remembered.
  EXPECT_STREQ(app.lastErrorText, "plik z ustawieniami");
  EXPECT_FALSE(dir_.Exists(kSettingsFileName));

  EXPECT_EQ(SaveSettings(kSettingsFileName), 1);
  const std::vector<uint8_t> file = dir_.Read(kSettingsFileName);
  ASSERT_EQ(file.size(), 347u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[0])), "COM1");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[5])), "9600");
  EXPECT_EQ(file[12], 2);
  EXPECT_EQ(file[13], 4);
}

TEST_F(SettingsFileTest, RejectedBaudTextKeepsTheRestOfTheFile) {
  const std::string work = dir_.File("work");
  ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
  for (const char* baud : {"", "abc"}) {
    ClearAppState();
    CopyText(app.startDirectory, dir_.path().c_str());
    std::vector<uint8_t> image = SampleImage(work);
    std::memset(&image[5], 0, 7);
    std::memcpy(&image[5], baud, std::strlen(baud));
    dir_.Write(kSettingsFileName, image);
    EXPECT_EQ(LoadSettings(kSettingsFileName), 0) << baud;
    ExpectDefaultPortPart();
    // The report is in the file's language.
    EXPECT_STREQ(app.lastErrorText, "settings file");
    EXPECT_EQ(app.language, 1);
    EXPECT_EQ(app.replyDelay, 42);
    EXPECT_EQ(app.chgdirConfirm, 1);
    EXPECT_EQ(std::string(app.workingDirectory), work);
    EXPECT_STREQ(app.sendFileCommand, "GETFILE");
    EXPECT_STREQ(app.changeDirCommand, "CHDIR");
    EXPECT_STREQ(app.sendDirCommand, "DIR");
  }
}

TEST_F(SettingsFileTest, LanguageOutOfRangeLoadsAsPolish) {
  std::vector<uint8_t> image = SampleImage(dir_.path());
  image[21] = 7;
  dir_.Write(kSettingsFileName, image);
  EXPECT_EQ(LoadSettings(kSettingsFileName), 1);
  EXPECT_EQ(app.language, 0);
}

TEST_F(SettingsFileTest, OutOfRangeOptionIsKeptAndSavedUnchanged) {
  std::vector<uint8_t> image = SampleImage(dir_.path());
  image[12] = 9;    // parity
  image[14] = 255;  // stop bits
  dir_.Write(kSettingsFileName, image);
  EXPECT_EQ(LoadSettings(kSettingsFileName), 1);
  EXPECT_EQ(app.parityIndex, 9);
  EXPECT_EQ(app.stopBitsIndex, 255);
  EXPECT_EQ(app.portDcb.Parity, dcb::kNoParity);
  EXPECT_EQ(app.portDcb.StopBits, dcb::kOneStopBit);

  HeadlessSurface surface;
  app.mainWindow = &surface;
  surface.SetText(DelayField, "42");
  SaveSettings(kSettingsFileName);
  EXPECT_EQ(dir_.Read(kSettingsFileName), image);
}

TEST_F(SettingsFileTest, VanishedDirectoryLoadsAsTheStartDirectory) {
  const std::string gone = dir_.File("gone");
  ASSERT_EQ(mkdir(gone.c_str(), 0700), 0);
  CopyText(app.baudText, "9600");
  CopyText(app.workingDirectory, gone.c_str());
  SaveSettings(kSettingsFileName);
  ASSERT_EQ(rmdir(gone.c_str()), 0);
  const std::string before = CurrentDir();

  ClearAppState();
  CopyText(app.startDirectory, dir_.path().c_str());
  EXPECT_EQ(LoadSettings(kSettingsFileName), 1);
  EXPECT_EQ(std::string(app.workingDirectory), dir_.path());
  EXPECT_EQ(CurrentDir(), before);
  EXPECT_STREQ(app.lastErrorText, "");
}

TEST_F(SettingsFileTest, DelayIsTheLowByteOfDelayField) {
  HeadlessSurface surface;
  app.mainWindow = &surface;
  app.replyDelay = 9;
  surface.SetText(DelayField, "");
  SaveSettings(kSettingsFileName);
  EXPECT_EQ(app.replyDelay, 0);
  EXPECT_EQ(dir_.Read(kSettingsFileName).at(22), 0);

  surface.SetText(DelayField, "300");
  SaveSettings(kSettingsFileName);
  EXPECT_EQ(app.replyDelay, 300 % 256);
  EXPECT_EQ(dir_.Read(kSettingsFileName).at(22), 300 % 256);

  // During the reply countdown the field shows the seconds left: closing keeps the delay.
  const uint8_t timer = StartReplyTimer();
  app.replyDelay = 30;
  surface.SetText(DelayField, "17");
  SaveSettings(kSettingsFileName);
  EXPECT_EQ(app.replyDelay, 30);
  EXPECT_EQ(dir_.Read(kSettingsFileName).at(22), 30);
  KillReplyTimer(timer);
  SaveSettings(kSettingsFileName);
  EXPECT_EQ(app.replyDelay, 17);
  surface.SetText(DelayField, "");

  // Without a main window there is no number: the delay becomes 0.
  app.mainWindow = nullptr;
  SaveSettings(kSettingsFileName);
  EXPECT_EQ(dir_.Read(kSettingsFileName).at(22), 0);
}

TEST_F(SettingsFileTest, ShortFileCountsAsMissing) {
  std::vector<uint8_t> image = SampleImage(dir_.path());
  image.resize(346);
  dir_.Write(kSettingsFileName, image);
  EXPECT_EQ(LoadSettings(kSettingsFileName), 0);
  ExpectDefaultPortPart();
  EXPECT_EQ(app.language, 0);
  EXPECT_EQ(app.replyDelay, 0);
  EXPECT_STREQ(app.workingDirectory, "");
  EXPECT_STREQ(app.sendFileCommand, "");
  EXPECT_STREQ(app.lastErrorText, "plik z ustawieniami");

  // Saving replaces it with a whole file.
  SaveSettings(kSettingsFileName);
  EXPECT_EQ(dir_.Read(kSettingsFileName).size(), 347u);
}

TEST_F(SettingsFileTest, LongerFileIsReadForItsFirstBytes) {
  std::vector<uint8_t> image = SampleImage(dir_.path());
  image.resize(400, 'q');
  dir_.Write(kSettingsFileName, image);
  EXPECT_EQ(LoadSettings(kSettingsFileName), 1);
  EXPECT_STREQ(app.sendDirCommand, "DIR");
}

// Every text but the port name is cut at its width; a port name may fill its five bytes.
TEST_F(SettingsFileTest, TextFieldsWithoutTerminatorAreCutAtTheirWidthButThePortName) {
  std::vector<uint8_t> image(kSettingsFileSize, 0);
  std::memcpy(&image[0], "COM12", 5);
  std::memcpy(&image[5], "1234567", 7);
  std::memset(&image[24], 'd', 260);
  std::memset(&image[284], 'a', 21);
  std::memset(&image[305], 'b', 21);
  std::memset(&image[326], 'c', 21);
  image[13] = 4;
  dir_.Write(kSettingsFileName, image);
  EXPECT_EQ(LoadSettings(kSettingsFileName), 1);
  EXPECT_EQ(std::string(app.portName, sizeof app.portName), "COM12");
  EXPECT_STREQ(app.baudText, "123456");
  EXPECT_EQ(app.portDcb.BaudRate, 123456u);
  // The cut directory does not exist.
  EXPECT_EQ(std::string(app.workingDirectory), dir_.path());
  EXPECT_EQ(std::string(app.sendFileCommand), std::string(20, 'a'));
  EXPECT_EQ(std::string(app.changeDirCommand), std::string(20, 'b'));
  EXPECT_EQ(std::string(app.sendDirCommand), std::string(20, 'c'));

  // Saved as loaded: the five bytes of the port, the baud rate right after them.
  HeadlessSurface surface;
  app.mainWindow = &surface;
  EXPECT_EQ(SaveSettings(kSettingsFileName), 1);
  const std::vector<uint8_t> saved = dir_.Read(kSettingsFileName);
  EXPECT_EQ(std::string(saved.begin(), saved.begin() + 12), "COM12123456" + std::string(1, 0));
}

TEST_F(SettingsFileTest, SaveThatCannotCreateReportsAndKeepsTheOldFile) {
  HeadlessSurface surface;
  app.mainWindow = &surface;
  app.language = 1;
  const std::string target = dir_.File("blocked");
  ASSERT_EQ(mkdir(target.c_str(), 0700), 0);  // a directory cannot be opened as the file
  EXPECT_EQ(SaveSettings("blocked"), 1);
  EXPECT_STREQ(app.lastErrorText, "opening settings file");
  EXPECT_EQ(surface.GetText(LastErrorSourceField), "opening settings file");

  // A file held by someone else is left as it was.
  dir_.Write(kSettingsFileName, "old");
  auto holder = platform::File::Open(dir_.File(kSettingsFileName).c_str(),
                                     platform::FileMode::kReadExclusive);
  ASSERT_TRUE(holder);
  app.lastErrorText[0] = 0;
  EXPECT_EQ(SaveSettings(kSettingsFileName), 1);
  EXPECT_STREQ(app.lastErrorText, "opening settings file");
  holder->Close();
  EXPECT_EQ(dir_.Read(kSettingsFileName), Bytes("old"));
}

TEST_F(SettingsFileTest, PipeAsSettingsFileGivesTheDefaultsWithoutWaiting) {
  ASSERT_EQ(mkfifo(dir_.File(kSettingsFileName).c_str(), 0600), 0);
  EXPECT_EQ(LoadSettings(kSettingsFileName), 0);
  EXPECT_STREQ(app.lastErrorText, "plik z ustawieniami");
  ExpectDefaultPortPart();
}

// A full disk: the write fails past the first bytes. The old settings stay whole, the failure is
// reported, and nothing is left beside them.
TEST_F(SettingsFileTest, FailedWriteKeepsTheOldFileAndIsReported) {
  HeadlessSurface surface;
  app.mainWindow = &surface;
  app.language = 1;
  const std::vector<uint8_t> old = SampleImage(dir_.path());
  dir_.Write(kSettingsFileName, old);

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 100;
  std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_EQ(SaveSettings(kSettingsFileName), 1);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);

  EXPECT_STREQ(app.lastErrorText, "opening settings file");
  EXPECT_NE(surface.GetText(ErrorsBox).find("(C:27) opening settings file"), std::string::npos);
  EXPECT_EQ(dir_.Read(kSettingsFileName), old);
  EXPECT_FALSE(dir_.Exists(std::string(kSettingsFileName) + ".new"));

  // With room again the save goes through and replaces the file.
  surface.SetText(DelayField, "5");
  EXPECT_EQ(SaveSettings(kSettingsFileName), 1);
  EXPECT_EQ(dir_.Read(kSettingsFileName).size(), kSettingsFileSize);
  EXPECT_EQ(dir_.Read(kSettingsFileName)[22], 5);
}

}  // namespace

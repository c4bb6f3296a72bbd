#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/text_field.h"
#include "frontend/headless/headless_forms.h"
#include "frontend/headless/headless_surface.h"
#include "settings/settings_dialog.h"
#include "settings/settings_file.h"
#include "support/pty_pair.h"
#include "ui/control_ids.h"

namespace {

const char kSendFileRefusal[] = "Zła nazwa komendy do wysłania pliku";
const char kChangeDirRefusal[] = "Zła nazwa komendy do zmiany katalogu";
const char kSendDirRefusal[] = "Zła nazwa komendy do wysłania zawartości katalogu";

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearAppState();
    CopyText(app.startDirectory, dir_.path().c_str());
    app.mainWindow = &surface_;
    hooks_.showRefusal = [this](const char* text) { refusals_.push_back(text); };
  }
  void TearDown() override { app.mainWindow = nullptr; }

  void Open() { OpenSettingsDialog(&dialog_); }
  void Names(const std::string& sendFile, const std::string& changeDir,
             const std::string& sendDir) {
    ASSERT_TRUE(TypeSettingsCommandName(&dialog_, SettingsSendFileEdit, sendFile));
    ASSERT_TRUE(TypeSettingsCommandName(&dialog_, SettingsChangeDirEdit, changeDir));
    ASSERT_TRUE(TypeSettingsCommandName(&dialog_, SettingsSendDirEdit, sendDir));
  }
  bool Command(int id) { return SettingsDialogCommand(&dialog_, id, hooks_); }
  bool SettingsSaved() const { return dir_.Exists(kSettingsFileName); }

  TempDir dir_;
  HeadlessSurface surface_;
  SettingsDialogState dialog_;
  SettingsDialogHooks hooks_;
  std::vector<std::string> refusals_;
};

TEST_F(SettingsDialogTest, NameThatBeginsAnotherIsRefusedWithItsOwnCommandsMessage) {
  Open();
  // The shorter name in the send-file edit: refused first, nothing copied.
  Names("send", "", "sendfile");
  EXPECT_FALSE(ApplySettings(&dialog_, hooks_));
  ASSERT_EQ(refusals_, std::vector<std::string>{kSendFileRefusal});
  EXPECT_STREQ(app.sendFileCommand, "");
  EXPECT_STREQ(app.commandNameInput[0], "send");
  EXPECT_STREQ(app.commandNameInput[2], "sendfile");

  // The same pair the other way round: the longer one passes, the shorter one is refused with
  // the directory-content message.
  refusals_.clear();
  Names("sendfile", "", "send");
  EXPECT_FALSE(ApplySettings(&dialog_, hooks_));
  ASSERT_EQ(refusals_, std::vector<std::string>{kSendDirRefusal});
  EXPECT_STREQ(app.sendFileCommand, "sendfile");
  EXPECT_STREQ(app.changeDirCommand, "");
  EXPECT_STREQ(app.sendDirCommand, "");

  // In the middle edit, compared with letters folded.
  refusals_.clear();
  Names("sendfile", "SEND", "list");
  EXPECT_FALSE(ApplySettings(&dialog_, hooks_));
  ASSERT_EQ(refusals_, std::vector<std::string>{kChangeDirRefusal});
  EXPECT_FALSE(SettingsSaved());
}

TEST_F(SettingsDialogTest, CaseFoldingCoversAsciiLettersOnly) {
  Open();
  Names("Get", "gET", "");
  EXPECT_FALSE(ApplySettings(&dialog_, hooks_));
  EXPECT_EQ(refusals_, std::vector<std::string>{kSendFileRefusal});

  // Ś and ś are different letters to the comparison.
  refusals_.clear();
  Names("Śląsk", "śląsk", "ŚLĄSK2");
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  EXPECT_TRUE(refusals_.empty());
  EXPECT_STREQ(app.changeDirCommand, "śląsk");
}

TEST_F(SettingsDialogTest, RefusalsFollowTheLanguage) {
  app.language = 1;
  Open();
  Names("a", "ab", "");
  EXPECT_FALSE(ApplySettings(&dialog_, hooks_));
  EXPECT_EQ(refusals_, std::vector<std::string>{"Bad name of command to send file"});
}

TEST_F(SettingsDialogTest, EmptyNamesAndTwentyCharacterNamesAreStoredWhole) {
  CopyText(app.sendFileCommand, "old");
  Open();
  Names("", "", "");
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  EXPECT_STREQ(app.sendFileCommand, "");
  EXPECT_TRUE(SettingsSaved());
  EXPECT_EQ(dir_.Read(kSettingsFileName).size(), kSettingsFileSize);

  // The edit takes 20 characters; all of them reach the 21-byte field.
  Names("abcdefghijklmnopqrstuvwxyz", "", "");
  EXPECT_EQ(dialog_.sendFileEdit, "abcdefghijklmnopqrst");
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  EXPECT_STREQ(app.sendFileCommand, "abcdefghijklmnopqrst");
  Open();
  EXPECT_EQ(dialog_.sendFileEdit, "abcdefghijklmnopqrst");
}

TEST_F(SettingsDialogTest, OpeningShowsTheStoredSettings) {
  CopyText(app.portName, "com3");
  CopyText(app.baudText, "192");
  app.parityIndex = 4;
  app.byteSizeIndex = 5;  // past the list
  app.stopBitsIndex = 255;
  app.dtrControl = 2;
  app.rtsControl = 3;
  app.language = 1;
  app.dsrFlow = 1;
  app.chgdirConfirm = 7;
  CopyText(app.changeDirCommand, "cd");
  Open();

  EXPECT_EQ(dialog_.port.entries.size(), 255u);
  EXPECT_EQ(dialog_.port.entries[254], "COM255");
  EXPECT_EQ(dialog_.port.selected, 2);
  EXPECT_EQ(dialog_.port.text, "COM3");
  EXPECT_EQ(dialog_.baud.text, "19200");  // the first entry that begins with it
  EXPECT_EQ(dialog_.parity.text, "Space");
  EXPECT_EQ(dialog_.byteLength.selected, -1);
  EXPECT_EQ(dialog_.byteLength.text, "");
  EXPECT_EQ(dialog_.stopBits.selected, -1);
  EXPECT_EQ(dialog_.dtr.text, "Handshake");
  EXPECT_EQ(dialog_.rts.text, "Toggle");
  EXPECT_EQ(dialog_.language.text, "English");
  EXPECT_TRUE(dialog_.dsr);
  EXPECT_TRUE(dialog_.confirm);
  EXPECT_FALSE(dialog_.cts);
  EXPECT_EQ(dialog_.changeDirEdit, "cd");
  EXPECT_STREQ(SettingsDialogLabel(dialog_, SettingsCancelButton), "Cancel");
  EXPECT_STREQ(SettingsDialogLabel(dialog_, SettingsByteLengthGroup), "Byte length");
  EXPECT_EQ(SettingsDialogLabel(dialog_, SettingsOkButton), nullptr);

  // Nothing stored that no entry begins with: the box is empty.
  CopyText(app.portName, "LPT1");
  CopyText(app.baudText, "");
  Open();
  EXPECT_EQ(dialog_.port.selected, -1);
  EXPECT_EQ(dialog_.port.text, "");
  EXPECT_EQ(dialog_.baud.selected, -1);
  EXPECT_EQ(dialog_.baud.text, "");
}

TEST_F(SettingsDialogTest, ApplyStoresEverythingRebuildsSavesAndRelabels) {
  Open();
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsBaudBox, 9));  // 19200
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsParityBox, 3));
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsByteLengthBox, 4));
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsStopBitsBox, 2));
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsDtrBox, 1));
  ASSERT_TRUE(TypeSettingsComboText(&dialog_, SettingsRtsBox, "Enable"));  // typed: no entry
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsLanguageBox, 1));
  ASSERT_TRUE(SetSettingsCheck(&dialog_, SettingsCtsCheck, true));
  ASSERT_TRUE(SetSettingsCheck(&dialog_, SettingsXonXoffCheck, true));
  ASSERT_TRUE(SetSettingsCheck(&dialog_, SettingsConfirmCheck, true));
  EXPECT_FALSE(SetSettingsCheck(&dialog_, SettingsPortBox, true));
  EXPECT_FALSE(SelectSettingsEntry(&dialog_, SettingsParityBox, 5));

  EXPECT_FALSE(Command(SettingsApplyButton));  // Apply alone keeps the dialog open
  EXPECT_TRUE(dialog_.open);
  EXPECT_STREQ(app.portName, "");  // the port box showed nothing
  EXPECT_STREQ(app.baudText, "19200");
  EXPECT_EQ(app.parityIndex, 3);
  EXPECT_EQ(app.byteSizeIndex, 4);
  EXPECT_EQ(app.stopBitsIndex, 2);
  EXPECT_EQ(app.dtrControl, 1);
  EXPECT_EQ(app.rtsControl, 255);
  EXPECT_EQ(app.language, 1);
  EXPECT_EQ(app.ctsFlow, 1);
  EXPECT_EQ(app.xonXoff, 1);
  EXPECT_EQ(app.chgdirConfirm, 1);
  EXPECT_EQ(app.dsrFlow, 0);
  EXPECT_EQ(app.portDcb.BaudRate, 19200u);
  EXPECT_EQ(app.portDcb.Parity, 1);  // odd
  EXPECT_TRUE(SettingsSaved());
  EXPECT_EQ(surface_.GetText(HelpButton), "Help");
  // The dialog keeps the labels of its opening.
  EXPECT_STREQ(SettingsDialogLabel(dialog_, SettingsApplyButton), "Zastosuj");
}

TEST_F(SettingsDialogTest, PortsUpToCom99AreStoredWholeAndLongerNamesAreRefused) {
  Open();
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsPortBox, 11));
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsBaudBox, 7));  // 9600
  EXPECT_EQ(dialog_.port.text, "COM12");
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  EXPECT_EQ(std::string(app.portName, sizeof app.portName), "COM12");
  // Five bytes in the file with no terminator; the baud rate follows at once.
  std::vector<uint8_t> saved = dir_.Read(kSettingsFileName);
  ASSERT_EQ(saved.size(), 347u);
  EXPECT_EQ(std::string(saved.begin(), saved.begin() + 9), std::string("COM129600", 9));
  Open();
  EXPECT_EQ(dialog_.port.selected, 11);
  EXPECT_EQ(dialog_.port.text, "COM12");

  // COM100 would be cut to COM10: refused before anything is stored or saved.
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsPortBox, 99));
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsParityBox, 4));
  Names("get", "", "");
  app.settingsCloseAfterApply = 1;
  EXPECT_FALSE(ApplySettings(&dialog_, hooks_));
  EXPECT_EQ(refusals_,
            std::vector<std::string>{"Zła nazwa portu: najwyżej 5 znaków (COM1 do COM99)"});
  EXPECT_EQ(app.settingsCloseAfterApply, 0);
  EXPECT_TRUE(dialog_.open);
  EXPECT_EQ(std::string(app.portName, sizeof app.portName), "COM12");
  EXPECT_NE(app.parityIndex, 4);
  EXPECT_STREQ(app.sendFileCommand, "");
  EXPECT_EQ(dir_.Read(kSettingsFileName), saved);

  // A port of one digit keeps its terminator, byte for byte as before.
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsPortBox, 8));
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  saved = dir_.Read(kSettingsFileName);
  EXPECT_EQ(std::string(saved.begin(), saved.begin() + 9), std::string("COM9\0009600", 9));
}

TEST_F(SettingsDialogTest, ApplyWithNoLanguageChosenKeepsTheLanguageInForce) {
  app.language = 1;
  Open();
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsLanguageBox, -1));
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  EXPECT_EQ(app.language, 1);
  EXPECT_EQ(surface_.GetText(HelpButton), "Help");
  EXPECT_EQ(dir_.Read(kSettingsFileName).at(21), 1);
  Open();
  ASSERT_TRUE(TypeSettingsComboText(&dialog_, SettingsLanguageBox, "Deutsch"));
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  EXPECT_EQ(app.language, 1);
}

TEST_F(SettingsDialogTest, TypedBaudRateIsKeptThenShowsEmptyOnReopen) {
  Open();
  ASSERT_TRUE(TypeSettingsComboText(&dialog_, SettingsBaudBox, "31250"));
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  EXPECT_STREQ(app.baudText, "31250");
  Open();
  EXPECT_EQ(dialog_.baud.selected, -1);
  EXPECT_EQ(dialog_.baud.text, "");
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  EXPECT_STREQ(app.baudText, "");

  Open();
  ASSERT_TRUE(TypeSettingsComboText(&dialog_, SettingsBaudBox, "12345678"));
  EXPECT_TRUE(ApplySettings(&dialog_, hooks_));
  EXPECT_STREQ(app.baudText, "123456");
}

TEST_F(SettingsDialogTest, OkWithRefusedNameStaysOpenAndCancelKeepsWhatWasApplied) {
  CopyText(app.changeDirCommand, "old");
  app.parityIndex = 2;
  Open();
  Names("get", "c", "cd");
  ASSERT_TRUE(SelectSettingsEntry(&dialog_, SettingsParityBox, 0));
  EXPECT_FALSE(Command(SettingsOkButton));
  EXPECT_TRUE(dialog_.open);
  EXPECT_EQ(app.settingsCloseAfterApply, 0);
  EXPECT_EQ(refusals_, std::vector<std::string>{kChangeDirRefusal});
  EXPECT_STREQ(app.sendFileCommand, "get");
  EXPECT_STREQ(app.changeDirCommand, "old");
  EXPECT_EQ(app.parityIndex, 2);

  EXPECT_TRUE(Command(SettingsCancelButton));
  EXPECT_FALSE(dialog_.open);
  EXPECT_STREQ(app.sendFileCommand, "get");
  EXPECT_EQ(app.parityIndex, 2);

  // OK with accepted names closes after applying.
  Open();
  Names("get", "cd", "dir");
  EXPECT_TRUE(Command(SettingsOkButton));
  EXPECT_STREQ(app.sendDirCommand, "dir");
}

TEST_F(SettingsDialogTest, EscapeClosesAsCancelAndUnknownCommandsAreIgnored) {
  Open();
  Names("x", "y", "z");
  EXPECT_FALSE(Command(SettingsPortBox));
  EXPECT_FALSE(Command(1));
  EXPECT_TRUE(dialog_.open);
  EXPECT_TRUE(Command(kStandardCancelCommand));
  EXPECT_FALSE(dialog_.open);
  EXPECT_STREQ(app.sendFileCommand, "");
  EXPECT_FALSE(SettingsSaved());
  EXPECT_FALSE(Command(SettingsApplyButton));  // a closed dialog takes no commands
  EXPECT_STREQ(app.sendFileCommand, "");
}

TEST_F(SettingsDialogTest, HeadlessDialogFollowsTheScript) {
  std::ostringstream out;
  std::string error;
  auto run = [&](std::vector<std::string> words) {
    error.clear();
    EXPECT_TRUE(RunFormsCommand(words, out, &error));
  };
  run({"settings", "apply"});
  EXPECT_EQ(error, "the settings dialog is not open");
  OpenHeadlessSettingsDialog();
  run({"settings", "set", "port", "com12"});
  EXPECT_EQ(error, "");
  run({"settings", "set", "parity", "#1"});
  run({"settings", "type", "baud", "3\\x300"});  // script escapes stand for their bytes
  run({"settings", "set", "xonxoff", "1"});
  run({"settings", "set", "sendfile", "get"});
  run({"settings", "set", "senddir", "ge"});
  run({"settings", "set", "language", "Klingon"});
  EXPECT_NE(error, "");
  run({"settings", "ok"});
  EXPECT_NE(out.str().find("settings refused\nsettings open\n"), std::string::npos);
  run({"settings", "set", "senddir", "dir"});
  run({"settings", "ok"});
  EXPECT_NE(out.str().find("settings applied\nsettings closed\n"), std::string::npos);
  EXPECT_EQ(std::string(app.portName, sizeof app.portName), "COM12");
  EXPECT_STREQ(app.baudText, "300");
  EXPECT_EQ(app.parityIndex, 1);
  EXPECT_EQ(app.xonXoff, 1);
  EXPECT_STREQ(app.sendDirCommand, "dir");

  out.str("");
  run({"settings", "open"});
  run({"settings", "print"});
  EXPECT_NE(out.str().find("port 1085: \"COM12\" (entry 11 of 255)\n"), std::string::npos);
  EXPECT_NE(out.str().find("baud 1083: \"300\" (entry 2 of 16)\n"), std::string::npos);
  EXPECT_NE(out.str().find("xonxoff 1099: checked\n"), std::string::npos);
  run({"settings", "escape"});
  EXPECT_NE(out.str().find("settings closed\n"), std::string::npos);
  EXPECT_FALSE(RunFormsCommand({"frobnicate"}, out, &error));
}

}  // namespace

// The main window's own behaviour through the headless front end, and verification over the line.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "frontend/frontend_fixture.h"
#include "frontend/headless/headless_driver.h"
#include "frontend/headless/headless_forms.h"
#include "ui/main_window.h"

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

std::string CurrentDirectory() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

}  // namespace

TEST_F(FrontEndTest, LabelsFollowTheLanguageAndHelpIsPolish) {
  Options options;
  options.withPort = false;
  options.language = 0;
  Start(options);
  EXPECT_EQ(Text(ViewHexButton), "Zobacz plik (hexa)");
  EXPECT_EQ(Text(ViewTextButton), "Zobacz plik (tekst)");
  EXPECT_EQ(Text(DelayLabel), "Czas do wysłania");
  EXPECT_EQ(Text(CurrentDirGroup), "Bieżący katalog");
  EXPECT_EQ(Text(ExitButton), "Wyjście");
  EXPECT_EQ(Text(CtsLamp), "CTS");
  // Template texts that the routine clears.
  EXPECT_EQ(Text(FileCaption), "");
  EXPECT_EQ(Text(CountLabel), "");
  EXPECT_EQ(Text(LastErrorSourceField), "");
  EXPECT_EQ(Text(CurrentDirField), dir_.path());
  EXPECT_EQ(surface().Read(DelayField).textLimit, 2);
  EXPECT_EQ(surface().Read(StartStopButton).image, StartImage);

  program().RunOnWindow([] {
    app.language = 1;
    SetMainWindowLabels();
  });
  EXPECT_EQ(Text(ViewHexButton), "View hexa");
  EXPECT_EQ(Text(ListenGroup), "Listen");
  EXPECT_EQ(Text(CommStatusGroup), "Communication status");
  EXPECT_EQ(Text(VerifyButton), "Verification");
  program().RunOnWindow([] {
    app.language = 7;
    SetMainWindowLabels();
  });
  EXPECT_EQ(Text(SettingsButton), "ERROR");

  // Context help stays Polish; a control without help shows nothing.
  program().AskHelp(ErrorsBox);
  program().AskHelp(ExitButton);
  program().AskHelp(LastErrorCodeField);
  std::vector<ShownMessage> shown = ShownMessages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, "Okno błędów");
  EXPECT_EQ(shown[0].text.rfind("Błędy, które wystąpiły", 0), 0u);
  EXPECT_EQ(shown[1].caption, "Ostatni błąd");
}

TEST_F(FrontEndTest, ChoosingFilesMovesTheCurrentDirectoryAndSetsTheDirection) {
  Options options;
  options.withPort = false;
  Start(options);
  ASSERT_EQ(mkdir(dir_.File("out").c_str(), 0755), 0);
  dir_.Write("out/old.nc", "old content");

  Choose(ReceiveFileButton, dir_.File("out/old.nc"));
  EXPECT_EQ(CurrentDirectory(), dir_.File("out"));
  EXPECT_EQ(Text(CurrentDirField), dir_.File("out"));
  EXPECT_EQ(Text(FileCaption), "Receive file to old.nc");
  EXPECT_EQ(Text(CountLabel), "Bytes received");
  EXPECT_EQ(app.transferMode.load(), 1);
  EXPECT_STREQ(app.openFilePath, dir_.File("out/old.nc").c_str());
  EXPECT_TRUE(dir_.Read("out/old.nc").empty());  // created anew

  // A relative name is taken from the folder the last dialog left current.
  dir_.Write("out/next.nc", "x");
  Choose(SendFileButton, "next.nc");
  EXPECT_STREQ(app.openFilePath, dir_.File("out/next.nc").c_str());
  EXPECT_EQ(Text(FileCaption), "Send file next.nc");
  EXPECT_EQ(app.transferMode.load(), 0);

  // A file that cannot be opened is reported and the dialog comes back; cancelling it keeps
  // the file chosen before.
  QueueFileDialogPath(dir_.File("missing.nc"));
  QueueFileDialogCancel();
  Press(SendFileButton);
  EXPECT_EQ(ShownFileDialogs().size(), 4u);
  EXPECT_NE(Text(ErrorsBox).find("invalid file"), std::string::npos);
  EXPECT_STREQ(app.openFilePath, dir_.File("out/next.nc").c_str());
  EXPECT_EQ(Text(FileCaption), "Send file next.nc");
  EXPECT_EQ(app.transferMode.load(), 0);
}

TEST_F(FrontEndTest, LongCaptionIsCutToItsField) {
  Options options;
  options.withPort = false;
  Start(options);
  const std::string name(70, 'n');
  dir_.Write(name, "x");
  Choose(SendFileButton, dir_.File(name));
  EXPECT_EQ(Text(FileCaption), ("Send file " + name).substr(0, kCaptionWidth - 1));
  EXPECT_STREQ(app.openFileTitle, name.c_str());
}

TEST_F(FrontEndTest, ViewAndHelpReportEmptyMissingFiles) {
  Options options;
  options.withPort = false;
  Start(options);
  dir_.Write("empty.nc", "");
  Choose(SendFileButton, dir_.File("empty.nc"));
  Press(ViewTextButton);
  dir_.Write("full.nc", "abc");
  Choose(SendFileButton, dir_.File("full.nc"));
  ::unlink(dir_.File("full.nc").c_str());
  Press(ViewHexButton);
  Press(HelpButton);
  std::vector<ShownMessage> shown = ShownMessages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "File empty");
  EXPECT_EQ(shown[1].text, "Invalid file");
  EXPECT_EQ(shown[2].text, "Can't open help file");
}

// The viewer holds nobody off: the file it shows can be chosen to receive into (created anew).
TEST_F(FrontEndTest, FileShownInTheViewerCanBeReceivedInto) {
  Options options;
  options.withPort = false;
  Start(options);
  dir_.Write("part.nc", "G01\r\n");
  Choose(SendFileButton, dir_.File("part.nc"));
  Press(ViewTextButton);
  ASSERT_TRUE(HeadlessViewerShown());
  Choose(ReceiveFileButton, dir_.File("part.nc"));
  EXPECT_EQ(Text(ErrorsBox), "");
  EXPECT_EQ(Text(FileCaption), "Receive file to part.nc");
  EXPECT_EQ(app.transferMode.load(), 1);
  EXPECT_TRUE(dir_.Read("part.nc").empty());
}

TEST_F(FrontEndTest, CloseAsksAndYesSavesSettingsAndDeletesTheTempFile) {
  Options options;
  options.withPort = false;
  options.replyDelay = 4;
  Start(options);
  dir_.Write("wer3.tmp", "left over");
  program().RunOnWindow(
      [&] { std::snprintf(app.tempFilePath, kPathWidth, "%s", dir_.File("wer3.tmp").c_str()); });
  program().Type(DelayField, "17");

  QueueMessageAnswer(MessageAnswer::kNo);
  Press(ExitButton);
  EXPECT_TRUE(program().WindowOpen());
  EXPECT_TRUE(dir_.Exists("wer3.tmp"));

  QueueMessageAnswer(MessageAnswer::kYes);
  program().Close();
  EXPECT_TRUE(program().WaitClosed(std::chrono::seconds(10)));
  std::vector<ShownMessage> shown = ShownMessages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "Do you want to close application?");
  EXPECT_EQ(shown[1].caption, "Quit");
  EXPECT_FALSE(dir_.Exists("wer3.tmp"));
  std::string settings = ReadWhole(dir_.File("tazo.ini"));
  ASSERT_EQ(settings.size(), 347u);
  EXPECT_EQ(static_cast<uint8_t>(settings[22]), 17);  // the reply delay, taken from the field
}

TEST_F(FrontEndTest, ChoosingAFileWhileListeningEndsListenMode) {
  Start(Options());
  dir_.Write("part.nc", "abc");
  Press(ListenButton);
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  Choose(SendFileButton, dir_.File("part.nc"));
  EXPECT_EQ(app.listenMode.load(), 0);
  EXPECT_FALSE(surface().IsChecked(ListenButton));
  EXPECT_FALSE(surface().IsEnabled(ListenGroup));
  EXPECT_EQ(app.transferMode.load(), 0);
  // The run ends before its reset enables the buttons again.
  EXPECT_TRUE(WaitFor(
      [&] { return app.transferRunning.load() == 0 && surface().IsEnabled(SettingsButton); }));
}

// Identical files give the similar line, logged once; VerifyButton while waiting ends
// verification without a line and restores the open file and the direction.
TEST_F(FrontEndTest, VerificationOverTheLine) {
  Start(Options());
  const std::string content = "N10 G00 X0\r\nN20 M30\r\n";
  dir_.Write("part.nc", content);
  Choose(SendFileButton, dir_.File("part.nc"));

  Press(VerifyButton);
  EXPECT_TRUE(surface().IsChecked(VerifyButton));
  ASSERT_TRUE(WaitFor([] { return app.transferRunning.load() == 1 && app.portHandle.IsOpen(); }));
  peer().Write(content + "\x03");
  ASSERT_TRUE(
      WaitFor([&] { return Text(ErrorsBox).find("files are similar\r\n") != std::string::npos; }));
  // The comparison and the end of verification run on the engine's thread.
  ASSERT_TRUE(HeadlessApp::WaitForEngines(std::chrono::seconds(20)));
  EXPECT_EQ(app.verifyOn.load(), 0);
  EXPECT_TRUE(WaitFor([&] { return !dir_.Exists("wer0.tmp"); }));
  EXPECT_STREQ(app.openFilePath, dir_.File("part.nc").c_str());
  EXPECT_EQ(app.transferMode.load(), 0);
  EXPECT_FALSE(surface().IsChecked(VerifyButton));
  EXPECT_EQ(CountOf(ReadWhole(dir_.File("log.txt")), "files are similar"), 1);

  Press(VerifyButton);
  ASSERT_TRUE(WaitFor([] { return app.transferRunning.load() == 1 && app.portHandle.IsOpen(); }));
  const std::string boxBefore = Text(ErrorsBox);
  Press(VerifyButton);
  EXPECT_EQ(app.verifyOn.load(), 0);
  EXPECT_EQ(app.transferRunning.load(), 0);
  EXPECT_STREQ(app.openFilePath, dir_.File("part.nc").c_str());
  EXPECT_EQ(app.transferMode.load(), 0);
  EXPECT_FALSE(surface().IsChecked(VerifyButton));
  EXPECT_EQ(Text(ErrorsBox).find("similar"), std::string::npos);
  EXPECT_EQ(Text(ErrorsBox).find("different"), std::string::npos);
  EXPECT_TRUE(WaitFor([&] { return !dir_.Exists("wer0.tmp"); }));
}

// The driver's script reaches the same handlers; a deadline that passes fails with its line.
TEST_F(FrontEndTest, DriverScriptRunsAndReportsItsFailingLine) {
  Options options;
  options.withPort = false;
  Start(options);
  dir_.Write("a.nc", "abc");
  std::istringstream script("# choose and check\ndialog " + dir_.File("a.nc") +
                            "\npress SendFileButton\nwait-text FileCaption 5000 Send file a.nc\n"
                            "type DelayField 4x2\nprint DelayField\n"
                            "wait-contains ErrorsBox 50 never\n");
  std::ostringstream out;
  EXPECT_EQ(RunHeadlessScript(program(), script, out, DriverOptions()), 1);
  EXPECT_NE(out.str().find("DelayField: text=\"42\""), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("line 7: deadline of 50 ms passed"), std::string::npos) << out.str();

  std::istringstream unknown("press NoSuchButton\n");
  EXPECT_EQ(RunHeadlessScript(program(), unknown, out, DriverOptions()), 1);
  EXPECT_NE(out.str().find("line 1: unknown control \"NoSuchButton\""), std::string::npos);
}

// Whole listen cycles driven through the main window, with the test playing the machine tool.

#include <sys/stat.h>

#include <algorithm>

#include "frontend/frontend_fixture.h"
#include "platform/system.h"

namespace {

const std::string kEnd(1, '\x03');

std::string Command(const std::string& line) {
  return "%MPF999\r\n" + line + "\r\n" + kEnd;
}

// The texts DelayField showed from `from` on.
std::vector<std::string> DelayTexts(HeadlessSurface& surface, size_t from) {
  std::vector<std::string> history = surface.Read(DelayField).textHistory;
  return std::vector<std::string>(history.begin() + std::min(from, history.size()), history.end());
}

}  // namespace

// Send-file of an existing file after a countdown of 3, then of a missing file.
TEST_F(FrontEndTest, ListenSendsRequestedFileAfterCountdownAndAnswersMissingFile) {
  Options options;
  options.replyDelay = 3;
  Start(options);
  const std::string content = "G01 X10 Y20\r\nM30\r\n";
  dir_.Write("part.nc", content);

  Press(ListenButton);
  EXPECT_TRUE(surface().IsChecked(ListenButton));
  EXPECT_TRUE(surface().IsEnabled(DelayLabel));
  EXPECT_FALSE(surface().IsEnabled(SettingsButton));
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  // Timer 1 animates while the listening run works.
  EXPECT_TRUE(WaitFor([&] { return surface().Read(AnimationImage).image == 127; }));

  const size_t historyBefore = surface().Read(DelayField).textHistory.size();
  peer().Write(Command("SENDFILE part.nc"));
  ASSERT_TRUE(WaitFor([&] { return surface().ReplyTimerStarts() == 1; }));
  EXPECT_EQ(Text(FileCaption), "Send file part.nc");

  // Nothing goes out while the field counts 3, 2, 1, 0; the fourth tick starts the reply.
  ASSERT_TRUE(WaitFor([&] {
    std::vector<std::string> shown = DelayTexts(surface(), historyBefore);
    return std::find(shown.begin(), shown.end(), "0") != shown.end();
  }));
  EXPECT_TRUE(peer().ReadAvailable(1, 0).empty());
  EXPECT_EQ(ReadReply(), content + kEnd);
  std::vector<std::string> shown = DelayTexts(surface(), historyBefore);
  std::vector<std::string> expected = {"2", "1", "0", "3", "3"};
  ASSERT_GE(shown.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(shown.end() - 5, shown.end()), expected);
  EXPECT_FALSE(surface().ReplyTimerRunning());
  EXPECT_EQ(dir_.Read("part.nc"), Bytes(content));

  // Listening again after the reply; a missing file is answered with the failure reply, whose
  // temporary file is gone once it has been sent. Delay 0: the first tick sends.
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  program().Type(DelayField, "0");
  peer().Write(Command("SENDFILE missing.nc"));
  EXPECT_EQ(ReadReply(), "%MPF998\r\nFile not sent\r\n" + kEnd);
  EXPECT_TRUE(WaitFor([&] { return !dir_.Exists("sendfile1.tmp"); }));
  EXPECT_NE(Text(ErrorsBox).find("invalid file"), std::string::npos);
  // The box keeps the lines of the whole listen session.
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  EXPECT_TRUE(surface().IsChecked(ListenButton));
}

// A listing of a subdirectory and a change-directory confirmation, with confirmation on.
TEST_F(FrontEndTest, ListenAnswersListingAndDirectoryChange) {
  Start(Options());
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);
  dir_.Write("sub/file.txt", "12345");

  Press(ListenButton);
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  peer().Write(Command("DIR sub"));
  std::string listing = ReadReply();
  const std::string sub = dir_.File("sub");
  EXPECT_EQ(listing.rfind("%MPF998\r\nCurrent directory: " + sub + "\r\n", 0), 0u) << listing;
  EXPECT_NE(listing.find("\r\nfile.txt [size: 5]"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\r\n.. [DIR]"), std::string::npos) << listing;
  EXPECT_EQ(listing.back(), '\x03');
  EXPECT_EQ(Text(CurrentDirField), sub);

  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  peer().Write(Command("CHDIR .."));
  EXPECT_EQ(ReadReply(),
            "%MPF998\r\nDirectory changed\r\nCurrent directory: " + dir_.path() + "\r\n" + kEnd);
  EXPECT_EQ(Text(CurrentDirField), dir_.path());
  EXPECT_TRUE(WaitFor([&] { return !dir_.Exists("chgdir1.tmp") && Listening(); }));
}

// Confirmation off: the directory changes and the peer gets nothing.
TEST_F(FrontEndTest, ListenChangesDirectoryWithoutReplyWhenConfirmationIsOff) {
  Options options;
  options.chgdirConfirm = 0;
  Start(options);
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);

  Press(ListenButton);
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  peer().Write(Command("CHDIR sub"));
  ASSERT_TRUE(WaitFor([&] { return Text(CurrentDirField) == dir_.File("sub"); }));
  // Past the reply pause: still nothing on the line and no countdown.
  EXPECT_TRUE(peer().ReadAvailable(1, 2500).empty());
  EXPECT_EQ(surface().ReplyTimerStarts(), 0);
  EXPECT_EQ(app.listenMode.load(), 1);
}

// Start during the countdown sends at once; listen switched off during the countdown sends
// nothing and deletes the waiting reply file.
TEST_F(FrontEndTest, CountdownCutShortByStartAndCancelledByListenOff) {
  Options options;
  options.replyDelay = 30;
  Start(options);

  Press(ListenButton);
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  peer().Write(Command("DIR"));
  // One tick first: a press in the very instant the countdown is set up is no user's.
  ASSERT_TRUE(WaitFor([&] { return Text(DelayField) == "29"; }));
  Press(StartStopButton);
  // Well inside the 30 s countdown.
  std::string listing = ReadReply(10000);
  EXPECT_EQ(listing.rfind("%MPF998\r\n", 0), 0u) << listing;
  EXPECT_EQ(listing.back(), '\x03');
  EXPECT_EQ(Text(DelayField), "30");

  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  peer().Write(Command("DIR"));
  ASSERT_TRUE(
      WaitFor([&] { return surface().ReplyTimerStarts() == 2 && Text(DelayField) == "29"; }));
  Press(ListenButton);
  EXPECT_FALSE(surface().ReplyTimerRunning());
  EXPECT_FALSE(surface().IsChecked(ListenButton));
  EXPECT_EQ(app.listenMode.load(), 0);
  EXPECT_EQ(Text(DelayField), "30");
  EXPECT_TRUE(peer().ReadAvailable(1, 2500).empty());
  EXPECT_FALSE(dir_.Exists("dispdir1.tmp"));
}

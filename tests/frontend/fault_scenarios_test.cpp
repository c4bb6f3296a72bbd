// The program under faults and bad input: presses in quick succession, a close in mid-transfer,
// files too large for the line's counts, replies whose send does not end normally.

#include <fcntl.h>
#include <unistd.h>

#include "core/lifecycle.h"
#include "frontend/frontend_fixture.h"
#include "platform/system.h"
#include "ui/main_window.h"

namespace {

const std::string kEnd(1, '\x03');

std::string Command(const std::string& line) {
  return "%MPF999\r\n" + line + "\r\n" + kEnd;
}

// A sparse file of `size` bytes: as large as needed, without the disk space.
void MakeSparseFile(const std::string& path, off_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, size), 0);
  ::close(fd);
}

}  // namespace

// A file of 4 GiB and more is refused before anything goes out, as a send and as a verification
// reference; a failure repeated after the box was cleared is shown again.
TEST_F(FrontEndTest, TooLargeFilesAreRefusedAndRepeatedFailuresStayVisible) {
  Start(Options{});
  MakeSparseFile(dir_.File("huge.nc"), (off_t{1} << 32) + 10);

  // Nothing to verify yet: the failure is shown; a listen switch clears the box, and asking again
  // shows it again rather than swallowing it as a repeat.
  Press(VerifyButton);
  EXPECT_NE(Text(ErrorsBox).find("no file to verify"), std::string::npos);
  Press(ListenButton);
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  EXPECT_EQ(Text(ErrorsBox), "");
  Press(ListenButton);
  // The run ends before its reset enables the buttons again.
  ASSERT_TRUE(WaitFor([&] { return ResetDone(); }));
  Press(VerifyButton);
  EXPECT_NE(Text(ErrorsBox).find("no file to verify"), std::string::npos);
  EXPECT_EQ(Text(LastErrorSourceField), "no file to verify");

  Choose(SendFileButton, dir_.File("huge.nc"));
  for (int attempt = 0; attempt < 2; ++attempt) {
    Press(StartStopButton);
    ASSERT_TRUE(WaitFor([&] {
      return ResetDone() &&
             Text(ErrorsBox).find("(C:0) file too large (4 GB or more)") != std::string::npos;
    })) << Text(ErrorsBox);
    EXPECT_EQ(Text(CountField), "");
  }
  Press(VerifyButton);
  EXPECT_NE(Text(ErrorsBox).find("file too large (4 GB or more)"), std::string::npos);
  EXPECT_FALSE(surface().IsChecked(VerifyButton));
  EXPECT_FALSE(dir_.Exists("wer0.tmp"));
  EXPECT_TRUE(peer().ReadAvailable(1, 300).empty());
}

// A second press that follows the first before its engine thread runs stops the transfer; a close
// in mid-send stops it too, and the program ends without an engine left behind.
TEST_F(FrontEndTest, QuickSecondPressStopsAndCloseEndsARunningSend) {
  Start(Options{});
  // Under load the engine may get going between the presses and send some of it.
  dir_.Write("part.nc", DataWithoutEndMark(64 * 1024, 7));
  Choose(SendFileButton, dir_.File("part.nc"));
  ASSERT_TRUE(program().RunOnWindow([] {
    HandleMainWindowCommand(StartStopButton);
    HandleMainWindowCommand(StartStopButton);
  }));
  EXPECT_EQ(app.transferRunning.load(), 0);
  EXPECT_EQ(surface().Read(StartStopButton).image, StartImage);
  ASSERT_TRUE(HeadlessApp::WaitForEngines(std::chrono::seconds(10)));
  // Past the end-of-file pause: no byte 3, so no second transfer ran.
  for (const PtyPair::TimedByte& got : peer().ReadUntilSilence(1500, 5000)) {
    ASSERT_NE(got.byte, 3);
  }

  // 4 MiB do not fit the line's buffers: the send is still writing when the window closes.
  const std::vector<uint8_t> large = DataWithoutEndMark(4 << 20, 8);
  dir_.Write("large.nc", large);
  Choose(SendFileButton, dir_.File("large.nc"));
  Press(StartStopButton);
  ASSERT_TRUE(WaitFor([&] { return Text(CountField) == std::to_string(large.size()); }));
  std::vector<uint8_t> received = peer().ReadAvailable(4096, 2000);
  ASSERT_FALSE(received.empty());
  QueueMessageAnswer(MessageAnswer::kYes);
  program().Close();
  ASSERT_TRUE(program().WaitClosed(std::chrono::seconds(10)));
  EXPECT_TRUE(WaitForEnginesToEnd(5000));
  EXPECT_EQ(app.transferRunning.load(), 0);
  EXPECT_FALSE(app.portHandle.IsOpen());
  for (const PtyPair::TimedByte& got : peer().ReadUntilSilence(1500, 20000)) {
    received.push_back(got.byte);
  }
  EXPECT_LT(received.size(), large.size());
  EXPECT_NE(received.back(), 3);
}

// A reply file goes however its send ends: failed (the line gone during the countdown) or
// stopped; a file the machine asked for stays; the names stay free for later replies.
TEST_F(FrontEndTest, ReplyFilesGoWhenTheirSendFailsOrIsStopped) {
  Options options;
  options.replyDelay = 1;
  Start(options);
  dir_.Write("own.nc", RandomBytes(20000, 9));

  Press(ListenButton);
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));
  peer().Write(Command("DIR"));
  ASSERT_TRUE(WaitFor([&] { return surface().ReplyTimerStarts() == 1; }));
  // The link now leads nowhere (without a link the name would mean a real port).
  ASSERT_EQ(unlink(dir_.File("COM1").c_str()), 0);
  ASSERT_EQ(symlink(dir_.File("unplugged").c_str(), dir_.File("COM1").c_str()), 0);
  ASSERT_TRUE(WaitFor([&] { return Text(ErrorsBox).find("opening port") != std::string::npos; }));
  ASSERT_TRUE(WaitFor([&] { return !dir_.Exists("dispdir1.tmp"); }));
  peer().LinkAs(dir_.path(), "COM1");
  ASSERT_TRUE(WaitFor([&] { return Listening(); }));

  // Stopped in the pause before the byte 3, a listing and then the machine's own file.
  for (const std::string& request : {std::string("DIR"), std::string("SENDFILE own.nc")}) {
    peer().Write(Command(request));
    ASSERT_FALSE(peer().ReadAvailable(9, 10000).empty()) << request;
    Press(StartStopButton);
    ASSERT_TRUE(WaitFor([&] { return Listening(); })) << request;
    // Read where the resets write it.
    char tempPath = 1;
    program().RunOnWindow([&] { tempPath = app.tempFilePath[0]; });
    EXPECT_EQ(tempPath, 0) << request;
    peer().ReadUntilSilence(300, 3000);
  }
  EXPECT_FALSE(dir_.Exists("dispdir1.tmp"));
  EXPECT_TRUE(dir_.Exists("own.nc"));

  // No reply file was left to be listed.
  peer().Write(Command("DIR"));
  const std::string listing = ReadReply();
  EXPECT_EQ(listing.back(), '\x03');
  EXPECT_NE(listing.find("own.nc"), std::string::npos);
  EXPECT_EQ(listing.find("dispdir"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("sendfile"), std::string::npos) << listing;
}

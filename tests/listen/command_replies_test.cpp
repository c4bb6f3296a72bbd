#include "listen/command_replies.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "core/paths.h"
#include "listen/listen_fixture.h"
#include "platform/system.h"
#include "transfer/transfer_control.h"
#include "ui/main_window.h"

namespace {

class CommandRepliesTest : public ListenTest {
 protected:
  void SetUp() override {
    ListenTest::SetUp();
    surface_.SetText(DelayField, "7");
  }

  // A listening run that has just taken a command, as the receive engine hands it to an answer.
  static run::RunId Listening() {
    app.listenMode = 1;
    return run::Begin();
  }

  // The reply has been scheduled: sending mode, the delay taken from DelayField, timer 2 running.
  void ExpectScheduled() {
    EXPECT_EQ(app.transferMode.load(), 0);
    EXPECT_EQ(app.replyDelay, 7);
    EXPECT_TRUE(surface_.ReplyTimerRunning());
    EXPECT_NE(app.replyTimerId, 0);
  }

  // The reply file `name` in the start directory, which openFilePath and tempFilePath name.
  std::string Reply(const std::string& name) {
    EXPECT_EQ(std::string(app.openFilePath), dir_.File(name));
    EXPECT_EQ(std::string(app.tempFilePath), dir_.File(name));
    EXPECT_TRUE(app.openFile.IsOpen());
    return Text(dir_.Read(name));
  }

  // A directory "list" holding a directory "inner" and a file "data.bin" of 1234 bytes.
  std::string PrepareListedDirectory() {
    std::string listed = dir_.File("list");
    EXPECT_EQ(mkdir(listed.c_str(), 0755), 0);
    EXPECT_EQ(mkdir((listed + "/inner").c_str(), 0755), 0);
    dir_.Write("list/data.bin", std::string(1234, 'x'));
    return listed;
  }

  // Splits a listing into the part before its first entry and the set of entry lines.
  static void SplitListing(const std::string& listing, const std::string& path, std::string* head,
                           std::set<std::string>* entries) {
    size_t first = listing.find(path);
    ASSERT_NE(first, std::string::npos);
    size_t at = first + path.size();
    *head = listing.substr(0, at);
    while (at < listing.size()) {
      ASSERT_EQ(listing.compare(at, 2, "\r\n"), 0) << "entry lines begin with CR LF";
      size_t next = listing.find("\r\n", at + 2);
      if (next == std::string::npos) next = listing.size();
      entries->insert(listing.substr(at + 2, next - at - 2));
      at = next;
    }
  }
};

TEST_F(CommandRepliesTest, MissingFileGetsTheFailureReply) {
  CopyText(app.openFilePath, "no such file.txt");
  app.sendFileRequested = 1;
  AnswerSendFile(Listening());
  EXPECT_TRUE(Reported("invalid file"));
  std::string reply = Reply("sendfile1.tmp");
  EXPECT_EQ(reply, "%MPF998\r\nFile not sent\r\n");
  EXPECT_EQ(reply.size(), 24u);
  EXPECT_EQ(app.tempFileNumber, 1);
  EXPECT_EQ(app.sendFileRequested.load(), 1);  // so that the reply file goes after sending
  ExpectScheduled();
}

// A device or a pipe named by the line is refused before anything opens it: the open alone can
// raise a port's modem lines, or let a pipe's writer go on.
TEST_F(CommandRepliesTest, DevicesAndPipesAreRefusedWithoutBeingOpened) {
  PtyPair device;
  const std::string pipe = dir_.File("pipe.nc");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_EQ(symlink(device.devicePath().c_str(), dir_.File("port.nc").c_str()), 0);
  const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(opens, 0);
  ASSERT_GE(inotify_add_watch(opens, pipe.c_str(), IN_OPEN), 0);
  ASSERT_GE(inotify_add_watch(opens, device.devicePath().c_str(), IN_OPEN), 0);

  const std::string requests[] = {pipe, dir_.File("port.nc"), "/dev/zero"};
  for (size_t i = 0; i < 3; ++i) {
    CopyText(app.openFilePath, requests[i].c_str());
    app.sendFileRequested = 1;
    AnswerSendFile(Listening());
    EXPECT_EQ(Reply("sendfile" + std::to_string(i + 1) + ".tmp"), "%MPF998\r\nFile not sent\r\n")
        << requests[i];
  }
  char events[4096];
  EXPECT_LT(read(opens, events, sizeof events), 0) << "the pipe or the device was opened";
  close(opens);
}

TEST_F(CommandRepliesTest, ReplyFileTakesTheFirstFreeNumber) {
  dir_.Write("sendfile1.tmp", "someone else's");
  app.language = 0;
  app.sendFileRequested = 1;
  AnswerSendFile(Listening());
  EXPECT_EQ(Reply("sendfile2.tmp"), "%MPF998\r\nNieudane wysłanie pliku\r\n");
  EXPECT_EQ(Text(dir_.Read("sendfile1.tmp")), "someone else's");
  EXPECT_EQ(app.tempFileNumber, 2);
}

TEST_F(CommandRepliesTest, NoFreeNameMeansNoReply) {
  for (int number = 1; number <= 20; ++number) {
    dir_.Write("chgdir" + std::to_string(number) + ".tmp", "taken");
  }
  app.changeDirRequested = 1;
  const run::RunId id = Listening();
  app.listenMode = 0;  // no listening engine to go back to in this test
  AnswerChangeDirectory(id);
  EXPECT_TRUE(Reported("can't create tmp file"));
  EXPECT_FALSE(surface_.ReplyTimerRunning());
  EXPECT_FALSE(app.openFile.IsOpen());
  EXPECT_FALSE(dir_.Exists("chgdir21.tmp"));
  EXPECT_EQ(Text(dir_.Read("chgdir20.tmp")), "taken");
}

TEST_F(CommandRepliesTest, ExistingFileIsSentItself) {
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);
  dir_.Write("sub/part.nc", "G01 X1\r\n");
  const std::string path = dir_.File("sub/part.nc");
  CopyText(app.openFilePath, path.c_str());
  app.sendFileRequested = 1;
  surface_.SetText(CountField, "123");
  AnswerSendFile(Listening());

  EXPECT_EQ(std::string(app.openFilePath), path);
  EXPECT_TRUE(app.openFile.IsOpen());
  // Held without sharing until it has been sent.
  EXPECT_EQ(platform::File::Open(path.c_str(), platform::FileMode::kReadShared), nullptr);
  EXPECT_STREQ(app.openFileTitle, "part.nc");
  EXPECT_EQ(surface_.GetText(FileCaption), "Send file part.nc");
  EXPECT_EQ(surface_.GetText(CountField), "");
  EXPECT_EQ(surface_.GetText(CountLabel), "Bytes received");
  EXPECT_EQ(surface_.Read(ProgressBar).progressPosition, 0);
  EXPECT_EQ(app.sendFileRequested.load(), 0);  // the user's file is not deleted after sending
  EXPECT_EQ(std::string(app.tempFilePath), "");
  EXPECT_FALSE(dir_.Exists("sendfile1.tmp"));
  ExpectScheduled();
}

TEST_F(CommandRepliesTest, LongCaptionIsCutToItsField) {
  const std::string name(120, 'n');
  dir_.Write(name, "x");
  CopyText(app.openFilePath, name.c_str());  // relative to the current directory
  app.language = 0;
  app.sendFileRequested = 1;
  AnswerSendFile(Listening());
  const std::string expected = ("Wyślij plik " + name).substr(0, kCaptionWidth - 1);
  EXPECT_EQ(std::string(app.fileCaptionText), expected);
  EXPECT_EQ(surface_.GetText(FileCaption), expected);
  EXPECT_EQ(std::string(app.openFileTitle), name);
}

TEST_F(CommandRepliesTest, FileNamePartTakesWhatFollowsTheLastSeparator) {
  char name[kPathWidth];
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\dir\\sub\\file.nc", "file.nc"},
      {"/tmp/dir/file.nc", "file.nc"},
      {"A:file.nc", "file.nc"},
      {"dir/sub\\mixed", "mixed"},
      {"plain.nc", "plain.nc"},
      {"dir\\", ""},
      {"", ""},
  };
  for (const auto& [path, expected] : cases) {
    FileNamePart(path, name, sizeof name);
    EXPECT_STREQ(name, expected) << path;
  }
  char small[4];
  FileNamePart("dir/abcdef", small, sizeof small);
  EXPECT_STREQ(small, "abc");
}

TEST_F(CommandRepliesTest, ListingAfterAGoodChange) {
  const std::string listed = PrepareListedDirectory();
  CopyText(app.workingDirectory, listed.c_str());
  app.dirChangeOk = 1;
  AnswerSendDirectory(Listening());
  EXPECT_EQ(app.sendDirRequested.load(), 1);

  std::string head;
  std::set<std::string> entries;
  SplitListing(Reply("dispdir1.tmp"), listed, &head, &entries);
  EXPECT_EQ(head, "%MPF998\r\nCurrent directory: " + listed);
  EXPECT_EQ(entries,
            (std::set<std::string>{". [DIR]", ".. [DIR]", "inner [DIR]", "data.bin [size: 1234]"}));
  ExpectScheduled();
}

TEST_F(CommandRepliesTest, ListingAfterAFailedChangeInPolish) {
  const std::string listed = PrepareListedDirectory();
  CopyText(app.workingDirectory, listed.c_str());
  app.language = 0;
  app.dirChangeOk = 0;
  AnswerSendDirectory(Listening());

  std::string head;
  std::set<std::string> entries;
  SplitListing(Reply("dispdir1.tmp"), listed, &head, &entries);
  EXPECT_EQ(std::string("Katalog nie zostal zmieniony\r\n").size(), 30u);
  EXPECT_EQ(head, "%MPF998\r\nKatalog nie zostal zmieniony\r\nBieżący katalog: " + listed);
  EXPECT_EQ(entries, (std::set<std::string>{". [DIR]", ".. [DIR]", "inner [DIR]",
                                            "data.bin [rozmiar: 1234]"}));
}

// Control bytes in names would end the listing early (3) or forge lines (CR LF): each is "?".
TEST_F(CommandRepliesTest, ListingShowsControlBytesOfNamesAsQuestionMarks) {
  const std::string listed = dir_.File("in\x01side");
  ASSERT_EQ(mkdir(listed.c_str(), 0755), 0);
  dir_.Write(
      "in\x01side/a\x03"
      "b.nc",
      "12");
  dir_.Write("in\x01side/x\r\n%MPF998\r\nfake\t.nc", "123");
  CopyText(app.workingDirectory, listed.c_str());
  app.dirChangeOk = 1;
  AnswerSendDirectory(Listening());

  const std::string listing = Reply("dispdir1.tmp");
  EXPECT_EQ(listing.find('\x03'), std::string::npos);
  EXPECT_EQ(listing.find("\n%MPF998"), std::string::npos) << listing;
  std::string head;
  std::set<std::string> entries;
  SplitListing(listing, dir_.File("in?side"), &head, &entries);
  EXPECT_EQ(head, "%MPF998\r\nCurrent directory: " + dir_.File("in?side"));
  EXPECT_EQ(entries, (std::set<std::string>{". [DIR]", ".. [DIR]", "a?b.nc [size: 2]",
                                            "x??%MPF998??fake?.nc [size: 3]"}));
}

TEST_F(CommandRepliesTest, ListingOfTheStartDirectoryLeavesOutItsOwnFile) {
  dir_.Write("dispdir1.tmp", "an older reply");
  std::filesystem::resize_file(dir_.File("dispdir1.tmp"), 5ull << 30);  // sparse, 5 GiB
  app.dirChangeOk = 1;
  AnswerSendDirectory(Listening());

  std::string head;
  std::set<std::string> entries;
  SplitListing(Reply("dispdir2.tmp"), dir_.path(), &head, &entries);
  EXPECT_EQ(head, "%MPF998\r\nCurrent directory: " + dir_.path());
  EXPECT_EQ(entries,
            (std::set<std::string>{". [DIR]", ".. [DIR]", "dispdir1.tmp [size: 5368709120]"}));
}

TEST_F(CommandRepliesTest, ChangeConfirmation) {
  app.dirChangeOk = 1;
  AnswerChangeDirectory(Listening());
  EXPECT_EQ(app.changeDirRequested.load(), 1);
  EXPECT_EQ(Reply("chgdir1.tmp"),
            "%MPF998\r\nDirectory changed\r\nCurrent directory: " + dir_.path() + "\r\n");
  ExpectScheduled();

  // The reply that was never sent goes with the reset that starts the next answer: its name is
  // free again.
  app.language = 0;
  app.dirChangeOk = 0;
  AnswerChangeDirectory(Listening());
  EXPECT_EQ(Reply("chgdir1.tmp"),
            "%MPF998\r\nNieudana zmiana katalogu\r\nBieżący katalog: " + dir_.path() + "\r\n");
}

// A main window on which the user switches listening off and chooses a file to receive into the
// moment a given control changes, while an answer is being prepared on the engine's thread.
class UserEndsListening : public HeadlessSurface {
 public:
  explicit UserEndsListening(int control) : control_(control) {}
  void AppendText(int control, const char* text) override {
    HeadlessSurface::AppendText(control, text);
    MaybeAct(control);
  }
  void SetCheck(int control, bool checked) override {
    HeadlessSurface::SetCheck(control, checked);
    MaybeAct(control);
  }

 private:
  void MaybeAct(int control) {
    if (control != control_ || acted_) return;
    acted_ = true;
    EndListening();
    CopyText(app.openFilePath, "chosen.nc");
    app.transferMode = 1;
  }
  int control_;
  bool acted_ = false;
};

TEST_F(CommandRepliesTest, ReplyIsDroppedWhenListeningEndsWhileItIsPrepared) {
  // During the pause after a failed send-file request...
  UserEndsListening onFailure(ErrorsBox);
  app.mainWindow = &onFailure;
  app.sendFileRequested = 1;
  CopyText(app.openFilePath, "missing.nc");
  AnswerSendFile(Listening());
  EXPECT_FALSE(dir_.Exists("sendfile1.tmp"));
  EXPECT_FALSE(onFailure.ReplyTimerRunning());
  EXPECT_STREQ(app.openFilePath, "chosen.nc");
  EXPECT_EQ(app.transferMode.load(), 1);

  // ...and between the end of the listening run and the hand-over of a written reply.
  UserEndsListening onReset(XoffSentLamp);
  app.mainWindow = &onReset;
  app.dirChangeOk = 1;
  AnswerSendDirectory(Listening());
  EXPECT_FALSE(dir_.Exists("dispdir1.tmp"));
  EXPECT_FALSE(onReset.ReplyTimerRunning());
  EXPECT_STREQ(app.openFilePath, "chosen.nc");
  EXPECT_STREQ(app.tempFilePath, "");
  EXPECT_FALSE(app.openFile.IsOpen());
  EXPECT_EQ(app.transferMode.load(), 1);
  app.mainWindow = &surface_;
}

TEST_F(CommandRepliesTest, CountdownThatOutlivedListeningSendsNothing) {
  app.listenMode = 0;
  app.replyDelay = 7;
  app.transferMode = 0;
  dir_.Write("reply.tmp", "%MPF998\r\n");
  CopyText(app.openFilePath, dir_.File("reply.tmp").c_str());
  app.replyTimerId = surface_.StartReplyTimer();
  surface_.SetText(DelayField, "0");
  HandleMainWindowTimer(kReplyTimerId);
  EXPECT_FALSE(surface_.ReplyTimerRunning());
  EXPECT_EQ(surface_.GetText(DelayField), "7");
  EXPECT_EQ(app.transferRunning.load(), 0);
  EXPECT_EQ(platform::RunningDetachedThreads(), 0);
}

TEST_F(CommandRepliesTest, OwnReplyFileIsKnownInAnyDirectory) {
  const char* reply = "dispdir1.tmp";
  EXPECT_TRUE(IsPathOfEntry("/data/nc/dispdir1.tmp", "/data/nc", reply, false));
  EXPECT_TRUE(IsPathOfEntry("/data/nc/dispdir1.tmp", "/data/nc/", reply, false));
  EXPECT_TRUE(IsPathOfEntry("//dispdir1.tmp", "/", reply, false));  // a root start directory
  EXPECT_FALSE(IsPathOfEntry("/data/nc/dispdir1.tmp", "/data", reply, false));
  EXPECT_FALSE(IsPathOfEntry("/data/nc/dispdir1.tmp", "/data/n", reply, false));
  EXPECT_FALSE(IsPathOfEntry("/data/nc/xdispdir1.tmp", "/data/nc", reply, false));
  EXPECT_FALSE(IsPathOfEntry("/data/nc/dispdir1.tmp", "/data/nc", "ispdir1.tmp", false));
  EXPECT_FALSE(IsPathOfEntry("/Data/nc/DISPDIR1.TMP", "/data/nc", reply, false));
  EXPECT_TRUE(IsPathOfEntry("/Data/nc/DISPDIR1.TMP", "/data/nc", reply, true));
  EXPECT_FALSE(IsPathOfEntry("dispdir1.tmp", "", reply, false));
  EXPECT_FALSE(IsPathOfEntry("/data/nc/", "/data/nc", "", false));
}

}  // namespace

// The Qt program's start in a folder it must not take (one where the program runs already, one
// whose name it cannot spell), and its end on SIGTERM during a reply countdown.

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "core/lifecycle.h"
#include "platform/directory_claim.h"
#include "qt_fixture.h"
#include "settings/settings_file.h"

TEST_F(QtFrontEndTest, AFolderHeldByAnotherProgramOrNotSpellableIsRefusedWithAMessage) {
  PortSettings settings;
  std::memset(&settings, 0, sizeof settings);
  std::strcpy(settings.portName, "COM1");
  std::strcpy(settings.baudText, "9600");
  settings.language = 0;
  ASSERT_TRUE(WriteSettingsFile(dir_.File("tazo.ini"), settings));
  const std::vector<uint8_t> stored = dir_.Read("tazo.ini");

  // Another program holds the folder: said in the stored language, with the folder's name.
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  std::unique_ptr<platform::DirectoryClaim> other;
  ASSERT_EQ(platform::DirectoryClaim::ClaimCurrentDirectory(&other),
            platform::DirectoryClaim::Result::kClaimed);
  ShownBox shown;
  script_.AnswerBox(QMessageBox::Ok, &shown);
  {
    QtProgram refused;
    EXPECT_FALSE(refused.Start());
    EXPECT_EQ(refused.mainWindow(), nullptr);
  }
  EXPECT_TRUE(script_.Done());
  EXPECT_EQ(shown.text,
            U8(u8"Program już działa w tym katalogu:\n") + QString::fromStdString(dir_.path()));
  EXPECT_EQ(dir_.Read("tazo.ini"), stored);
  EXPECT_FALSE(dir_.Exists("log.txt"));
  EXPECT_FALSE(dir_.Exists("tazo.ini.new"));

  // Once it has gone, the program starts there.
  other.reset();
  ClearAppState();
  {
    QtProgram started;
    EXPECT_TRUE(started.Start());
  }

  // A folder named in Cyrillic: the reason, and the folder as the file system spells it.
  const std::string cyrillic = dir_.File(u8"Станок1");
  ASSERT_EQ(mkdir(cyrillic.c_str(), 0755), 0);
  ASSERT_EQ(chdir(cyrillic.c_str()), 0);
  ClearAppState();
  script_.AnswerBox(QMessageBox::Ok, &shown);
  {
    QtProgram refused;
    EXPECT_FALSE(refused.Start());
  }
  EXPECT_TRUE(script_.Done());
  EXPECT_EQ(shown.text,
            U8(u8"Program nie może pracować w tym katalogu, bo jego nazwa ma znaki spoza "
               u8"Windows-1250:\n") +
                QString::fromUtf8(cyrillic.c_str()));
  struct stat info {};
  const std::string settingsThere = cyrillic + "/tazo.ini";
  EXPECT_NE(stat(settingsThere.c_str(), &info), 0);
}

TEST_F(QtFrontEndTest, SigtermDuringAReplyCountdownEndsAsAConfirmedClose) {
  Options options;
  options.replyDelay = 30;
  Start(options);
  Click(ListenButton);
  ASSERT_TRUE(WaitFor([] {
    return app.listenMode.load() == 1 && app.transferRunning.load() == 1 && app.portHandle.IsOpen();
  }));
  peer().Write("%MPF999\r\nDIR\r\n\x03");
  ASSERT_TRUE(WaitFor([&] { return surface().ReplyTimerActive() && dir_.Exists("dispdir1.tmp"); }));
  // The settings as they were at the start are gone: only the close can bring them back.
  ASSERT_EQ(unlink(dir_.File("tazo.ini").c_str()), 0);

  ASSERT_EQ(kill(getpid(), SIGTERM), 0);
  ASSERT_TRUE(WaitFor([&] { return !program().MainWindowOpen(); }));
  EXPECT_FALSE(dir_.Exists("dispdir1.tmp"));
  EXPECT_EQ(app.listenMode.load(), 0);
  ASSERT_TRUE(dir_.Exists("tazo.ini"));
  // The delay, not the seconds left of the countdown.
  EXPECT_EQ(ReadSettingsFile().replyDelay, 30);
  EXPECT_EQ(ReadSettingsFile().language, 1);
  // Nothing went out: the reply waited for its countdown.
  EXPECT_TRUE(peer().ReadAvailable(1, 0).empty());
}

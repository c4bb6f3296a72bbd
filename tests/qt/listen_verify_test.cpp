// A listen cycle answered after the countdown shown in DelayField, with a Polish file name in the
// listing; then a verification that finds differences.

#include <fstream>
#include <vector>

#include "platform/system.h"
#include "qt_fixture.h"

namespace {

std::string Command(const std::string& line) {
  return "%MPF999\r\n" + line + "\r\n\x03";
}

}  // namespace

TEST_F(QtFrontEndTest, ListenCountsDownListsPolishNamesThenVerifiesWithDifferences) {
  Options options;
  options.replyDelay = 2;
  Start(options);
  // The file system spells the name in UTF-8; the machine reads it in Windows-1250.
  { std::ofstream(dir_.File(u8"ŻÓŁW.NC")) << "N10 G00\r\n"; }

  Click(ListenButton);
  EXPECT_TRUE(Checked(ListenButton));
  EXPECT_TRUE(Control(DelayLabel)->isEnabled());
  EXPECT_TRUE(Control(ListenGroup)->isEnabled());
  ASSERT_TRUE(WaitFor([] {
    return app.listenMode.load() == 1 && app.transferRunning.load() == 1 && app.portHandle.IsOpen();
  }));
  peer().Write(Command("DIR"));
  std::vector<QString> shown;
  std::string reply;
  ASSERT_TRUE(WaitFor(
      [&] {
        if (shown.empty() || shown.back() != Text(DelayField)) shown.push_back(Text(DelayField));
        std::vector<uint8_t> part = peer().ReadAvailable(4096, 1);
        reply.append(part.begin(), part.end());
        return !reply.empty() && reply.back() == 3;
      },
      30000));
  // The countdown: 2 shown, then 1 and 0 a second apart, and the delay again once it is sent.
  const std::vector<QString> countdown{"2", "1", "0"};
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(std::vector<QString>(shown.begin(), shown.begin() + 3), countdown);
  EXPECT_EQ(reply.rfind("%MPF998\r\n", 0), 0u) << reply;
  EXPECT_NE(reply.find("ŻÓŁW.NC"), std::string::npos) << reply;
  ASSERT_TRUE(WaitFor([&] { return Text(DelayField) == "2"; }));
  EXPECT_FALSE(surface().ReplyTimerActive());

  // Listening ends with its button, once the reply's sender has handed over to the next run.
  ASSERT_TRUE(WaitFor([] {
    return app.transferMode.load() == 1 && app.transferRunning.load() == 1 &&
           app.portHandle.IsOpen() && platform::RunningDetachedThreads() == 1;
  }));
  Click(ListenButton);
  EXPECT_FALSE(Checked(ListenButton));
  EXPECT_FALSE(Control(DelayLabel)->isEnabled());
  ASSERT_TRUE(WaitFor([] { return platform::RunningDetachedThreads() == 0; }));

  // Verification against a file that differs in two bytes.
  const std::string reference = "N10 G00 X0\r\nN20 M30\r\n";
  std::string received = reference;
  received[1] = '2';
  received[12] = 'M';
  dir_.Write("part.nc", reference);
  script_.ChooseFile(dir_.File("part.nc"));
  Click(SendFileButton);
  ASSERT_TRUE(script_.Done());
  Click(VerifyButton);
  EXPECT_TRUE(Checked(VerifyButton));
  ASSERT_TRUE(WaitFor([] { return app.transferRunning.load() == 1 && app.portHandle.IsOpen(); }));
  peer().Write(received + "\x03");
  ASSERT_TRUE(WaitFor([&] { return !Checked(VerifyButton); }));
  ASSERT_TRUE(WaitFor([] { return platform::RunningDetachedThreads() == 0; }));
  const QString box = Text(ErrorsBox);
  EXPECT_NE(box.indexOf("error:0x1\n"), -1) << box.toStdString();
  EXPECT_NE(box.indexOf("error:0xC\n"), -1) << box.toStdString();
  EXPECT_NE(box.indexOf("different bytes: 2"), -1) << box.toStdString();
  EXPECT_EQ(app.verifyOn.load(), 0);
}

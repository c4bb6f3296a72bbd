// A port above COM9 through the whole program: loaded from the settings, opened, saved again.

#include <cstring>

#include "frontend/frontend_fixture.h"

namespace {

TEST_F(FrontEndTest, PortAboveCom9IsOpenedAndKeptByItsWholeName) {
  PtyPair decoy;  // where a name cut to "COM1" would lead
  decoy.LinkAs(dir_.path(), "COM1");
  pty_ = std::make_unique<PtyPair>();
  pty_->LinkAs(dir_.path(), "COM12");
  PortSettings settings;
  std::memset(&settings, 0, sizeof settings);
  std::memcpy(settings.portName, "COM12", 5);  // the whole field, no terminator
  std::strcpy(settings.baudText, "9600");
  settings.parityIndex = 2;
  settings.byteSizeIndex = 4;
  settings.language = 1;
  std::strcpy(settings.workingDirectory, dir_.path().c_str());
  ASSERT_TRUE(WriteSettingsFile(dir_.File("tazo.ini"), settings));
  Options options;
  options.withPort = false;
  options.withSettings = false;
  Start(options);

  dir_.Write("part.nc", "G01 X1\r\n");
  Choose(SendFileButton, dir_.File("part.nc"));
  Press(StartStopButton);
  EXPECT_EQ(ReadReply(), "G01 X1\r\n\x03");
  EXPECT_TRUE(decoy.ReadAvailable(1, 0).empty());
  ASSERT_TRUE(WaitFor([] { return app.transferRunning.load() == 0; }));

  program_->Destroy();  // the shut-down saves the settings
  const std::vector<uint8_t> saved = dir_.Read("tazo.ini");
  ASSERT_EQ(saved.size(), 347u);
  EXPECT_EQ(std::string(saved.begin(), saved.begin() + 9), "COM129600");
}

}  // namespace

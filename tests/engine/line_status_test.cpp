#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "fake_port.h"
#include "frontend/headless/headless_surface.h"
#include "transfer/line_status.h"
#include "ui/control_ids.h"

namespace {

constexpr int kLamps[] = {CtsLamp,     DsrLamp,      RingLamp,     RlsdLamp,    CtsHoldLamp,
                          DsrHoldLamp, RlsdHoldLamp, XoffHoldLamp, XoffSentLamp};

class LineStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearAppState();
    app.mainWindow = &surface;
  }
  void TearDown() override {
    app.mainWindow = nullptr;
    ClearAppState();
  }
  std::vector<bool> Lamps() {
    std::vector<bool> on;
    for (int lamp : kLamps) on.push_back(surface.IsChecked(lamp));
    return on;
  }
  // The event names of the box, without their time stamps.
  std::vector<std::string> Events() {
    std::vector<std::string> names;
    std::string box = surface.GetText(ErrorsBox);
    for (size_t at = 0; at < box.size();) {
      size_t end = box.find("\r\n", at);
      if (end == std::string::npos) break;
      names.push_back(box.substr(at + 10, end - at - 10));  // "hh:mm:ss  "
      at = end + 2;
    }
    return names;
  }
  HeadlessSurface surface;
};

TEST_F(LineStatusTest, LampsFollowModemLinesAndHoldBits) {
  app.portHandle.Set(std::make_shared<ModemOnlyPort>(0x00F0 | 0x000F));
  ShowLineStatus(0, 0, platform::ComStat{0x1F, 0, 0});
  EXPECT_EQ(Lamps(), std::vector<bool>(9, true));

  app.portHandle.Set(std::make_shared<ModemOnlyPort>(platform::kMsDsrOn));
  ShowLineStatus(0, 0,
                 platform::ComStat{platform::kEof | platform::kTxim | platform::kXoffSent, 7, 9});
  EXPECT_EQ(Lamps(),
            (std::vector<bool>{false, true, false, false, false, false, false, false, true}));

  // A status that cannot be read shows the modem lamps off, not whatever came back.
  app.portHandle.Set(std::make_shared<ModemOnlyPort>(0x00F0, false));
  ShowLineStatus(0, 0, platform::ComStat{platform::kCtsHold, 0, 0});
  EXPECT_EQ(Lamps(),
            (std::vector<bool>{false, false, false, false, true, false, false, false, false}));
  app.portHandle.Close();
  ShowLineStatus(0, 0, platform::ComStat{});
  EXPECT_EQ(Lamps(), std::vector<bool>(9, false));
  EXPECT_EQ(surface.GetText(ErrorsBox), "");
}

TEST_F(LineStatusTest, EveryErrorFlagGivesOneEventInTableOrder) {
  app.portHandle.Set(std::make_shared<ModemOnlyPort>(0));
  const std::vector<std::vector<std::string>> expected = {
      {"DNS", "IOE", "OOP", "PTO", "Tryb", "Przerwa", "Ramka", "Over", "Full", "Overrun",
       "Parzystość"},
      {"DNS", "IOE", "OOP", "PTO", "Mode", "Break", "Frame", "Over", "Full", "Overrun", "Parity"},
      {"DNS", "IOE", "OOP", "PTO", "ERROR", "ERROR", "ERROR", "Over", "Full", "Overrun", "ERROR"},
  };
  for (int language = 0; language < 3; ++language) {
    SCOPED_TRACE(language);
    surface.SetText(ErrorsBox, "");
    app.language = static_cast<uint8_t>(language);
    ShowLineStatus(platform::kEvErr, 0x9F1F, platform::ComStat{});
    EXPECT_EQ(Events(), expected[language]);
  }
  // Bits outside the table give nothing; a repeated error is reported again.
  surface.SetText(ErrorsBox, "");
  ShowLineStatus(0, 0x0020 | 0x0040 | 0x0080 | 0x2000 | 0x4000, platform::ComStat{});
  EXPECT_TRUE(Events().empty());
  ShowLineStatus(0, platform::kCeFrame, platform::ComStat{});
  ShowLineStatus(0, platform::kCeFrame, platform::ComStat{});
  EXPECT_EQ(Events(), (std::vector<std::string>{"ERROR", "ERROR"}));
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>

#include "app_state_fixture.h"
#include "core/app_state.h"
#include "core/text_field.h"
#include "platform/mode_string.h"
#include "settings/port_dcb.h"

namespace {

class BuildPortDcbTest : public AppStateTest {
 protected:
  // The settings that a missing file falls back to.
  void SetDefaults() {
    CopyText(app.baudText, "9600");
    app.parityIndex = 2;
    app.byteSizeIndex = 4;
    app.stopBitsIndex = 0;
  }
};

TEST_F(BuildPortDcbTest, AllZeroOptionsWith9600) {
  CopyText(app.baudText, "9600");
  ASSERT_EQ(BuildPortDcb(), 1);
  const PortDcb& d = app.portDcb;
  EXPECT_STREQ(app.modeText, "9600,N,8,1");
  EXPECT_EQ(d.BaudRate, 9600u);
  EXPECT_EQ(d.fParity, 1u);
  EXPECT_EQ(d.Parity, dcb::kEvenParity);
  EXPECT_EQ(d.ByteSize, 4);
  EXPECT_EQ(d.StopBits, dcb::kOneStopBit);
  EXPECT_EQ(d.fDtrControl, dcb::kDtrDisable);
  EXPECT_EQ(d.fRtsControl, dcb::kRtsDisable);
  EXPECT_EQ(d.fOutxCtsFlow, 0u);
  EXPECT_EQ(d.fOutxDsrFlow, 0u);
  EXPECT_EQ(d.fDsrSensitivity, 0u);
  EXPECT_EQ(d.fOutX, 0u);
  EXPECT_EQ(d.fInX, 0u);
  EXPECT_EQ(d.fTXContinueOnXoff, 1u);
  EXPECT_EQ(d.fNull, 1u);
  EXPECT_EQ(d.XonChar, 17);
  EXPECT_EQ(d.XoffChar, 19);
  EXPECT_EQ(d.XonLim, 80);
  EXPECT_EQ(d.XoffLim, 100);
  EXPECT_EQ(d.EvtChar, 3);
  // Members the program never sets keep what the parser and the zero start gave them.
  EXPECT_EQ(d.fBinary, 1u);
  EXPECT_EQ(d.DCBlength, 0u);
  EXPECT_EQ(d.fErrorChar, 0u);
  EXPECT_EQ(d.fAbortOnError, 0u);
  EXPECT_EQ(d.ErrorChar, 0);
  EXPECT_EQ(d.EofChar, 0);
}

TEST_F(BuildPortDcbTest, DefaultsGiveNoParityEightDataBitsOneStopBit) {
  SetDefaults();
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.BaudRate, 9600u);
  EXPECT_EQ(app.portDcb.fParity, 0u);
  EXPECT_EQ(app.portDcb.Parity, dcb::kNoParity);
  EXPECT_EQ(app.portDcb.ByteSize, 8);
  EXPECT_EQ(app.portDcb.StopBits, dcb::kOneStopBit);
  EXPECT_EQ(app.portDcb.fDtrControl, dcb::kDtrDisable);
  EXPECT_EQ(app.portDcb.fRtsControl, dcb::kRtsDisable);
}

TEST_F(BuildPortDcbTest, RejectedRateReturnsZeroAndTouchesNothing) {
  SetDefaults();
  ASSERT_EQ(BuildPortDcb(), 1);
  const PortDcb before = app.portDcb;
  app.xonXoff = 1;
  app.parityIndex = 0;
  for (const char* rate : {"", "abc", "96OO", "12a", "0", "20"}) {
    CopyText(app.baudText, rate);
    EXPECT_EQ(BuildPortDcb(), 0) << rate;
    EXPECT_EQ(std::memcmp(&before, &app.portDcb, sizeof before), 0) << rate;
  }
}

TEST_F(BuildPortDcbTest, OutOfRangeIndexesKeepTheParserOrPreviousValues) {
  SetDefaults();
  app.parityIndex = 3;  // odd
  app.stopBitsIndex = 2;
  app.rtsControl = 2;
  app.dtrControl = 1;
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.Parity, dcb::kOddParity);
  EXPECT_EQ(app.portDcb.StopBits, dcb::kTwoStopBits);

  // Members the mode string concerns fall back to its placeholders; the others keep the previous
  // build's values.
  for (uint8_t outOfRange : {uint8_t{5}, uint8_t{9}, uint8_t{127}, uint8_t{128}, uint8_t{255}}) {
    app.parityIndex = outOfRange;
    app.stopBitsIndex = outOfRange;
    app.rtsControl = outOfRange;
    app.dtrControl = outOfRange;
    ASSERT_EQ(BuildPortDcb(), 1);
    EXPECT_EQ(app.portDcb.Parity, dcb::kNoParity) << int{outOfRange};
    EXPECT_EQ(app.portDcb.fParity, 0u) << int{outOfRange};
    EXPECT_EQ(app.portDcb.StopBits, dcb::kOneStopBit) << int{outOfRange};
    EXPECT_EQ(app.portDcb.fRtsControl, dcb::kRtsHandshake) << int{outOfRange};
    EXPECT_EQ(app.portDcb.fDtrControl, dcb::kDtrEnable) << int{outOfRange};
  }
  app.rtsControl = 4;  // one past toggle
  app.dtrControl = 3;  // one past handshake
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.fRtsControl, dcb::kRtsHandshake);
  EXPECT_EQ(app.portDcb.fDtrControl, dcb::kDtrEnable);
}

TEST_F(BuildPortDcbTest, EveryListedIndexMapsToItsMember) {
  SetDefaults();
  const uint8_t parities[] = {dcb::kEvenParity, dcb::kMarkParity, dcb::kNoParity, dcb::kOddParity,
                              dcb::kSpaceParity};
  for (uint8_t i = 0; i < 5; ++i) {
    app.parityIndex = i;
    app.byteSizeIndex = i;
    app.rtsControl = i % 4;
    app.dtrControl = i % 3;
    app.stopBitsIndex = i % 3;
    ASSERT_EQ(BuildPortDcb(), 1);
    EXPECT_EQ(app.portDcb.Parity, parities[i]);
    EXPECT_EQ(app.portDcb.fParity, i == 2 ? 0u : 1u);
    EXPECT_EQ(app.portDcb.ByteSize, i + 4);
    EXPECT_EQ(app.portDcb.fRtsControl, i % 4u);
    EXPECT_EQ(app.portDcb.fDtrControl, i % 3u);
    EXPECT_EQ(app.portDcb.StopBits, i % 3);
  }
}

TEST_F(BuildPortDcbTest, ByteSizeIndexWrapsInOneByte) {
  SetDefaults();
  app.byteSizeIndex = 255;
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.ByteSize, 3);
  app.byteSizeIndex = 9;
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.ByteSize, 13);
}

TEST_F(BuildPortDcbTest, XonXoffOnAndOff) {
  SetDefaults();
  app.xonXoff = 1;
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.fOutX, 1u);
  EXPECT_EQ(app.portDcb.fInX, 1u);
  EXPECT_EQ(app.portDcb.fTXContinueOnXoff, 0u);
  app.xonXoff = 0;
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.fOutX, 0u);
  EXPECT_EQ(app.portDcb.fInX, 0u);
  EXPECT_EQ(app.portDcb.fTXContinueOnXoff, 1u);
  app.xonXoff = 2;  // any non-zero value
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.fOutX, 1u);
}

TEST_F(BuildPortDcbTest, FlagsTakeBitZero) {
  SetDefaults();
  app.ctsFlow = 1;
  app.dsrFlow = 3;
  app.dsrSensitivity = 1;
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.fOutxCtsFlow, 1u);
  EXPECT_EQ(app.portDcb.fOutxDsrFlow, 1u);
  EXPECT_EQ(app.portDcb.fDsrSensitivity, 1u);
  app.ctsFlow = 2;
  app.dsrFlow = 0;
  app.dsrSensitivity = 2;
  ASSERT_EQ(BuildPortDcb(), 1);
  EXPECT_EQ(app.portDcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(app.portDcb.fOutxDsrFlow, 0u);
  EXPECT_EQ(app.portDcb.fDsrSensitivity, 0u);
}

TEST_F(BuildPortDcbTest, TwoDigitRatesAreAbbreviations) {
  SetDefaults();
  const struct {
    const char* text;
    uint32_t rate;
  } rates[] = {{"11", 110},  {"15", 150},  {"30", 300},        {"60", 600},       {"12", 1200},
               {"24", 2400}, {"48", 4800}, {"96", 9600},       {"19", 19200},     {"110", 110},
               {"300", 300}, {"5", 5},     {"115200", 115200}, {"999999", 999999}};
  for (const auto& rate : rates) {
    CopyText(app.baudText, rate.text);
    ASSERT_EQ(BuildPortDcb(), 1) << rate.text;
    EXPECT_EQ(app.portDcb.BaudRate, rate.rate) << rate.text;
  }
  CopyText(app.baudText, "14");
  EXPECT_EQ(BuildPortDcb(), 0);
}

TEST_F(BuildPortDcbTest, BaudTextWithoutTerminatorIsCutToTheModeText) {
  SetDefaults();
  std::memcpy(app.baudText, "1234567", kBaudTextWidth);
  // "1234567,N,8," does not fit 12 characters whole: the stop bits are cut off and it is rejected.
  EXPECT_EQ(BuildPortDcb(), 0);
  EXPECT_STREQ(app.modeText, "1234567,N,8,");
}

TEST(ParseModeString, ReadsEveryPart) {
  PortDcb d{};
  ASSERT_TRUE(platform::ParseModeString("2400,E,7,2", &d));
  EXPECT_EQ(d.BaudRate, 2400u);
  EXPECT_EQ(d.Parity, dcb::kEvenParity);
  EXPECT_EQ(d.fParity, 1u);
  EXPECT_EQ(d.ByteSize, 7);
  EXPECT_EQ(d.StopBits, dcb::kTwoStopBits);
  ASSERT_TRUE(platform::ParseModeString("1200,o,5,1.5", &d));
  EXPECT_EQ(d.Parity, dcb::kOddParity);
  EXPECT_EQ(d.ByteSize, 5);
  EXPECT_EQ(d.StopBits, dcb::kOne5StopBits);
  ASSERT_TRUE(platform::ParseModeString("4294967295,M,6,1", &d));
  EXPECT_EQ(d.BaudRate, 4294967295u);
  EXPECT_EQ(d.Parity, dcb::kMarkParity);
  ASSERT_TRUE(platform::ParseModeString("300,S,8,1", &d));
  EXPECT_EQ(d.Parity, dcb::kSpaceParity);
  ASSERT_TRUE(platform::ParseModeString("300,N,8,1", &d));
  EXPECT_EQ(d.Parity, dcb::kNoParity);
  EXPECT_EQ(d.fParity, 0u);
}

TEST(ParseModeString, TurnsFlowControlOffAndLeavesTheLinesAlone) {
  PortDcb d{};
  d.fOutX = d.fInX = d.fOutxCtsFlow = d.fOutxDsrFlow = 1;
  d.fDtrControl = dcb::kDtrHandshake;
  d.fRtsControl = dcb::kRtsToggle;
  d.fDsrSensitivity = 1;
  d.fTXContinueOnXoff = 1;
  d.fNull = 1;
  d.XonLim = 7;
  d.EvtChar = 9;
  d.DCBlength = 28;
  ASSERT_TRUE(platform::ParseModeString("9600,N,8,1", &d));
  EXPECT_EQ(d.fBinary, 1u);
  EXPECT_EQ(d.fOutX, 0u);
  EXPECT_EQ(d.fInX, 0u);
  EXPECT_EQ(d.fOutxCtsFlow, 0u);
  EXPECT_EQ(d.fOutxDsrFlow, 0u);
  EXPECT_EQ(d.fDtrControl, dcb::kDtrHandshake);
  EXPECT_EQ(d.fRtsControl, dcb::kRtsToggle);
  EXPECT_EQ(d.fDsrSensitivity, 1u);
  EXPECT_EQ(d.fTXContinueOnXoff, 1u);
  EXPECT_EQ(d.fNull, 1u);
  EXPECT_EQ(d.XonLim, 7);
  EXPECT_EQ(d.EvtChar, 9);
  EXPECT_EQ(d.DCBlength, 28u);
}

TEST(ParseModeString, RejectsGarbageAndChangesNothing) {
  PortDcb d{};
  std::memset(&d, 0x5A, sizeof d);
  const PortDcb before = d;
  for (const char* mode : {"",
                           ",N,8,1",
                           "x9600,N,8,1",
                           "9600",
                           "9600,",
                           "9600,N,8",
                           "9600,N,8,",
                           "9600,X,8,1",
                           "9600,NN,8,1",
                           "9600,N,4,1",
                           "9600,N,9,1",
                           "9600,N,88,1",
                           "9600,N,8,3",
                           "9600,N,8,0",
                           "9600,N,8,1.",
                           "9600,N,8,1.6",
                           "9600,N,8,15",
                           "9600,N,8,1,",
                           "9600,N,8,1 ",
                           " 9600,N,8,1",
                           "9600 ,N,8,1",
                           "-9600,N,8,1",
                           "+9600,N,8,1",
                           "0,N,8,1",
                           "000,N,8,1",
                           "00,N,8,1",
                           "99,N,8,1",
                           "4294967296,N,8,1",
                           "99999999999999999999,N,8,1",
                           "96.0,N,8,1"}) {
    EXPECT_FALSE(platform::ParseModeString(mode, &d)) << '"' << mode << '"';
    EXPECT_EQ(std::memcmp(&before, &d, sizeof d), 0) << '"' << mode << '"';
  }
}

}  // namespace

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "frontend/headless/headless_surface.h"
#include "ui/control_ids.h"
#include "ui/surface.h"

TEST(Surface, DoesNothingWithoutMainWindow) {
  ClearAppState();
  SetControlText(ErrorsBox, "x");
  EXPECT_EQ(GetControlText(ErrorsBox), "");
  EXPECT_EQ(GetControlNumber(DelayField), 0u);
  EXPECT_EQ(StartReplyTimer(), 0);
}

TEST(HeadlessSurface, NumberFieldReadsUnsignedAndZeroWhenEmpty) {
  HeadlessSurface surface;
  surface.LimitText(DelayField, 2);
  surface.TypeText(DelayField, "");
  EXPECT_EQ(surface.GetNumber(DelayField), 0u);
  surface.TypeText(DelayField, "123");
  EXPECT_EQ(surface.GetText(DelayField), "12");
  EXPECT_EQ(surface.GetNumber(DelayField), 12u);
  surface.SetText(DelayField, "-4");
  EXPECT_EQ(surface.GetNumber(DelayField), 0u);
  surface.SetNumber(DelayField, 4000000000u);
  EXPECT_EQ(surface.GetNumber(DelayField), 4000000000u);
  EXPECT_EQ(ParseControlNumber("  7"), 7u);
  EXPECT_EQ(ParseControlNumber("7x"), 0u);
  EXPECT_EQ(ParseControlNumber("99999999999"), 0u);
}

TEST(HeadlessSurface, ErrorsBoxAppendsInOrderAfterClear) {
  HeadlessSurface surface;
  surface.AppendText(ErrorsBox, "old\r\n");
  surface.SetText(ErrorsBox, "");
  surface.AppendText(ErrorsBox, "a\r\n");
  surface.AppendText(ErrorsBox, "b\r\n");
  EXPECT_EQ(surface.GetText(ErrorsBox), "a\r\nb\r\n");
  std::string big(1 << 20, 'x');
  surface.AppendText(ErrorsBox, big.c_str());
  EXPECT_EQ(surface.GetText(ErrorsBox).size(), 6u + big.size());
}

TEST(HeadlessSurface, ProgressRangeIsSixteenBitsWide) {
  HeadlessSurface surface;
  surface.SetProgressRange(ProgressBar, 0, 65537);
  EXPECT_EQ(surface.Read(ProgressBar).progressHigh, 1);
  surface.SetProgressStep(ProgressBar, 1);
  surface.StepProgress(ProgressBar);
  EXPECT_EQ(surface.Read(ProgressBar).progressPosition, 1);
  EXPECT_EQ(surface.Read(ProgressBar).progressSteps, 1);
}

TEST(HeadlessSurface, StartsWithTemplateStates) {
  HeadlessSurface surface;
  EXPECT_FALSE(surface.IsEnabled(DelayLabel));
  EXPECT_FALSE(surface.IsEnabled(ListenGroup));
  EXPECT_TRUE(surface.IsEnabled(StartStopButton));
  EXPECT_EQ(surface.GetText(CtsLamp), "CTS");
}

// The service's window kept for months: ErrorsBox stays bounded, and each line reaches the
// journal once.

#include "frontend/service/service_surface.h"

#include <gtest/gtest.h>

#include "ui/control_ids.h"

TEST(ServiceSurfaceTest, ErrorsBoxKeepsItsNewestWholeLinesAndEachNewLineIsTakenOnce) {
  EventLoop loop;
  ServiceSurface surface(loop);
  surface.AppendText(ErrorsBox, "01:00:00  first\r\n");
  surface.AppendText(ErrorsBox, "01:00:01  second\r\n");
  EXPECT_EQ(surface.TakeNewErrorLines(), "01:00:00  first\r\n01:00:01  second\r\n");
  EXPECT_EQ(surface.TakeNewErrorLines(), "");

  // Far past the bound: the oldest lines go, whole, and the newest stays.
  const std::string line = "01:00:02  (C:5) opening port, again and again and again\r\n";
  for (size_t written = 0; written < 3 * ServiceSurface::kErrorsBoxLimit; written += line.size()) {
    surface.AppendText(ErrorsBox, line.c_str());
  }
  surface.AppendText(ErrorsBox, "01:00:03  last\r\n");
  const std::string box = surface.GetText(ErrorsBox);
  EXPECT_LE(box.size(), ServiceSurface::kErrorsBoxLimit);
  EXPECT_GT(box.size(), ServiceSurface::kErrorsBoxLimit - line.size());
  EXPECT_EQ(box.rfind("01:00:02  ", 0), 0u);
  EXPECT_EQ(box.substr(box.size() - 16), "01:00:03  last\r\n");
  const std::string taken = surface.TakeNewErrorLines();
  EXPECT_LE(taken.size(), ServiceSurface::kErrorsBoxLimit);
  EXPECT_EQ(taken.rfind("01:00:02  ", 0), 0u);

  // A box emptied before it was logged takes its lines with it.
  surface.AppendText(ErrorsBox, "01:00:04  never logged\r\n");
  surface.SetText(ErrorsBox, "");
  EXPECT_EQ(surface.TakeNewErrorLines(), "");
  surface.SetNumber(DelayField, 7);
  EXPECT_EQ(surface.GetNumber(DelayField), 7u);
}

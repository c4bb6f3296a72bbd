#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <climits>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app_state_fixture.h"
#include "core/app_state.h"
#include "core/report_lines.h"
#include "core/reporting.h"
#include "core/text_field.h"
#include "frontend/headless/headless_surface.h"
#include "platform/system.h"
#include "ui/control_ids.h"

namespace {

const std::string kSeparator = "--------------------------------------\r\n";

std::string FailureLine(int hour, int minute, int second, int code, const char* text) {
  char line[kReportLineSize];
  size_t length = FormatFailureLine(hour, minute, second, code, text, line);
  EXPECT_EQ(length, std::string(line).size());
  return line;
}

std::string EventLine(int hour, int minute, int second, const char* name) {
  char line[kReportLineSize];
  size_t length = FormatEventLine(hour, minute, second, name, line);
  EXPECT_EQ(length, std::string(line).size());
  return line;
}

std::vector<std::string> Lines(const std::string& box) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = box.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(box.substr(at, end - at));
  }
  EXPECT_EQ(at, box.size()) << "the box ends in the middle of a line";
  return lines;
}

TEST(ReportLines, FailureLineFormat) {
  EXPECT_EQ(FailureLine(9, 5, 3, 2, "opening port"), "09:05:03  (C:2) opening port\r\n");
  EXPECT_EQ(FailureLine(14, 3, 7, 0, "x"), "14:03:07  (C:0) x\r\n");
  EXPECT_EQ(FailureLine(23, 59, 59, static_cast<int>(0x80000005u), "SetCommState"),
            "23:59:59  (C:-2147483643) SetCommState\r\n");
  EXPECT_EQ(FailureLine(0, 0, 0, 1450, ""), "00:00:00  (C:1450) \r\n");
}

TEST(ReportLines, EventLineFormat) {
  EXPECT_EQ(EventLine(9, 5, 3, "BREAK"), "09:05:03  BREAK\r\n");
  EXPECT_EQ(EventLine(12, 0, 0, ""), "12:00:00  \r\n");
}

TEST(ReportLines, OverLongTextIsCutAndTheLineStillEnds) {
  // 71 characters fit with the longest code; the 72nd is cut.
  const std::string fits(71, 'f');
  EXPECT_EQ(FailureLine(1, 2, 3, INT_MIN, fits.c_str()),
            "01:02:03  (C:-2147483648) " + fits + "\r\n");
  const std::string longer = fits + "g";
  EXPECT_EQ(FailureLine(1, 2, 3, INT_MIN, longer.c_str()),
            "01:02:03  (C:-2147483648) " + fits + "\r\n");

  const std::string huge(500, 'h');
  const std::string line = FailureLine(1, 2, 3, 5, huge.c_str());
  EXPECT_EQ(line.size(), kReportLineSize - 1);
  EXPECT_EQ(line, "01:02:03  (C:5) " + std::string(kReportLineSize - 19, 'h') + "\r\n");

  const std::string name87(87, 'e');
  EXPECT_EQ(EventLine(1, 2, 3, name87.c_str()), "01:02:03  " + name87 + "\r\n");
  EXPECT_EQ(EventLine(1, 2, 3, huge.c_str()), "01:02:03  " + std::string(87, 'h') + "\r\n");
}

class ReportingTest : public AppStateTest {
 protected:
  void SetUp() override {
    AppStateTest::SetUp();
    app.mainWindow = &surface_;
  }
  std::string Box() { return surface_.GetText(ErrorsBox); }
  void Report(const char* text, int code = 2) {
    platform::SetLastSystemError(code);
    ErrorReporter(text);
  }
  std::string Log() {
    std::vector<uint8_t> bytes = dir_.Read("log.txt");
    return std::string(bytes.begin(), bytes.end());
  }

  HeadlessSurface surface_;
};

TEST_F(ReportingTest, FailureShowsTheLineAndTheLastErrorFields) {
  app.language = 1;
  Report("opening port", 2);
  const std::vector<std::string> lines = Lines(Box());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d:\d\d:\d\d  \(C:2\) opening port)")))
      << lines[0];
  EXPECT_EQ(surface_.GetText(LastErrorSourceField), "opening port");
  EXPECT_EQ(surface_.GetText(LastErrorCodeField), "Error code: 2");
  EXPECT_STREQ(app.lastErrorText, "opening port");

  app.language = 0;
  Report("SetCommMask", -5);
  EXPECT_EQ(surface_.GetText(LastErrorCodeField), "Kod błędu: -5");
  EXPECT_NE(Box().find("  (C:-5) SetCommMask\r\n"), std::string::npos);
}

TEST_F(ReportingTest, RepeatsAreSwallowedCaseSensitively) {
  Report("opening port");
  Report("opening port");
  EXPECT_EQ(Lines(Box()).size(), 1u);
  Report("SetCommMask");
  Report("opening port");
  EXPECT_EQ(Lines(Box()).size(), 3u);
  Report("Opening port");
  EXPECT_EQ(Lines(Box()).size(), 4u);

  // A swallowed repeat does not even change the code field.
  Report("Opening port", 99);
  EXPECT_EQ(surface_.GetText(LastErrorCodeField), "Kod błędu: 2");
}

TEST_F(ReportingTest, OverLongTextIsCutInLineAndMemory) {
  const std::string text(300, 'w');
  Report(text.c_str());
  const std::vector<std::string> lines = Lines(Box());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size() + 2, kReportLineSize - 1);
  EXPECT_EQ(std::string(app.lastErrorText), std::string(sizeof app.lastErrorText - 1, 'w'));
  // The same long text again is a repeat.
  Report(text.c_str());
  EXPECT_EQ(Lines(Box()).size(), 1u);
}

TEST_F(ReportingTest, WithoutMainWindowOnlyTheMemoryChanges) {
  app.mainWindow = nullptr;
  Report("settings file");
  EXPECT_STREQ(app.lastErrorText, "settings file");
  EventReporter("BREAK");
  app.mainWindow = &surface_;
  EXPECT_EQ(Box(), "");
  EXPECT_EQ(surface_.GetText(LastErrorSourceField),
            HeadlessSurface().GetText(LastErrorSourceField));
  // Still remembered: the same text stays swallowed.
  Report("settings file");
  EXPECT_EQ(Box(), "");
}

TEST_F(ReportingTest, EventLineHasNoCodeAndLeavesTheFieldsAlone) {
  EventReporter("CTS");
  const std::vector<std::string> lines = Lines(Box());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d:\d\d:\d\d  CTS)"))) << lines[0];
  EXPECT_EQ(surface_.GetText(LastErrorSourceField),
            HeadlessSurface().GetText(LastErrorSourceField));
  EXPECT_STREQ(app.lastErrorText, "");
  EventReporter("CTS");
  EXPECT_EQ(Lines(Box()).size(), 2u);
}

TEST_F(ReportingTest, FlushOfAnEmptyBoxTouchesNothing) {
  FlushErrorLog(0);
  EXPECT_FALSE(dir_.Exists("log.txt"));
  app.mainWindow = nullptr;
  FlushErrorLog(0);
  EXPECT_FALSE(dir_.Exists("log.txt"));
}

TEST_F(ReportingTest, FlushAppendsTheBoxAndSeparatorAndForgetsTheLastError) {
  Report("opening port");
  const std::string box = Box();
  FlushErrorLog(0);
  EXPECT_EQ(Log(), box + kSeparator);
  EXPECT_STREQ(app.lastErrorText, "");
  // The first failure after a flush is shown even when it repeats the one before.
  Report("opening port");
  EXPECT_EQ(Lines(Box()).size(), 2u);
}

TEST_F(ReportingTest, TwoFlushesGiveTwoIdenticalBlocks) {
  app.listenMode = 1;
  EventReporter("RING");
  const std::string box = Box();
  FlushErrorLog(0);
  FlushErrorLog(0);
  EXPECT_EQ(Log(), box + kSeparator + box + kSeparator);
}

// An engine's own reset and the user's Stop may flush at the same moment: both blocks land,
// and neither finds the log held by the other.
TEST_F(ReportingTest, FlushesFromTwoThreadsAtOnceBothLand) {
  surface_.SetText(ErrorsBox, "line\r\n");
  constexpr int kFlushes = 50;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&go] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kFlushes; ++i) FlushErrorLog(0);
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(Box(), "line\r\n");  // no "opening logs file"
  const std::string block = std::string("line\r\n") + kSeparator;
  EXPECT_EQ(Log().size(), 2 * kFlushes * block.size());
}

TEST_F(ReportingTest, SkippedWhileListening) {
  Report("opening port");
  app.listenMode = 1;
  FlushErrorLog(1);
  EXPECT_FALSE(dir_.Exists("log.txt"));
  EXPECT_STREQ(app.lastErrorText, "opening port");

  FlushErrorLog(0);
  EXPECT_EQ(Log(), Box() + kSeparator);

  app.listenMode = 0;
  FlushErrorLog(1);
  EXPECT_EQ(Log(), Box() + kSeparator + Box() + kSeparator);
}

TEST_F(ReportingTest, LogOfTheLimitGrowsOneByteLongerIsReplaced) {
  EventReporter("BREAK");
  const std::string block = Box() + kSeparator;

  const std::string full(500000, 'a');
  dir_.Write("log.txt", full);
  FlushErrorLog(0);
  EXPECT_EQ(Log(), full + block);

  dir_.Write("log.txt", full + "b");
  FlushErrorLog(0);
  EXPECT_EQ(Log(), block);
}

TEST_F(ReportingTest, LogThatCannotBeOpenedIsReportedAndWrittenLater) {
  app.language = 1;
  ASSERT_EQ(mkdir(dir_.File("log.txt").c_str(), 0700), 0);
  Report("opening port");
  FlushErrorLog(0);
  EXPECT_STREQ(app.lastErrorText, "opening logs file");
  const std::vector<std::string> lines = Lines(Box());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find(") opening logs file"), std::string::npos);

  ASSERT_EQ(rmdir(dir_.File("log.txt").c_str()), 0);
  FlushErrorLog(0);
  EXPECT_EQ(Log(), Box() + kSeparator);
  EXPECT_STREQ(app.lastErrorText, "");
}

TEST_F(ReportingTest, ThreadsReportingAtOnceGiveWholeLines) {
  constexpr int kThreads = 4;
  constexpr int kReports = 200;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &go] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kReports; ++i) {
        const std::string failure = "failure " + std::to_string(t) + "-" + std::to_string(i) +
                                    std::string(static_cast<size_t>(i % 50), '.');
        const std::string event = "event " + std::to_string(t) + "-" + std::to_string(i);
        platform::SetLastSystemError(t);
        ErrorReporter(failure.c_str());
        EventReporter(event.c_str());
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();

  const std::regex failure(R"(\d\d:\d\d:\d\d  \(C:(\d)\) failure (\d)-\d+\.*)");
  const std::regex event(R"(\d\d:\d\d:\d\d  event \d-\d+)");
  std::set<std::string> seen;
  const std::vector<std::string> lines = Lines(Box());
  EXPECT_EQ(lines.size(), 2u * kThreads * kReports);
  for (const std::string& line : lines) {
    std::smatch match;
    if (std::regex_match(line, match, failure)) {
      EXPECT_EQ(match[1], match[2]) << "the code of another thread: " << line;
    } else {
      EXPECT_TRUE(std::regex_match(line, event)) << line;
    }
    EXPECT_TRUE(seen.insert(line.substr(8)).second) << "twice: " << line;
  }
}

TEST_F(ReportingTest, SameTextFromManyThreadsAtOnceShowsOnce) {
  for (int round = 0; round < 20; ++round) {
    surface_.SetText(ErrorsBox, "");
    std::memset(app.lastErrorText, 0, sizeof app.lastErrorText);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&go] {
        while (!go.load()) std::this_thread::yield();
        ErrorReporter("WaitCommEvent");
      });
    }
    go = true;
    for (std::thread& thread : threads) thread.join();
    ASSERT_EQ(Lines(Box()).size(), 1u) << "round " << round;
  }
}

}  // namespace
